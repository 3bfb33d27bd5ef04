#include "fixtures.h"

#include "monitor/replay.h"
#include "monitor/ricevidati.h"
#include "monitor/settings/settingsdecoders.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <random>

using namespace hub;
using rectest::hex;

namespace {

const std::array<std::uint8_t, kSwBlockSize> kSw = {0xFF, 0x0F, 0x11, 0x22, 0x33, 0x44,
                                                    0x0F, 0xE4, 0x00};

struct Replay {
    MonitorModel m;
    HubState hub;
    std::vector<bool> resets; // the hide flag of every reset
    std::optional<ReplayOutcome> out;
    QString error;
    void run(const QString& path, bool compact = false) {
        out = replayFile(
            path, m, hub, compact,
            [&](bool hide) {
                resets.push_back(hide);
                rectest::resetModel(m, hub, hide, compact);
            },
            &error);
    }
};

StateRecord rec(std::uint8_t beams1, std::uint8_t status) {
    StateRecord r{};
    r[0] = beams1;
    r[2] = status;
    return r;
}

} // namespace

TEST(Replay, StopsAsTheRecordingSays) {
    using R = std::vector<std::vector<std::uint8_t>>;
    const auto sw = testrec::settings(1.0, 0x40, kSw.data());
    const auto s1 = testrec::state(1.1, rec(0x01, 0));
    const auto s2 = testrec::state(1.2, rec(0x03, 0x02));
    const auto end = testrec::startEnd(2.0);
    std::vector<std::uint8_t> unknown = testrec::startEnd(1.3);
    unknown[0] = 7;
    struct Case {
        const char* name;
        R records;
        size_t cut;
        StopReason reason;
        std::int64_t counter;
        bool idle;
        std::int64_t beam2Count; // ON count of beam 2 on barrier 1 after the replay
    } cases[] = {
        {"only the start record", {testrec::startEnd(1.0)}, 0, StopReason::EndOfFile, 0, false, 0},
        {"end record stops; what follows is not data", {testrec::startEnd(1.0), sw, s1, end, s2},
         0, StopReason::EndRecord, 1, false, 0},
        {"cut last state record keeps what came before", {testrec::startEnd(1.0), sw, s1, s2}, 5,
         StopReason::CutShort, 1, false, 0},
        {"cut header", {testrec::startEnd(1.0), sw, s1, s2}, 19, StopReason::CutShort, 1, false, 0},
        {"cut settings block", {testrec::startEnd(1.0), sw, s1, s2, sw}, 3, StopReason::CutShort,
         2, false, 1},
        {"unknown type: idle display, counter kept", {testrec::startEnd(1.0), sw, s1, s2, unknown, s1},
         0, StopReason::UnknownType, 2, true, 0},
        {"no start record", {sw, s1, end}, 0, StopReason::NoStartRecord, 0, true, 0},
        {"empty file", {}, 0, StopReason::NoStartRecord, 0, true, 0},
        {"shorter than a header", {testrec::startEnd(1.0)}, 2, StopReason::NoStartRecord, 0, true,
         0},
    };
    QTemporaryDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath("f.dat");
        testrec::writeFile(path, c.records, c.cut);
        Replay r;
        r.run(path);
        ASSERT_TRUE(r.out.has_value());
        EXPECT_EQ(r.out->reason, c.reason) << stopReasonText(r.out->reason);
        EXPECT_EQ(r.out->counter, c.counter);
        EXPECT_EQ(r.out->idleReset, c.idle);
        ASSERT_GE(r.resets.size(), 1u);
        EXPECT_TRUE(r.resets.front());
        EXPECT_EQ(r.resets.size(), c.idle ? 2u : 1u);
        if (c.idle) {
            // Idle display: every barrier shown with silver LEDs.
            EXPECT_TRUE(r.m.barrier(8).visible);
            EXPECT_EQ(hex(r.m.led(1, 1).lens), hex(colour::Silver));
        } else if (c.counter > 0) {
            EXPECT_EQ(r.m.led(1, 1).count, 1);
            EXPECT_EQ(r.m.led(1, 2).count, c.beam2Count);
            EXPECT_EQ(r.hub.versHub, "SW: v.0");
        }
    }
}

