#include "monitor/player/indextimeline.h"

#include "monitor/display/zoom.h"

namespace hub {

bool IndexTimeline::build(const QString& path, QString* error,
                          const std::function<bool(double)>& progress) {
    return index_.build(path, error, progress);
}

ReplayOutcome IndexTimeline::stateAfterFrom(std::int64_t from, const ReplayOutcome& at,
                                            std::int64_t n, MonitorModel& m, HubState& hub,
                                            bool compact) const {
    // Only a replay that stopped for the cut alone, in the middle of an
    // acquisition, goes on from where it stopped; and only forwards, by less
    // than a seek from the nearest snapshot would read anyway.
    const bool onward = n > from && n - from <= kMostOnward && at.records == from &&
                        at.reason == StopReason::EndOfFile && !at.idleReset && at.stopOffset > 0;
    if (!onward) return stateAfter(n, m, hub, compact);
    Replayer r(m, hub);
    if (!r.open(index_.path())) return stateAfter(n, m, hub, compact);
    return r.resume(at, at.stopOffset, compact, [&](bool hide) { resetDisplay(m, hub, hide, compact); },
                    n - from);
}

std::unique_ptr<PlayerTimeline> indexTimeline(const QString& path, QString* error,
                                              const std::function<bool(double)>& progress) {
    auto t = std::make_unique<IndexTimeline>();
    if (!t->build(path, error, progress)) return nullptr;
    return t;
}

} // namespace hub
