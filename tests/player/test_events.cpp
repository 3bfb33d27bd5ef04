#include "randomrecording.h"

#include "monitor/player/replayindex.h"

#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>

using namespace hub;

namespace {

// The events and marks of records 1..n, the slow way: one record after the other.
struct Reference {
    std::vector<PlayerEvent> events;
    std::vector<Mark> marks;
    std::vector<double> times;
};

Reference reference(const playertest::Built& b, std::int64_t n) {
    Reference r;
    StateRecord prev{};
    std::array<int, 4> levels{-1, -1, -1, -1};
    bool ended = false;
    double last = NAN;
    for (std::int64_t k = 1; k <= n; ++k) {
        const auto& rec = b.records[static_cast<size_t>(k - 1)];
        const double t = b.times[static_cast<size_t>(k - 1)];
        r.times.push_back(t);
        if (std::isfinite(last) && t < last) r.marks.push_back({k, t, MarkKind::ClockBack});
        last = t;
        if (rec[0] == kRecordStartEnd) {
            const bool start = k == 1 || ended;
            ended = !start;
            r.marks.push_back({k, t, start ? MarkKind::Start : MarkKind::End});
            if (start) {
                prev = StateRecord{};
                levels = {-1, -1, -1, -1};
            }
        } else if (rec[0] == kRecordState) {
            StateRecord cur;
            std::copy_n(rec.begin() + 9, 12, cur.begin());
            forEachElementChange(prev, cur, [&](int bar, int e, bool on) {
                r.events.push_back({k, t, bar, e, on, -1});
            });
            prev = cur;
        } else if (rec[0] == kRecordSettings) {
            r.marks.push_back({k, t, MarkKind::Settings});
            forEachPowerChange(levels, powerLevels(rec[9], rec.data() + 10),
                               [&](int bar, int e, bool on, int level) {
                                   r.events.push_back({k, t, bar, e, on, level});
                               });
        }
    }
    return r;
}

bool matches(const PlayerEvent& e, int barrier, std::optional<EventKind> kind) {
    return (barrier == 0 || e.barrier == barrier) && (!kind || e.kind() == *kind);
}

struct Case {
    const char* name;
    playertest::Shape shape;
    bool small; // 8-record blocks: searches cross many of them
};

const Case kCases[] = {
    {"SW, small blocks", {false, 2, true, 400, 3}, true},
    {"TC, small blocks, clock going back", {true, 3, false, 300, 2, true}, true},
    {"TC, default blocks", {true, 2, true, 500, 4, true}, false},
    {"SW, unknown type, small blocks", {false, 1, true, 200, 1, false, false, true}, true},
};

template <class Fn>
void forEachCase(Fn&& fn) {
    QTemporaryDir dir;
    std::uint32_t seed = 100;
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        playertest::Generator gen(seed++);
        const playertest::Built b = gen.make(c.shape);
        const QString path = dir.filePath("r.dat");
        ASSERT_TRUE(b.rec.save(path));
        ReplayIndex index;
        if (c.small) index.setGranularity(3, 1, 5);
        ASSERT_TRUE(index.build(path));
        const Reference ref = reference(b, index.recordCount());
        fn(index, ref, gen.rng());
    }
}

} // namespace

TEST(PlayerEvents, SearchesFindWhatAWalkThroughTheRecordsFinds) {
    forEachCase([](const ReplayIndex& index, const Reference& ref, std::mt19937& rng) {
        std::vector<PlayerEvent> all;
        index.eventsBetween(1, index.recordCount(), all);
        ASSERT_EQ(all, ref.events);
        EXPECT_EQ(index.marks(), ref.marks);
        // Next and previous of a barrier and kind, or any, from random records.
        const std::int64_t n = index.recordCount();
        for (int i = 0; i < 300; ++i) {
            const auto at = static_cast<std::int64_t>(rng() % (n + 2));
            const int barrier = static_cast<int>(rng() % 9);
            std::optional<EventKind> kind;
            if (rng() % 3) kind = static_cast<EventKind>(rng() % kEventKinds);
            std::optional<PlayerEvent> next, previous;
            for (const PlayerEvent& e : ref.events)
                if (e.record > at && matches(e, barrier, kind)) {
                    next = e;
                    break;
                }
            for (auto it = ref.events.rbegin(); it != ref.events.rend(); ++it)
                if (it->record < at && matches(*it, barrier, kind)) {
                    previous = *it;
                    break;
                }
            SCOPED_TRACE("from record " + std::to_string(at) + " barrier " + std::to_string(barrier));
            EXPECT_EQ(index.nextEvent(at, barrier, kind), next);
            EXPECT_EQ(index.previousEvent(at, barrier, kind), previous);

            const int before = static_cast<int>(rng() % 30), after = static_cast<int>(rng() % 30);
            std::vector<PlayerEvent> around, want;
            index.eventsAround(at, before, after, around);
            const auto split = std::upper_bound(ref.events.begin(), ref.events.end(), at,
                                                [](std::int64_t r, const PlayerEvent& e) { return r < e.record; });
            want.assign(split - std::min<std::ptrdiff_t>(before, split - ref.events.begin()),
                        split + std::min<std::ptrdiff_t>(after, ref.events.end() - split));
            EXPECT_EQ(around, want);
        }
    });
}