TEST(Replay, StartAndStopOffsets) {
    QTemporaryDir dir;
    const QString path = dir.filePath("f.dat");
    std::array<std::uint8_t, kTcBlockSize> tc{};
    tc[38] = 1;
    tc[43] = 1;
    tc[44] = 'X';
    std::vector<std::uint8_t> bad = testrec::startEnd(1.0);
    bad[0] = 3;
    testrec::writeFile(path, {testrec::startEnd(46185.25), testrec::settings(1, 0x02, tc.data()),
                              testrec::state(2, rec(1, 0)), bad});
    Replay r;
    r.hub.lastPort = QStringLiteral("ttyUSB0");
    r.run(path);
    ASSERT_TRUE(r.out);
    EXPECT_TRUE(r.out->hasStart);
    EXPECT_DOUBLE_EQ(r.out->start, 46185.25);
    // A TC settings record is 80 bytes: 70 bytes of block after the kind.
    EXPECT_EQ(r.out->stopOffset, 9 + 80 + 21);
    EXPECT_EQ(r.out->stopType, 3);
    ASSERT_TRUE(r.out->windowCaption);
    EXPECT_EQ(*r.out->windowCaption, "TC:X PORT : ttyUSB0 --  ZEMBRA MONITOR HUB (V:1.7)");
    EXPECT_EQ(r.hub.stream.blinkCount, 40);
}

TEST(Replay, CannotOpenGivesTheSystemMessage) {
    Replay r;
    r.run(QStringLiteral("/nonexistent/dir/x.dat"));
    EXPECT_FALSE(r.out.has_value());
    EXPECT_FALSE(r.error.isEmpty());
}

TEST(Replay, GaugeAdvancesOncePerStateRecord) {
    QTemporaryDir dir;
    const QString path = dir.filePath("f.dat");
    std::vector<std::vector<std::uint8_t>> recs{testrec::startEnd(1),
                                                testrec::settings(1, 0x40, kSw.data())};
    for (int i = 0; i < 1000; ++i) recs.push_back(testrec::state(1, rec(i & 0xFF, 0)));
    testrec::writeFile(path, recs);
    MonitorModel m;
    HubState hub;
    Replayer rp(m, hub);
    ASSERT_TRUE(rp.open(path));
    EXPECT_EQ(rp.gaugeMaximum(), (9 + 19 + 21000) / 20);
    std::vector<std::int64_t> seen;
    const auto out = rp.run(false, {}, [&](std::int64_t n) { seen.push_back(n); }, 300);
    EXPECT_EQ(out.counter, 1000);
    EXPECT_EQ(seen, (std::vector<std::int64_t>{300, 600, 900, 1000}));
    EXPECT_LT(out.counter, rp.gaugeMaximum());
}

