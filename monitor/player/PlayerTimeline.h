#pragma once
// What the player's window asks of a recording, and the window's state as
// data. The replay index answers for a real file; tests answer with a few
// records of their own.
#include "monitor/display/monitormodel.h"
#include "monitor/elementevents.h"
#include "monitor/hubstate.h"
#include "monitor/player/replayindex.h"
#include "monitor/replay.h"

#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace hub {

class PlayerTimeline {
public:
    virtual ~PlayerTimeline() = default;
    // Records of any type, 1..N; position n means "after the first n records".
    virtual std::int64_t recordCount() const = 0;
    virtual double timeOf(std::int64_t n) const = 0; // 1..N
    // The earliest and latest stamps (a clock that went back makes them differ
    // from the first and the last record's).
    virtual double minTime() const = 0;
    virtual double maxTime() const = 0;
    // The position a moment stands for: records up to, not including, the
    // first one stamped later than t, in file order.
    virtual std::int64_t recordsUntil(double t) const = 0;
    // The display after the first n records, as the replay of the file cut there.
    virtual ReplayOutcome stateAfter(std::int64_t n, MonitorModel& m, HubState& hub,
                                     bool compact) const = 0;
    // The same, from a display that shows position `from` as stateAfter (or
    // this) left it with outcome `at`: playing on reads only the records in
    // between. The default starts over.
    virtual ReplayOutcome stateAfterFrom(std::int64_t from, const ReplayOutcome& at, std::int64_t n,
                                         MonitorModel& m, HubState& hub, bool compact) const {
        (void)from;
        (void)at;
        return stateAfter(n, m, hub, compact);
    }
    // Events of barrier (0: any) and kind (unset: any) strictly after / before a record.
    virtual std::optional<PlayerEvent> nextEvent(std::int64_t afterRecord, int barrier,
                                                std::optional<EventKind> kind) const = 0;
    virtual std::optional<PlayerEvent> previousEvent(std::int64_t beforeRecord, int barrier,
                                                    std::optional<EventKind> kind) const = 0;
    // Up to `before` events at or before the record and `after` events after it, in file order.
    virtual void eventsAround(std::int64_t record, int before, int after,
                              std::vector<PlayerEvent>& out) const = 0;
    virtual void laneSummary(double t0, double t1, int columns,
                             std::vector<LaneColumn>& out) const = 0;
    virtual const std::vector<Mark>& marks() const = 0;
};

// The player's state: what it shows and does, asked by code and tests rather
// than read back from the widgets.
struct PlayerState {
    bool italian = false;
    QString path;
    bool ready = false;      // the index is built
    double progress = 0.0;   // of the index, 0..1
    QString error;           // the file could not be indexed
    std::int64_t position = 0; // records applied
    std::int64_t count = 0;    // N
    int speed = 1;             // 1, 2, 4 .. 64; 1 is the recorded pace
    bool playing = false;
    bool skipQuiet = false;    // gaps over 10 s play as 1 s
    double viewStart = 0.0;    // the strip's time range, days
    double viewEnd = 0.0;
    std::optional<EventKind> kind; // for previous/next event; unset: any kind
    int barrier = 0;               // for previous/next event; 0: any barrier
};

} // namespace hub