TEST(PlayerEvents, TimesPlayTimeAndTheUntilRule) {
    forEachCase([](const ReplayIndex& index, const Reference& ref, std::mt19937& rng) {
        const std::int64_t n = index.recordCount();
        double play = 0, last = NAN, shift = 0;
        for (std::int64_t k = 1; k <= n; ++k) {
            const double t = ref.times[static_cast<size_t>(k - 1)];
            ASSERT_EQ(index.timeOf(k), t);
            if (std::isfinite(last) && t < last) shift += last - t;
            last = t;
            play = t + shift;
            ASSERT_DOUBLE_EQ(index.playTimeOf(k), play) << k;
            ASSERT_GE(play, k > 1 ? index.playTimeOf(k - 1) : play);
        }
        // recordsUntil: up to, not including, the first record stamped later.
        std::vector<double> probes{index.minTime() - 1, index.maxTime() + 1, ref.times.front(),
                                   ref.times.back()};
        for (int i = 0; i < 100; ++i) {
            const double t = ref.times[rng() % ref.times.size()];
            probes.push_back(t);
            probes.push_back(t - 1e-9);
        }
        for (double t : probes) {
            std::int64_t want = n;
            for (std::int64_t k = 1; k <= n; ++k)
                if (ref.times[static_cast<size_t>(k - 1)] > t) {
                    want = k - 1;
                    break;
                }
            EXPECT_EQ(index.recordsUntil(t), want) << t;
            // The play clock: the last record at or before a play time.
            const double pt = index.playTimeOf(1 + static_cast<std::int64_t>(rng() % n));
            std::int64_t wantPlay = 0;
            for (std::int64_t k = 1; k <= n && index.playTimeOf(k) <= pt; ++k) wantPlay = k;
            EXPECT_EQ(index.recordAtPlayTime(pt), wantPlay);
        }
        EXPECT_EQ(index.recordAtPlayTime(index.playTimeOf(1) - 1), 0);
    });
}

// Columns narrow enough show each event where it is; wider ones may draw a
// group of records in the column beside, never further, and never leave one out.
TEST(PlayerEvents, LaneSummaryShowsEveryEventInItsColumn) {
    forEachCase([](const ReplayIndex& index, const Reference& ref, std::mt19937&) {
        const double span = index.maxTime() - index.minTime();
        for (int buckets : {7, 60, 1000, 20000}) {
            SCOPED_TRACE(buckets);
            const double t0 = index.minTime(), t1 = index.maxTime() + span / 1e6;
            std::vector<LaneColumn> got, want(static_cast<size_t>(buckets));
            index.laneSummary(t0, t1, buckets, got);
            ASSERT_EQ(got.size(), static_cast<size_t>(buckets));
            const double w = (t1 - t0) / buckets;
            const auto col = [&](double t) { return std::min(buckets - 1, static_cast<int>((t - t0) / w)); };
            for (const PlayerEvent& e : ref.events)
                want[static_cast<size_t>(col(e.time))][static_cast<size_t>(e.barrier - 1)] |=
                    static_cast<std::uint16_t>(1u << static_cast<int>(e.kind()));
            for (const Mark& m : ref.marks)
                want[static_cast<size_t>(col(m.time))][kMarkLane] |=
                    static_cast<std::uint16_t>(1u << static_cast<int>(m.kind));
            for (int c = 0; c < buckets; ++c)
                for (size_t l = 0; l < 9; ++l) {
                    const auto g = got[static_cast<size_t>(c)][l], w0 = want[static_cast<size_t>(c)][l];
                    ASSERT_EQ(g & w0, w0) << "column " << c << " lane " << l << " misses a kind";
                    // Anything more comes from a neighbouring column.
                    std::uint16_t near = w0;
                    if (c > 0) near |= want[static_cast<size_t>(c - 1)][l];
                    if (c + 1 < buckets) near |= want[static_cast<size_t>(c + 1)][l];
                    ASSERT_EQ(g & ~near, 0) << "column " << c << " lane " << l;
                }
        }
        // Outside the recording: nothing.
        std::vector<LaneColumn> none;
        index.laneSummary(index.maxTime() + 1, index.maxTime() + 2, 10, none);
        for (const LaneColumn& c : none) EXPECT_EQ(c, LaneColumn{});
    });
}