// The live path: every received record applied, the changed ones written by
// the writer. Replaying that file must leave the same LEDs, rings and counters;
// the head blink also steps on repeated records, which the file leaves out, so
// it matches a live run that received only the changes.
TEST(Replay, ReplayEqualsLiveApplication) {
    for (const bool compact : {false, true}) {
        SCOPED_TRACE(compact);
        QTemporaryDir dir;
        const QString path = dir.filePath("live.dat");
        MonitorModel live, liveChanges;
        HubState liveHub, changesHub;
        rectest::resetModel(live, liveHub, true, compact);
        rectest::resetModel(liveChanges, changesHub, true, compact);
        DataFileWriter w;
        ASSERT_TRUE(w.create(path));
        ASSERT_TRUE(w.writeStartEnd(46000.5));

        std::mt19937 rng(1234);
        std::array<std::uint8_t, kTcBlockSize> tc{};
        tc[0] = 0b11'01'10'00;
        tc[1] = 0x05;
        tc[2] = 0x9A;
        tc[15] = 0x10; // couple B excludes beam 5
        tc[26] = 2;
        tc[38] = 1;
        tc[39] = 1;
        tc[41] = 1; // couple C absent: its barriers are skipped
        tc[43] = 1;
        std::memcpy(tc.data() + 44, "HUB-TC 1", 8);
        ASSERT_TRUE(w.writeSettings(46000.5, 0x03, tc.data()));
        RiceviSet_TC(live, liveHub, 0x03, tc, compact, nullptr);
        RiceviSet_TC(liveChanges, changesHub, 0x03, tc, compact, nullptr);

        StateRecord cur{};
        for (int i = 0; i < 20000; ++i) {
            // Mostly small changes, now and then a burst, often nothing new.
            const int k = static_cast<int>(rng() % 12);
            const unsigned what = rng() % 8;
            if (what == 0) cur[k] = static_cast<std::uint8_t>(rng());
            else if (what < 5) cur[k] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
            if (i == 10000) {
                // A reconnection mid-file with another block (SW this time).
                ASSERT_TRUE(w.writeSettings(46000.6, 0x41, kSw.data()));
                RiceviSet_SW(live, liveHub, 0x41, kSw, compact);
                RiceviSet_SW(liveChanges, changesHub, 0x41, kSw, compact);
            }
            RiceviDati(live, liveHub, cur, false, false, compact);
            if (cur != liveHub.lastRecorded) {
                ASSERT_TRUE(w.writeState(46000.5 + i * 1e-6, cur));
                liveHub.lastRecorded = cur;
                RiceviDati(liveChanges, changesHub, cur, false, false, compact);
            }
        }
        ASSERT_TRUE(w.writeStartEnd(46000.7));
        w.close();

        Replay r;
        r.run(path, compact);
        ASSERT_TRUE(r.out);
        EXPECT_EQ(r.out->reason, StopReason::EndRecord);
        EXPECT_EQ(rectest::modelDifference(live, r.m, true), "");
        EXPECT_EQ(rectest::modelDifference(liveChanges, r.m), "");
        EXPECT_EQ(r.hub.previous, liveHub.previous);
        EXPECT_EQ(r.hub.blink, changesHub.blink);
        EXPECT_EQ(r.hub.versHub, liveHub.versHub);
        EXPECT_EQ(r.hub.stream.blinkCount, liveHub.stream.blinkCount);
        EXPECT_EQ(r.hub.tc, liveHub.tc);
        // Sanity: the run did light and count things.
        std::int64_t total = 0;
        for (int k = 1; k <= 8; ++k)
            for (int n = 1; n <= 14; ++n) total += r.m.led(k, n).count;
        EXPECT_GT(total, 1000);
    }
}

// A viewer may open the very file being recorded: what the writer adds after
// the open is read too, across many buffer refills.
TEST(RecordFile, ReadsARecordingThatGrowsWhileOpen) {
    QTemporaryDir dir;
    const QString path = dir.filePath("grow.dat");
    DataFileWriter w;
    ASSERT_TRUE(w.create(path));
    ASSERT_TRUE(w.writeStartEnd(1.0));
    RecordFile f;
    ASSERT_TRUE(f.open(path));
    EXPECT_EQ(f.size(), 9);
    const int n = 20000; // 420 000 bytes, several times the first buffer
    for (int i = 0; i < n; ++i) {
        StateRecord s{};
        s[i % 12] = static_cast<std::uint8_t>(i);
        s[11] = static_cast<std::uint8_t>(i >> 8);
        ASSERT_TRUE(w.writeState(2.0, s));
    }
    std::uint8_t type = 0;
    double t = 0;
    ASSERT_TRUE(f.readHeader(type, t));
    EXPECT_EQ(type, kRecordStartEnd);
    int got = 0;
    StateRecord s{};
    while (f.readHeader(type, t) && type == kRecordState && f.readState(s)) {
        ASSERT_EQ(s[11], static_cast<std::uint8_t>(got >> 8)) << got;
        ASSERT_EQ(s[got % 12 == 11 ? 0 : got % 12], got % 12 == 11 ? 0 : static_cast<std::uint8_t>(got))
            << got;
        ++got;
    }
    EXPECT_EQ(got, n);
    EXPECT_EQ(f.offset(), 9 + 21 * n);
}

