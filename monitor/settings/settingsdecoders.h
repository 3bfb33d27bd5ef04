#pragma once
// The two settings decoders: a hub's settings block turned into the shape of the
// monitor (couples, barriers, beams, range, power, versions), the hub's
// identification text and the stream parameters used until the next block.
#include "monitor/display/monitormodel.h"
#include "monitor/hubstate.h"

#include <QString>
#include <array>
#include <cstdint>

namespace hub {

// The program's version text in the TC window caption.
inline constexpr const char* kCaptionVersion = "1.7";

// Beams a couple has for a 2-bit beam-count code: 0 -> 2, 1 -> 6, 2 -> 4, 3 -> 8.
int beamsForCode(int code);

// SW hub, 9-byte block. Keeps kind and block in hub.hubKind / hub.sw, sets
// hub.stream and hub.versHub (LVersHUB). compact: the zoom selector reads
// "Compact". Always true.
bool RiceviSet_SW(MonitorModel& m, HubState& hub, std::uint8_t kind,
                  const std::array<std::uint8_t, kSwBlockSize>& block, bool compact);

// TC hub, 70-byte record. As above, into hub.tc; *windowCaption (when given)
// gets the new window caption, built with hub.lastPort. Always true.
bool RiceviSet_TC(MonitorModel& m, HubState& hub, std::uint8_t kind,
                  const std::array<std::uint8_t, kTcBlockSize>& block, bool compact,
                  QString* windowCaption);

// Blanks and control characters off both ends (characters up to U+0020 only).
QString trimBlanksAndControls(const QString& s);

} // namespace hub
