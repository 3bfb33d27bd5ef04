#pragma once
// hubtest's conversation: 0x46 connect (version, status), 0x47 end (one byte),
// 0x48..0x4F toggle one output (new state), 0x50 bar test and 0x51 stand-by
// test (mask, status).
#include "hubsim.h"

#include <cstdint>
#include <functional>
#include <string>

namespace hubsim {

struct TestConfig {
    std::uint8_t version = 0x85;       // top bit: standard hub, clear: TC
    std::uint8_t connectStatus = 0x21; // anything else refuses the connection
    std::uint8_t barMask = 0xFF;       // barriers answering on the bus, bit n-1 = barrier n
    std::uint8_t barStatus = 0x21;
    std::uint8_t standByMask = 0x00;   // stand-by inputs at +12 V, bit k-1 = zone k
    std::uint8_t standByStatus = 0x21;
    long silentAfter = -1;             // test commands answered before the hub goes quiet
};

// Takes one --test-* option (reading its value through next); false if the
// option is not one of these. ok turns false on a bad value.
bool parseTestOption(const std::string& option, const std::function<const char*()>& next,
                     TestConfig& config, bool& ok);
const char* testUsage();

void registerTestProtocol(HubSim& sim, const TestConfig& config);

} // namespace hubsim
