#include "testprotocol.h"

#include <array>
#include <cstdlib>
#include <memory>

namespace hubsim {

namespace {

constexpr std::uint8_t kConnect = 0x46, kEnd = 0x47, kFirstOutput = 0x48, kBars = 0x50,
                       kStandBy = 0x51, kActive = 0x21, kInactive = 0x22;

struct TestState {
    TestConfig cfg;
    std::array<bool, 8> outputs{}; // relays, all released at power-on
    long answered = 0;
    // A hub told to go quiet stops answering after its quota of commands.
    bool answers() {
        if (cfg.silentAfter >= 0 && answered >= cfg.silentAfter) return false;
        ++answered;
        return true;
    }
};

bool byteValue(const char* s, std::uint8_t& out) {
    char* end = nullptr;
    const long v = std::strtol(s, &end, 0);
    if (end == s || *end || v < 0 || v > 0xFF) return false;
    out = static_cast<std::uint8_t>(v);
    return true;
}

} // namespace

const char* testUsage() {
    return "  --test-version BYTE       hubtest: version byte (default 0x85; below 0x80 a TC)\n"
           "  --test-refuse BYTE        hubtest: answer the connection with this status\n"
           "  --test-bars MASK          hubtest: barriers answering on the bus (default 0xFF)\n"
           "  --test-bars-status BYTE   hubtest: status of the bar test (default 0x21)\n"
           "  --test-standby MASK       hubtest: stand-by inputs at +12 V (default 0)\n"
           "  --test-standby-status BYTE  hubtest: status of the stand-by test (default 0x21)\n"
           "  --test-silent-after N     hubtest: answer N commands, then nothing\n"
           "  --test-silent             hubtest: answer nothing\n";
}

bool parseTestOption(const std::string& a, const std::function<const char*()>& next,
                     TestConfig& c, bool& ok) {
    if (a == "--test-version") ok = byteValue(next(), c.version);
    else if (a == "--test-refuse") ok = byteValue(next(), c.connectStatus);
    else if (a == "--test-bars") ok = byteValue(next(), c.barMask);
    else if (a == "--test-bars-status") ok = byteValue(next(), c.barStatus);
    else if (a == "--test-standby") ok = byteValue(next(), c.standByMask);
    else if (a == "--test-standby-status") ok = byteValue(next(), c.standByStatus);
    else if (a == "--test-silent") c.silentAfter = 0;
    else if (a == "--test-silent-after") {
        const char* v = next();
        char* end = nullptr;
        c.silentAfter = std::strtol(v, &end, 0);
        ok = end != v && !*end && c.silentAfter >= 0;
    } else
        return false;
    return true;
}

void registerTestProtocol(HubSim& sim, const TestConfig& config) {
    auto st = std::make_shared<TestState>();
    st->cfg = config;
    sim.on(kConnect, [st](HubSim& s, std::uint8_t) {
        if (!st->answers()) return;
        const std::uint8_t reply[] = {st->cfg.version, st->cfg.connectStatus};
        s.send(reply, sizeof reply);
    });
    sim.on(kEnd, [st](HubSim& s, std::uint8_t) {
        if (st->answers()) s.send(kActive);
    });
    for (int i = 0; i < 8; ++i) {
        sim.on(static_cast<std::uint8_t>(kFirstOutput + i), [st, i](HubSim& s, std::uint8_t) {
            if (!st->answers()) return;
            st->outputs[i] = !st->outputs[i];
            s.send(st->outputs[i] ? kActive : kInactive);
        });
    }
    sim.on(kBars, [st](HubSim& s, std::uint8_t) {
        if (!st->answers()) return;
        const std::uint8_t reply[] = {st->cfg.barMask, st->cfg.barStatus};
        s.send(reply, sizeof reply);
    });
    sim.on(kStandBy, [st](HubSim& s, std::uint8_t) {
        if (!st->answers()) return;
        const std::uint8_t reply[] = {st->cfg.standByMask, st->cfg.standByStatus};
        s.send(reply, sizeof reply);
    });
}

} // namespace hubsim
