#pragma once
// RiceviDati: one StateRecord applied to the monitor model, for the live stream
// and for the replay of a recording alike, so both leave the monitor the same.
#include "monitor/display/monitormodel.h"
#include "monitor/hubstate.h"
#include "monitor/staterecord.h"

namespace hub {

// Applies n (hub.current is not read; the caller keeps it) against hub.previous,
// then sets hub.previous := n and steps the head blink of every barrier.
// compact: the zoom selector reads "Compact" (heads do not blink then).
// Returns true when the caller should beep once.
bool RiceviDati(MonitorModel& m, HubState& hub, const StateRecord& n, bool beamSound,
                bool ledSound, bool compact);

} // namespace hub
