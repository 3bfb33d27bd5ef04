#pragma once
// RiceviDati: one StateRecord applied to the monitor model, written out plainly.
// The live link applies its records with it; the replay's batched engine
// (batchapply.h) must leave the model exactly as applying them one by one here.
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

// A couple's status byte s after p on the status LEDs of its two barriers
// (nullptr for one that is not shown). Returns true when a LED came ON.
bool applyCoupleStatus(BarrierModel* first, BarrierModel* second, std::uint8_t s,
                       std::uint8_t p);

} // namespace hub
