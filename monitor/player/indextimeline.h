#pragma once
// The replay index as the player window's timeline.
#include "monitor/player/PlayerTimeline.h"

#include <functional>
#include <memory>

namespace hub {

class IndexTimeline : public PlayerTimeline {
public:
    // Playing on further than this many records seeks instead.
    static constexpr std::int64_t kMostOnward = 65536;

    // One pass over the file; progress(0..1) returns false to cancel.
    bool build(const QString& path, QString* error, const std::function<bool(double)>& progress);
    const ReplayIndex& index() const { return index_; }

    std::int64_t recordCount() const override { return index_.recordCount(); }
    double timeOf(std::int64_t n) const override { return index_.timeOf(n); }
    double minTime() const override { return index_.minTime(); }
    double maxTime() const override { return index_.maxTime(); }
    std::int64_t recordsUntil(double t) const override { return index_.recordsUntil(t); }
    ReplayOutcome stateAfter(std::int64_t n, MonitorModel& m, HubState& hub, bool compact) const override {
        return index_.stateAfter(n, m, hub, compact);
    }
    ReplayOutcome stateAfterFrom(std::int64_t from, const ReplayOutcome& at, std::int64_t n,
                                 MonitorModel& m, HubState& hub, bool compact) const override;
    std::optional<PlayerEvent> nextEvent(std::int64_t afterRecord, int barrier,
                                         std::optional<EventKind> kind) const override {
        return index_.nextEvent(afterRecord, barrier, kind);
    }
    std::optional<PlayerEvent> previousEvent(std::int64_t beforeRecord, int barrier,
                                             std::optional<EventKind> kind) const override {
        return index_.previousEvent(beforeRecord, barrier, kind);
    }
    void eventsAround(std::int64_t record, int before, int after,
                      std::vector<PlayerEvent>& out) const override {
        index_.eventsAround(record, before, after, out);
    }
    void laneSummary(double t0, double t1, int columns, std::vector<LaneColumn>& out) const override {
        index_.laneSummary(t0, t1, columns, out);
    }
    const std::vector<Mark>& marks() const override { return index_.marks(); }

private:
    ReplayIndex index_;
};

// TPlayer's indexer: the index of path, or nullptr and *error (empty when cancelled).
std::unique_ptr<PlayerTimeline> indexTimeline(const QString& path, QString* error,
                                              const std::function<bool(double)>& progress);

} // namespace hub