// The replay steps the head blink in closed form and settles it whenever the
// model may be looked at: at every progress call the model, heads and
// countdowns included, must be what applying the records one by one gives.
TEST(Replay, HeadsAndLedsMatchLiveAtEveryProgressCall) {
    struct Case {
        const char* name;
        bool compact;
        std::int64_t every; // progress interval
        std::uint8_t speed; // TC speed byte of the first block (blink count 20, 40, 60)
        int changeOdds;     // 1 in changeOdds records changes nothing
    };
    const Case cases[] = {
        {"every record", false, 1, 0, 4},
        {"odd interval, slow blink", false, 37, 2, 3},
        {"long interval, busy record", false, 1000, 1, 50},
        {"compact", true, 29, 0, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The recording: start, TC block, state records with an SW block and
        // another TC block in between, end.
        std::array<std::uint8_t, kTcBlockSize> tc{};
        tc[0] = 0xFF;
        tc[38] = tc[39] = tc[40] = tc[41] = 1;
        tc[43] = c.speed;
        std::array<std::uint8_t, kTcBlockSize> tc2 = tc;
        tc2[43] = 1;
        tc2[40] = 0; // couple C leaves: its barriers hide, their bytes go on changing
        struct Event {
            int settings; // 0 state, 1 TC, 2 SW, 3 second TC
            StateRecord s;
        };
        std::vector<Event> events{{1, {}}};
        std::mt19937 rng(77);
        StateRecord cur{};
        for (int i = 0; i < 3000; ++i) {
            if (i == 1000) events.push_back({2, {}});
            if (i == 2000) events.push_back({3, {}});
            if (rng() % c.changeOdds != 0) {
                const unsigned k = rng() % 12;
                if (rng() % 8 == 0)
                    cur[k] = static_cast<std::uint8_t>(rng());
                else
                    cur[k] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
            }
            events.push_back({0, cur});
        }
        std::vector<std::vector<std::uint8_t>> recs{testrec::startEnd(1)};
        for (const Event& e : events) {
            if (e.settings == 0) recs.push_back(testrec::state(1, e.s));
            else if (e.settings == 2) recs.push_back(testrec::settings(1, 0x41, kSw.data()));
            else recs.push_back(testrec::settings(1, 0x03, (e.settings == 1 ? tc : tc2).data()));
        }
        recs.push_back(testrec::startEnd(2));
        QTemporaryDir dir;
        const QString path = dir.filePath("f.dat");
        testrec::writeFile(path, recs);

        MonitorModel live;
        HubState liveHub;
        rectest::resetModel(live, liveHub, true, c.compact);
        size_t next = 0;
        std::int64_t applied = 0;
        const auto liveUpTo = [&](std::int64_t n) {
            while (applied < n && next < events.size()) {
                const Event& e = events[next++];
                if (e.settings == 0) {
                    RiceviDati(live, liveHub, e.s, false, false, c.compact);
                    ++applied;
                } else if (e.settings == 2) {
                    RiceviSet_SW(live, liveHub, 0x41, kSw, c.compact);
                } else {
                    RiceviSet_TC(live, liveHub, 0x03, e.settings == 1 ? tc : tc2, c.compact,
                                 nullptr);
                }
            }
        };

        MonitorModel m;
        HubState hub;
        rectest::resetModel(m, hub, true, c.compact);
        Replayer rp(m, hub);
        ASSERT_TRUE(rp.open(path));
        int calls = 0;
        bool blinked = false;
        const auto out = rp.run(
            c.compact, {},
            [&](std::int64_t n) {
                ++calls;
                liveUpTo(n);
                ASSERT_EQ(rectest::modelDifference(live, m), "") << "after " << n;
                ASSERT_EQ(hub.blink, liveHub.blink) << "after " << n;
                for (const ShapeModel& head : m.caps) blinked |= head.brush == colour::Black;
            },
            c.every);
        EXPECT_EQ(out.counter, 3000);
        EXPECT_EQ(out.reason, StopReason::EndRecord);
        EXPECT_EQ(calls, 3000 / c.every + 1);
        EXPECT_EQ(rectest::modelDifference(live, m), "");
        EXPECT_EQ(hub.blink, liveHub.blink);
        EXPECT_EQ(blinked, !c.compact); // the heads did blink, except in "Compact"
    }
}
