#pragma once
// The player's position as text, and the typed date and time it jumps to,
// both in the user's regional formats with milliseconds.
#include <QString>
#include <optional>

namespace hub {

// Short date, a blank, the long time and the milliseconds ("08/12/2026
// 03:12:07.250"); the long time's own milliseconds when its format shows them.
QString positionTimeText(double stamp);

// A typed date and time: the short date and the long time, with or without
// milliseconds; the time may also be hours and minutes, or left out (the
// start of that day). Surrounding blanks are ignored. nullopt when it does
// not read as such.
std::optional<double> parsePositionTime(const QString& text);

} // namespace hub
