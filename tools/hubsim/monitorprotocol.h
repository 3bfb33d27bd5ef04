#pragma once
// hubmonitor's conversation: 0x84 stops the stream, 0x83 asks for the kind
// byte and the settings block, 0x82 starts the stream of 0x82 + state records.
#include "hubsim.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace hubsim {

struct Installation {
    bool sw = true;
    int speed = 0;                           // TC: 0 normal, 1 and 2 high speed
    std::uint8_t couples = 0x0F;             // A 0x01 .. D 0x08
    std::array<int, 4> beamCodes{3, 3, 3, 3}; // 0: 2 beams, 1: 6, 2: 4, 3: 8
    std::uint8_t ranges = 0;                 // A 0x08 .. D 0x01: 50 m
    std::array<int, 8> versions{1, 1, 1, 1, 1, 1, 1, 1};
    std::array<int, 4> power{3, 3, 3, 3};
    std::uint8_t options = 0x10;             // SW offset 8; TC options of every couple
    std::string name = "SIMHUB";             // TC, 8 characters
    int version = 1;                         // kind & 0x03
    bool testMode = false;                   // kind 0x80
};

// Kind byte followed by the block as the hub sends it (9 or 64 bytes).
std::vector<std::uint8_t> settingsAnswer(const Installation& inst);
// Bytes of each live record for this installation (12, 6 or 3).
int recordLength(const Installation& inst);

struct Faults {
    long silentAfter = -1;  // records of each stream before it goes quiet
    long garbageEvery = 0;  // every Nth record has a wrong marker
    bool wrongEcho = false; // 0x83 answered with a wrong first byte
    int stallMs = 0;        // one pause of the stream ...
    long stallAfter = 20;   // ... after this many records
    long vanishAfter = -1;  // the device disappears after this many records
};

struct EventSource {
    std::string file;          // a recording to replay; empty: random events
    unsigned seed = 1;
    int everyRecords = 10;     // random: one change in this many records, on average
    double rate = 1.0;         // replay: time scale
    int churnEvery = 0;        // every Nth record changes all its bytes (0: never)
};

struct MonitorConfig {
    Installation inst;
    Faults faults;
    EventSource events;
    std::FILE* log = nullptr;  // what was sent: "S <hex>", "R <hex>", "G <hex>"
};

// Registers 0x82, 0x83, 0x84 and the stream. False with a message if the
// event recording cannot be read.
bool registerMonitorProtocol(HubSim& sim, const MonitorConfig& config, std::string* error);

} // namespace hubsim
