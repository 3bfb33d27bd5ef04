#pragma once
// What the main window keeps for records and the hub link: the buffers, the
// stream parameters, the blink countdowns and the hub identification.
#include "monitor/staterecord.h"

#include <QString>
#include <array>
#include <cstdint>

namespace hub {

struct StreamParams {
    int recordLength = 12;   // RecordLength
    int recordsPerTick = 6;  // RecordsPerTick
    int blinkCount = 20;     // BlinkCount
};

struct HubState {
    std::uint8_t hubKind = 0;                     // HubKind
    std::array<std::uint8_t, kSwBlockSize> sw{};  // SettingsSW
    std::array<std::uint8_t, kTcBlockSize> tc{};  // SettingsTC (64 received + 6 zero)
    StateRecord current{};                        // current state
    StateRecord previous{};                       // last record applied
    StateRecord lastRecorded{};                   // last state record written to the file
    std::array<int, 8> blink{};                   // blink countdowns, barriers 1..8
    StreamParams stream;
    QString versHub = QStringLiteral("HUB");      // LVersHUB caption
    QString lastPort;                             // last port name (acquisition dialog)
};

} // namespace hub
