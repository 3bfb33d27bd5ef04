#pragma once
// What a replay decides on the monitor and in the hub state, apart from the
// layout the window chose (zoom, LED size, language): the player keeps copies
// of it at regular intervals and puts one back before replaying the rest.
#include "monitor/display/monitormodel.h"
#include "monitor/hubstate.h"

namespace hub::player {

struct DisplayState {
    MonitorModel model; // only the fields a replay or a display reset changes are put back
    HubState hub;       // all but lastPort, which stays the window's

    void capture(const MonitorModel& m, const HubState& h) {
        model = m;
        hub = h;
    }
    // m and h as they were at capture, in m's layout.
    void restore(MonitorModel& m, HubState& h) const;
    std::size_t memoryBytes() const;
};

} // namespace hub::player
