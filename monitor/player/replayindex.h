#pragma once
// The replay player's index of a recording: where every position is in time,
// what the monitor shows there, and which element events happened where.
//
// One pass over the file builds it (the file is read, never loaded whole).
// Afterwards a position is a record number n, 0..recordCount(): the state
// after the first n records is exactly what replaying the file cut just after
// its n-th record gives (replay.h), so the player, `hubdat replay --records`
// and a freshly started program opening the cut file all agree.
//
// Every const member may be called from one thread at a time; the index
// rereads the file for narrow zooms and event searches, so the file must stay
// where it was (a recording that grows is indexed as it was when built).
#include "monitor/display/monitormodel.h"
#include "monitor/elementevents.h"
#include "monitor/hubstate.h"
#include "monitor/replay.h"

#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace hub {

// The recording's own marks, lane 8 of the strip.
enum class MarkKind : std::uint8_t {
    Start,     // a start record (the first, or a new acquisition after an end record)
    Settings,  // a settings block
    End,       // an end record
    ClockBack, // a record stamped earlier than the one before it
};
constexpr int kMarkKinds = 4;

struct Mark {
    std::int64_t record = 0; // 1..recordCount()
    double time = 0.0;       // the record's stamp (days since 1899-12-30, local time)
    MarkKind kind = MarkKind::Start;
    bool operator==(const Mark&) const = default;
};

// One element event: element (1..15, see elementevents.h) of barrier 1..8
// became active (on) or stopped being active, at record `record`.
struct PlayerEvent {
    std::int64_t record = 0;
    double time = 0.0;
    int barrier = 0;
    int element = 0;
    bool on = false;
    int level = -1; // power events: the new level 0..3; -1 for the others
    EventKind kind() const { return kindOfElement(element); }
    bool operator==(const PlayerEvent&) const = default;
};

// A column of the strip: per lane (0..7 barriers 1..8, 8 the recording's
// marks) the kinds present, bit k for EventKind k (lanes 0..7) or MarkKind k
// (lane 8).
using LaneColumn = std::array<std::uint16_t, 9>;
constexpr int kMarkLane = 8;

class ReplayIndex {
public:
    ReplayIndex();
    ~ReplayIndex();
    ReplayIndex(const ReplayIndex&) = delete;
    ReplayIndex& operator=(const ReplayIndex&) = delete;

    // One pass over the file. progress(fraction 0..1) is called now and then
    // from this thread; returning false cancels (build returns false with an
    // empty *error). On failure *error gets the file system's message. A file
    // that is not a recording (no start record) builds an empty index: no
    // records, the idle display.
    bool build(const QString& path, QString* error = nullptr,
               const std::function<bool(double)>& progress = {});
    bool isBuilt() const;
    // How finely the next build() divides the recording: records a block
    // (2^blockShift: searches skip blocks, reads fetch one), records a strip
    // group (2^groupShift, at most a block) and state records between model
    // snapshots. The defaults keep a seek within milliseconds; small values
    // let a small recording use every path.
    void setGranularity(int blockShift, int groupShift, std::int64_t snapshotEvery);
    QString path() const;

    // N: records of any type, counted from 1, up to where a replay stops
    // reading (the end record or the unknown record that stops it included,
    // a record cut short by the end of the file not).
    std::int64_t recordCount() const;
    // Stamp of record n (1..N); 0 outside.
    double timeOf(std::int64_t n) const;
    // Stamps of record 1 and record N; the smallest and largest finite stamps.
    double firstTime() const;
    double lastTime() const;
    double minTime() const;
    double maxTime() const;

    // The display and hub state after the first n records (n clamped to
    // 0..N): m and hub end up exactly as in a freshly started program that
    // opened the file cut after record n (replayFile; blink countdowns from
    // 0), whatever they held before. The layout, zoom and language stay the
    // caller's. compact: the zoom selector reads "Compact". build() makes the
    // snapshots of the full view; the first seek in the compact view makes
    // its own (one more replay of the file).
    ReplayOutcome stateAfter(std::int64_t n, MonitorModel& m, HubState& hub, bool compact) const;

    // Playing forwards: m, hub and atFrom hold what stateAfter(from) (or an
    // earlier stepForward to from) gave; only the records from + 1 .. to are
    // replayed onto them. The result is the same as stateAfter(to); to < from
    // (or anything else it cannot step) falls back to it.
    ReplayOutcome stepForward(std::int64_t from, const ReplayOutcome& atFrom, std::int64_t to,
                              MonitorModel& m, HubState& hub, bool compact) const;

    // The player's clock: a record's stamp with every step back of the clock
    // taken out, so that it never decreases (it is the stamp itself until the
    // clock first goes back). Playing at x1 moves it at the pace recorded.
    double playTimeOf(std::int64_t n) const;
    // The last record whose play time is at or before pt (0 when none).
    std::int64_t recordAtPlayTime(double pt) const;

    // The --until rule: the records up to, not including, the first one
    // stamped later than t, in file order (a clock that went back reorders
    // nothing).
    std::int64_t recordsUntil(double t) const;
    // What a click or a drag on the strip at time t seeks to (the --until rule).
    std::int64_t recordAtTime(double t) const { return recordsUntil(t); }

    // The first event after record `afterRecord` (record > afterRecord), or
    // the last one before `beforeRecord` (record < beforeRecord), of barrier
    // `barrier` (0: any) and kind `kind` (nullopt: any). Events of one record
    // come barriers ascending, elements ascending.
    std::optional<PlayerEvent> nextEvent(std::int64_t afterRecord, int barrier,
                                         std::optional<EventKind> kind) const;
    std::optional<PlayerEvent> previousEvent(std::int64_t beforeRecord, int barrier,
                                             std::optional<EventKind> kind) const;
    // Up to `before` events at records <= record and up to `after` events at
    // records > record, in file order, into out (cleared first).
    void eventsAround(std::int64_t record, int before, int after,
                      std::vector<PlayerEvent>& out) const;
    // Every event of records first..last (inclusive), in file order, into out
    // (cleared first). Meant for narrow ranges: it reads that part of the file.
    void eventsBetween(std::int64_t first, std::int64_t last, std::vector<PlayerEvent>& out) const;

    // The strip: [t0, t1) in `buckets` equal columns; a record lands in the
    // column of its stamp. out gets `buckets` columns.
    void laneSummary(double t0, double t1, int buckets, std::vector<LaneColumn>& out) const;
    // Every mark, in file order (starts, settings, ends, clock going back);
    // only the first 100,000 of a recording that has more (marksComplete()
    // false), while laneSummary still shows them all.
    const std::vector<Mark>& marks() const;
    bool marksComplete() const;

    // Bytes the index holds in memory (the file is not among them).
    std::size_t memoryBytes() const;

    struct Data;

private:
    std::unique_ptr<Data> d_;
    struct Granularity {
        int blockShift = 12;
        int groupShift = 8;
        std::int64_t snapshotEvery = std::int64_t{1} << 18;
    } granularity_;
};

// A local date and time typed by a user, "YYYY-MM-DDTHH:MM:SS[.mmm]" (also with a
// blank for the T), as a stamp; nullopt when it does not parse.
std::optional<double> parseLocalStamp(const QString& text);
// A stamp as ISO 8601 local time with milliseconds, "2026-12-08T03:12:45.120".
QString stampIsoText(double t);

} // namespace hub
