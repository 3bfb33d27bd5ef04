#include "monitor/player/indextimeline.h"

namespace hub {

bool IndexTimeline::build(const QString& path, QString* error,
                          const std::function<bool(double)>& progress) {
    return index_.build(path, error, progress);
}

ReplayOutcome IndexTimeline::stateAfterFrom(std::int64_t from, const ReplayOutcome& at,
                                            std::int64_t n, MonitorModel& m, HubState& hub,
                                            bool compact) const {
    // Further on than a snapshot is apart, a seek reads less.
    if (n - from > kMostOnward) return stateAfter(n, m, hub, compact);
    return index_.stepForward(from, at, n, m, hub, compact);
}

std::unique_ptr<PlayerTimeline> indexTimeline(const QString& path, QString* error,
                                              const std::function<bool(double)>& progress) {
    auto t = std::make_unique<IndexTimeline>();
    if (!t->build(path, error, progress)) return nullptr;
    return t;
}

} // namespace hub
