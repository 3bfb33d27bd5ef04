#include "monitor/ricevidati.h"

#include "monitor/recordapply.h"

namespace hub {

bool RiceviDati(MonitorModel& m, HubState& hub, const StateRecord& n, bool beamSound,
                bool ledSound, bool compact) {
    unsigned restarted = 0; // barriers whose blink countdown restarts
    const unsigned ledEvent = recordapply::applyLeds(
        m, hub, n, [&](int b, unsigned counted) { restarted |= counted << b; });
    recordapply::stepHeads(m, hub, restarted, compact);
    return (beamSound && restarted) || (ledSound && ledEvent);
}

} // namespace hub
