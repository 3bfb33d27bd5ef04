#include "randomrecording.h"

#include "monitor/display/zoom.h"
#include "monitor/player/replayindex.h"
#include "monitor/replay.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace hub;

namespace {

struct State {
    MonitorModel m;
    HubState hub;
    ReplayOutcome out;
};

// What a freshly started program shows after opening the file.
State replayed(const QString& path, bool compact) {
    State s;
    s.hub.lastPort = QStringLiteral("ttyUSB0"); // the window's port, in a TC caption
    const auto out = replayFile(path, s.m, s.hub, compact,
                                [&](bool hide) { resetDisplay(s.m, s.hub, hide, compact); });
    EXPECT_TRUE(out.has_value());
    if (out) s.out = *out;
    return s;
}

void expectSame(const State& want, const State& got) {
    EXPECT_TRUE(want.m == got.m);
    EXPECT_EQ(want.hub.hubKind, got.hub.hubKind);
    EXPECT_EQ(want.hub.sw, got.hub.sw);
    EXPECT_EQ(want.hub.tc, got.hub.tc);
    EXPECT_EQ(want.hub.current, got.hub.current);
    EXPECT_EQ(want.hub.previous, got.hub.previous);
    EXPECT_EQ(want.hub.blink, got.hub.blink);
    EXPECT_EQ(want.hub.stream.recordLength, got.hub.stream.recordLength);
    EXPECT_EQ(want.hub.stream.blinkCount, got.hub.stream.blinkCount);
    EXPECT_EQ(want.hub.versHub, got.hub.versHub);
    EXPECT_EQ(want.out.hasStart, got.out.hasStart);
    EXPECT_EQ(want.out.start, got.out.start);
    EXPECT_EQ(want.out.counter, got.out.counter);
    EXPECT_EQ(want.out.records, got.out.records);
    EXPECT_EQ(want.out.reason, got.out.reason);
    EXPECT_EQ(want.out.stopOffset, got.out.stopOffset);
    EXPECT_EQ(want.out.idleReset, got.out.idleReset);
    EXPECT_EQ(want.out.windowCaption, got.out.windowCaption);
}

// Builds the index of a recording saved at path, small blocks or the defaults.
void buildIndex(ReplayIndex& index, const QString& path, bool small) {
    if (small) index.setGranularity(3, 1, 5); // 8-record blocks, 2-record groups
    QString error;
    ASSERT_TRUE(index.build(path, &error)) << error.toStdString();
}

} // namespace

// The state at a position is the replay of the file cut just after it, at
// random positions visited forwards and backwards, on one model as a player
// does it.
TEST(PlayerPosition, StateAfterEqualsTheCutFile) {
    struct Case {
        const char* name;
        playertest::Shape shape;
    } cases[] = {
        {"SW, closed", {false, 1, true, 300, 2}},
        {"TC, closed", {true, 1, true, 300, 3}},
        {"SW, no end record", {false, 1, false, 300, 1}},
        {"TC, three acquisitions", {true, 3, true, 150, 1}},
        {"SW, two acquisitions, the second open", {false, 2, false, 150, 2}},
        {"TC, clock going back", {true, 2, true, 200, 2, true}},
        {"SW, state records after the end", {false, 1, true, 100, 1, false, true}},
        {"TC, an unknown type", {true, 2, true, 100, 1, false, false, true}},
        {"SW, last record cut short", {false, 2, false, 100, 1, false, false, false, 5}},
    };
    QTemporaryDir dir;
    std::uint32_t seed = 1;
    for (const Case& c : cases) {
        for (bool compact : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (compact ? ", compact" : ""));
            playertest::Generator gen(seed++);
            const playertest::Built b = gen.make(c.shape);
            const QString path = dir.filePath("whole.dat");
            ASSERT_TRUE(b.rec.save(path));
            ReplayIndex index;
            // Half the cases seek from snapshots a few records apart.
            buildIndex(index, path, seed % 2 == 0);
            const State whole = replayed(path, compact);
            ASSERT_EQ(index.recordCount(), whole.out.records);

            std::vector<std::int64_t> positions{0, index.recordCount(), 1};
            for (int i = 0; i < 8; ++i)
                positions.push_back(static_cast<std::int64_t>(gen.rng()() % (index.recordCount() + 1)));
            // Every acquisition's start and end, and the records either side.
            for (const Mark& mk : index.marks())
                if (mk.kind != MarkKind::Settings)
                    for (std::int64_t d : {-1, 0, 1}) positions.push_back(mk.record + d);
            State player;
            player.hub.lastPort = QStringLiteral("ttyUSB0");
            for (std::int64_t n : positions) {
                n = std::clamp<std::int64_t>(n, 0, index.recordCount());
                SCOPED_TRACE("record " + std::to_string(n));
                const QString cut = dir.filePath("cut.dat");
                ASSERT_TRUE(testrec::saveBytes(cut, b.rec.bytes.left(b.ends[static_cast<size_t>(n)])));
                player.out = index.stateAfter(n, player.m, player.hub, compact);
                expectSame(replayed(cut, compact), player);
                EXPECT_EQ(index.timeOf(n), n >= 1 ? b.times[static_cast<size_t>(n - 1)] : 0.0);
                // Playing on from there, a few records at a time.
                std::int64_t at = n;
                for (int step = 0; step < (compact ? 0 : 2) && at < index.recordCount(); ++step) {
                    const std::int64_t to = std::min(index.recordCount(), at + 1 + static_cast<std::int64_t>(gen.rng()() % 4));
                    SCOPED_TRACE("played on to " + std::to_string(to));
                    player.out = index.stepForward(at, player.out, to, player.m, player.hub, compact);
                    ASSERT_TRUE(testrec::saveBytes(cut, b.rec.bytes.left(b.ends[static_cast<size_t>(to)])));
                    expectSame(replayed(cut, compact), player);
                    at = to;
                }
            }
        }
    }
}
