#pragma once
// A timeline of a few records written out by a test: stamps in seconds from
// 03:00, events and marks where the test puts them.
#include "monitor/player/PlayerTimeline.h"
#include "recording.h"

#include <algorithm>

namespace playerui_test {

// Seconds from 03:00 on 8 December 2026, as a typed time of day gives them.
inline double sec(double s) {
    return hub::toTDateTime(QDate(2026, 12, 8), QTime(3, 0).addMSecs(static_cast<int>(s * 1000)));
}

class FakeTimeline : public hub::PlayerTimeline {
public:
    // Record n (1-based) at seconds[n-1].
    explicit FakeTimeline(std::vector<double> seconds) {
        for (double s : seconds) times.push_back(sec(s));
    }
    FakeTimeline& event(std::int64_t record, int barrier, int element, bool on = true) {
        hub::PlayerEvent e;
        e.record = record;
        e.time = times[static_cast<size_t>(record - 1)];
        e.barrier = barrier;
        e.element = element;
        e.on = on;
        events.push_back(e);
        return *this;
    }
    FakeTimeline& mark(std::int64_t record, hub::MarkKind k) {
        marks_.push_back({record, times[static_cast<size_t>(record - 1)], k});
        return *this;
    }

    std::int64_t recordCount() const override { return static_cast<std::int64_t>(times.size()); }
    double timeOf(std::int64_t n) const override {
        return n >= 1 && n <= recordCount() ? times[static_cast<size_t>(n - 1)] : 0.0;
    }
    double minTime() const override { return *std::min_element(times.begin(), times.end()); }
    double maxTime() const override { return *std::max_element(times.begin(), times.end()); }
    std::int64_t recordsUntil(double t) const override {
        std::int64_t n = 0;
        while (n < recordCount() && times[static_cast<size_t>(n)] <= t) ++n;
        return n;
    }
    hub::ReplayOutcome stateAfter(std::int64_t n, hub::MonitorModel&, hub::HubState&, bool) const override {
        ++stateCalls;
        hub::ReplayOutcome out;
        out.counter = n;
        return out;
    }
    static bool matches(const hub::PlayerEvent& e, int barrier, std::optional<hub::EventKind> kind) {
        return (barrier == 0 || e.barrier == barrier) && (!kind || hub::kindOfElement(e.element) == *kind);
    }
    std::optional<hub::PlayerEvent> nextEvent(std::int64_t after, int barrier,
                                              std::optional<hub::EventKind> kind) const override {
        for (const auto& e : events)
            if (e.record > after && matches(e, barrier, kind)) return e;
        return std::nullopt;
    }
    std::optional<hub::PlayerEvent> previousEvent(std::int64_t before, int barrier,
                                                  std::optional<hub::EventKind> kind) const override {
        for (auto it = events.rbegin(); it != events.rend(); ++it)
            if (it->record < before && matches(*it, barrier, kind)) return *it;
        return std::nullopt;
    }
    void eventsAround(std::int64_t record, int before, int after,
                      std::vector<hub::PlayerEvent>& out) const override {
        out.clear();
        std::vector<hub::PlayerEvent> early;
        for (const auto& e : events) (e.record <= record ? early : out).push_back(e);
        if (static_cast<int>(out.size()) > after) out.resize(static_cast<size_t>(after));
        if (static_cast<int>(early.size()) > before) early.erase(early.begin(), early.end() - before);
        out.insert(out.begin(), early.begin(), early.end());
    }
    void laneSummary(double t0, double t1, int columns, std::vector<hub::LaneColumn>& out) const override {
        out.assign(static_cast<size_t>(columns), hub::LaneColumn{});
        const auto column = [&](double t) { return static_cast<int>((t - t0) / (t1 - t0) * columns); };
        for (const auto& e : events)
            if (const int c = column(e.time); c >= 0 && c < columns)
                out[static_cast<size_t>(c)][static_cast<size_t>(e.barrier - 1)] |=
                    static_cast<std::uint16_t>(1u << static_cast<int>(hub::kindOfElement(e.element)));
        for (const auto& m : marks_)
            if (const int c = column(m.time); c >= 0 && c < columns)
                out[static_cast<size_t>(c)][8] |= static_cast<std::uint16_t>(1u << static_cast<int>(m.kind));
    }
    const std::vector<hub::Mark>& marks() const override { return marks_; }

    std::vector<double> times;
    std::vector<hub::PlayerEvent> events;
    std::vector<hub::Mark> marks_;
    mutable int stateCalls = 0;
};

} // namespace playerui_test
