#pragma once
// The main window's display rules that work on the monitor model alone: the
// zoom selector's item sets, the display reset, the compact/expand re-layout,
// "Reset Leds" and the window-width to LED-size table.
#include "monitor/display/monitormodel.h"
#include "monitor/hubstate.h"

#include <QString>
#include <array>

namespace hub {

// The zoom selector: six items whose texts are rewritten by the zoom mode.
struct ZoomSelector {
    // Stands in for "Compact" while zoomed; choosing it does nothing.
    static const QString kFiller; // four blanks and a double quote

    std::array<QString, 6> items;
    int index = 5;

    QString text() const;

    // "Compact", "Zoom 1" .. "Zoom 5", "Zoom 5" selected (start-up, after "Expand").
    static ZoomSelector full();
    // Zoomed to n (1..4): item 0 is the filler, item n selected.
    static ZoomSelector zoomed(int n);
    // "Compact", "Expand", then the filler; "Compact" selected.
    static ZoomSelector compact();

    bool isCompact() const { return text() == QLatin1String("Compact"); }
};

// The monitor and buffer part of the display reset: every LED silver with a
// grey ring and a zero counter, "V. " under every barrier, beam indicators
// green (shown unless compact), power bars at 0; hide = true then hides the
// barriers, power bars, couple letters and beam indicators until settings
// arrive. Zeroes the hub kind, both settings blocks and the three record
// buffers, and sets the hub caption to "HUB"; blink countdowns are kept.
void resetDisplay(MonitorModel& m, HubState& hub, bool hide, bool compact);

// Folds the monitor into the compact strip (compact = true) or unfolds it,
// then re-lays out the barriers, legends, power bars and separators.
void applyZoomLayout(MonitorModel& m, bool compact);

// "Reset Leds": a LED that is ON now keeps its ring and counts 1; every other
// LED gets a grey ring and counts 0. Lens colours stay.
void resetLeds(MonitorModel& m);

// LED size for a new window width; widths outside 23..10022 keep the current size.
int ledSizeForWidth(int w, int currentSize);

} // namespace hub
