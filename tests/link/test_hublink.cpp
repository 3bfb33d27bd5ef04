// The hub link on a scripted hub with a fake clock.
#include "fakehub.h"
#include "filelimit.h"
#include "monitor/datafile.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

using namespace linktest;
using hub::HubLink;

namespace {

struct Link : ::testing::Test {
    FakeClock clock;
    FakeHub line{clock};
    hub::HubState st;
    FakeHost host{st};
    HubLink link{line, clock, st, host};
    QTemporaryDir dir;
    hub::DataFileWriter writer;

    void SetUp() override {
        link.timeStamp = [] { return 46000.5; };
        line.answer = swAnswer();
    }

    QString path() const { return dir.filePath("rec.dat"); }

    // The window's event loop in fake time: a timer fires its interval after
    // it was enabled.
    void runFor(std::chrono::milliseconds span) {
        const SteadyTime until = clock.t + span;
        while (clock.t < until) {
            if (link.timerSet().enabled) {
                clock.t += std::chrono::milliseconds(link.timerSet().intervalMs);
                link.TimerComSetTimer();
            } else if (link.timerDati().enabled) {
                clock.t += 1ms;
                link.TimerComDatiTimer();
            } else {
                break;
            }
        }
    }

    // Started and streaming, recording when asked.
    void startStreaming(bool record) {
        if (record) {
            ASSERT_TRUE(writer.create(path()));
        }
        link.beginAcquisition(record ? &writer : nullptr);
        clock.t += 1000ms;
        link.TimerComSetTimer();
        ASSERT_TRUE(link.timerDati().enabled);
    }

    std::vector<hub::DataRecord> records(hub::StopReason* why = nullptr) {
        hub::DataFileReader r;
        EXPECT_TRUE(r.open(path()));
        double start = 0;
        std::vector<hub::DataRecord> out;
        if (!r.readStart(start)) return out;
        hub::DataRecord rec;
        while (r.next(rec)) out.push_back(rec);
        if (why) *why = r.stopReason();
        return out;
    }

    long count(std::uint8_t b) const {
        const auto w = line.writtenBytes();
        return std::count(w.begin(), w.end(), b);
    }
};

hub::StateRecord filled(std::uint8_t v) {
    hub::StateRecord r;
    r.fill(v);
    return r;
}

} // namespace

TEST_F(Link, RicezioneByteKeepsOneDeadlineForTheWholeCall) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::chrono::milliseconds, std::vector<std::uint8_t>>> arrivals;
        int n;
        bool result;
        std::vector<std::uint8_t> buffer; // 5 bytes after the call (0xEE untouched)
        size_t leftInQueue;
        std::chrono::microseconds elapsed;
    };
    const Case cases[] = {
        {"in time", {{0ms, {1, 2, 3, 4, 5}}}, 5, true, {1, 2, 3, 4, 5}, 0, 0us},
        {"nothing asked", {{0ms, {1}}}, 0, true, {0xEE, 0xEE, 0xEE, 0xEE, 0xEE}, 1, 0us},
        {"last byte 1727 ms after the call", {{0ms, {1}}, {1727ms, {2}}}, 2, true,
         {1, 2, 0xEE, 0xEE, 0xEE}, 0, 1727ms},
        {"last byte 1729 ms after the call", {{0ms, {1}}, {1729ms, {2}}}, 2, false,
         {1, 0xEE, 0xEE, 0xEE, 0xEE}, 0, 1728ms},
        {"two gaps that add up past the deadline", {{1000ms, {1}}, {1800ms, {2}}}, 2, false,
         {1, 0xEE, 0xEE, 0xEE, 0xEE}, 0, 1728ms},
        {"silence", {}, 3, false, {0xEE, 0xEE, 0xEE, 0xEE, 0xEE}, 0, 1728ms},
    };
    for (const Case& c : cases) {
        FakeClock ck;
        FakeHub ln(ck);
        hub::HubState s;
        FakeHost h(s);
        HubLink l(ln, ck, s, h);
        const SteadyTime t0 = ck.t;
        for (auto& [at, bytes] : c.arrivals)
            for (auto b : bytes) ln.arriveAt(t0 + at, {b});
        std::vector<std::uint8_t> buf(5, 0xEE);
        EXPECT_EQ(l.RicezioneByte(buf.data(), c.n), c.result) << c.name;
        EXPECT_EQ(buf, c.buffer) << c.name;
        EXPECT_EQ(ln.inQueCount(), static_cast<int>(c.leftInQueue)) << c.name;
        EXPECT_EQ(ck.t - t0, c.elapsed) << c.name;
    }
}

// On a port that sleeps for the line time of what it waits for: every record
// is applied, in order, at most a record's time after it is whole, with about
// one wake-up for two records, whatever the record length.
TEST_F(Link, RecordsAreReadTwoToAWakeUpAndNoneLate) {
    const struct {
        const char* name;
        std::vector<std::uint8_t> answer;
        int length;
    } cases[] = {{"SW, 12-byte records", swAnswer(), 12},
                 {"TC, 6-byte records", tcAnswer(1), 6},
                 {"TC, 3-byte records", tcAnswer(2), 3}};
    for (const auto& c : cases) {
        FakeClock ck;
        FakeHub ln(ck);
        hub::HubState s;
        // When each record was applied, and repaints made with the next record whole in the queue.
        struct TimedHost : FakeHost {
            FakeClock& ck;
            FakeHub& ln;
            int length;
            std::vector<SteadyTime> at;
            int paintedBehind = 0;
            TimedHost(hub::HubState& s, FakeClock& c, FakeHub& l, int n) : FakeHost(s), ck(c), ln(l), length(n) {}
            void riceviDati(const hub::StateRecord& r) override { FakeHost::riceviDati(r); at.push_back(ck.t); }
            void repaint() override { FakeHost::repaint(); paintedBehind += ln.inQueCount() > length; }
        } h(s, ck, ln, c.length);
        HubLink l(ln, ck, s, h);
        ln.answer = c.answer;
        ln.recordLength = c.length;
        ln.lineTimeWaits = true;
        ln.record = [](long k) { return filled(static_cast<std::uint8_t>(k)); };
        l.beginAcquisition(nullptr);
        ck.t += 1000ms;
        l.TimerComSetTimer();
        ASSERT_TRUE(l.timerDati().enabled) << c.name;
        const int waitsBefore = ln.waits;
        for (const SteadyTime until = ck.t + 2000ms; ck.t < until && l.timerDati().enabled;) {
            ck.t += 1ms;
            l.TimerComDatiTimer();
        }
        ASSERT_GT(h.applied.size(), 70u) << c.name;
        ASSERT_LT(h.applied.size(), 256u) << c.name; // one byte numbers them
        for (size_t k = 0; k < h.applied.size(); ++k) {
            ASSERT_EQ(h.applied[k][0], static_cast<std::uint8_t>(k)) << c.name;
            EXPECT_LE(h.at[k] - ln.recordDone[k], (1 + c.length) * FakeHub::kByte + 1ms) << c.name << ", record " << k;
        }
        EXPECT_LT(double(ln.waits - waitsBefore) / double(h.applied.size()), 0.65) << c.name;
        EXPECT_GT(h.repaints, 0) << c.name;
        EXPECT_EQ(h.paintedBehind, 0) << c.name;
    }
}

TEST(FakeClock, AWaitThatNeverReachesItsDeadlineFailsAtTheStepLimit) {
    // A line whose wait returns without moving the clock: the receive loop
    // would poll for ever.
    struct StuckLine : FakeHub {
        using FakeHub::FakeHub;
        void waitReadable(SteadyTime) override {}
    };
    FakeClock ck;
    ck.stepLimit = 1000;
    StuckLine ln(ck);
    hub::HubState s;
    FakeHost h(s);
    HubLink l(ln, ck, s, h);
    std::uint8_t b = 0;
    EXPECT_NONFATAL_FAILURE(EXPECT_THROW(l.RicezioneByte(&b, 1), testsupport::StepLimitReached),
                            "deadline never comes");
    EXPECT_EQ(ck.steps(), 1001);
}

TEST_F(Link, AfterATimeOutEachRemainingPositionReadsOnceAndDropsTheByte) {
    const SteadyTime t0 = clock.t;
    line.arriveAt(t0, {1, 2});
    // Four bytes land together right at the deadline.
    for (std::uint8_t b : {3, 4, 5, 6}) line.arriveAt(t0 + 1728ms, {b});
    std::vector<std::uint8_t> buf(5, 0xEE);
    EXPECT_FALSE(link.RicezioneByte(buf.data(), 5));
    EXPECT_EQ(buf, (std::vector<std::uint8_t>{1, 2, 0xEE, 0xEE, 0xEE}));
    // Position 3 timed out with byte 3 in hand, 4 and 5 read once each: only 6 is left.
    ASSERT_EQ(line.queue.size(), 1u);
    EXPECT_EQ(line.queue.front(), 6);
}

TEST_F(Link, RicezioneStartWantsThatByte) {
    line.arriveAt(clock.t, {0x82, 0x83});
    EXPECT_TRUE(link.RicezioneStart(0x82));
    EXPECT_FALSE(link.RicezioneStart(0x82));
    EXPECT_FALSE(link.RicezioneStart(0x82)); // nothing comes
}

TEST_F(Link, StopBytesFiveToAStreamingHubOneToASilentOne) {
    for (bool streaming : {true, false}) {
        FakeClock ck;
        FakeHub ln(ck);
        hub::HubState s;
        FakeHost h(s);
        HubLink l(ln, ck, s, h);
        ln.streaming = streaming;
        ln.arriveAt(ck.t, {0x82, 1, 2}); // stale bytes: purged first
        const SteadyTime t0 = ck.t;
        l.InviaStop();
        const auto w = ln.written;
        ASSERT_EQ(w.size(), streaming ? 5u : 1u) << streaming;
        for (size_t i = 0; i < w.size(); ++i) {
            EXPECT_EQ(w[i].second, 0x84);
            EXPECT_EQ(w[i].first - t0, static_cast<int>(i) * 432ms);
        }
        // The last stream bytes stay in the queue: they are not purged between attempts.
        EXPECT_EQ(ln.inQueCount() > 0, streaming);
        EXPECT_EQ(h.repaints, streaming ? 5 : 0);
    }
}

TEST_F(Link, WrongEchoShowsNoDataAndRetriesEveryTwoSeconds) {
    line.echo = 0x00;
    link.beginAcquisition(nullptr);
    EXPECT_EQ(link.timerSet().intervalMs, 1000);
    clock.t += 1000ms;
    link.TimerComSetTimer();
    EXPECT_TRUE(link.noData());
    EXPECT_TRUE(link.timerSet().enabled);
    EXPECT_EQ(link.timerSet().intervalMs, 2000);
    EXPECT_FALSE(link.timerDati().enabled);
    EXPECT_EQ(host.setSW, 0);
    EXPECT_EQ(line.writtenBytes(), (std::vector<std::uint8_t>{0x84, 0x84, 0x83}));

    // The next attempt begins with the stop bytes again; with a right echo it connects.
    line.echo = 0x83;
    line.written.clear();
    runFor(2000ms);
    EXPECT_EQ(line.writtenBytes(), (std::vector<std::uint8_t>{0x84, 0x83, 0x82}));
    EXPECT_FALSE(link.noData());
    EXPECT_FALSE(link.timerSet().enabled);
    EXPECT_TRUE(link.timerDati().enabled);
    EXPECT_EQ(link.timerDati().intervalMs, 1);
    EXPECT_EQ(host.setSW, 1);
    EXPECT_EQ(st.hubKind, 0x41);
    EXPECT_EQ(st.sw[0], 0xFF);
    EXPECT_EQ(st.sw[8], 0x10);
}

TEST_F(Link, DoubleStopSequenceAtTheStartMeetsASilentHub) {
    line.streaming = true; // left streaming by an earlier session
    link.beginAcquisition(nullptr);
    EXPECT_EQ(count(0x84), 5);
    clock.t += 1000ms;
    link.TimerComSetTimer();
    // The first connect purges, sends one stop byte to the now silent hub and connects.
    EXPECT_EQ(line.writtenBytes(),
              (std::vector<std::uint8_t>{0x84, 0x84, 0x84, 0x84, 0x84, 0x84, 0x83, 0x82}));
    EXPECT_FALSE(link.noData());
    EXPECT_EQ(host.setSW, 1);
}

TEST_F(Link, ReconnectToAStreamingHubFailsOnceThenSucceeds) {
    line.streaming = true;
    link.TimerComSetTimer();
    // Five stop bytes; a stale stream byte is read instead of the echo.
    EXPECT_EQ(count(0x84), 5);
    EXPECT_TRUE(link.noData());
    EXPECT_EQ(link.timerSet().intervalMs, 2000);
    line.written.clear();
    runFor(2000ms);
    EXPECT_EQ(line.writtenBytes(), (std::vector<std::uint8_t>{0x84, 0x83, 0x82}));
    EXPECT_FALSE(link.noData());
}

TEST_F(Link, StreamPauseOf17SecondsIsToleratedAnd18Reconnects) {
    const struct { std::chrono::milliseconds pause; bool reconnect; } cases[] = {{1700ms, false}, {1800ms, true}};
    for (auto c : cases) {
        FakeClock ck;
        FakeHub ln(ck);
        hub::HubState s;
        FakeHost h(s);
        HubLink l(ln, ck, s, h);
        ln.answer = swAnswer();
        ln.record = [](long k) { return filled(static_cast<std::uint8_t>(k)); };
        ln.pauseBefore[10] = c.pause;
        l.beginAcquisition(nullptr);
        ck.t += 1000ms;
        l.TimerComSetTimer();
        bool sawConnect = false;
        // Run until well past the pause (a reconnect to a hub that streams again
        // fails once on its stale bytes and succeeds 2 s later).
        const SteadyTime until = ck.t + 8000ms;
        while (ck.t < until) {
            if (l.timerSet().enabled) {
                sawConnect = true;
                ck.t += std::chrono::milliseconds(l.timerSet().intervalMs);
                l.TimerComSetTimer();
            } else {
                ck.t += 1ms;
                l.TimerComDatiTimer();
            }
        }
        EXPECT_EQ(sawConnect, c.reconnect) << c.pause.count() << " applied " << h.applied.size();
        EXPECT_EQ(h.setSW, c.reconnect ? 2 : 1) << c.pause.count();
        if (!c.reconnect) {
            // Every record arrived in order, none lost.
            for (size_t i = 0; i < h.applied.size(); ++i)
                ASSERT_EQ(h.applied[i], filled(static_cast<std::uint8_t>(i))) << i;
        }
    }
}

TEST_F(Link, ShortRecordsKeepTheRestOfTheState) {
    line.answer = tcAnswer(2); // speed 2: 3-byte records, 24 a tick
    line.recordLength = 3;
    line.record = [](long k) { return filled(static_cast<std::uint8_t>(0x10 + k)); };
    st.current = filled(0x5A); // what the state held before
    startStreaming(false);
    EXPECT_EQ(st.stream.recordLength, 3);
    link.TimerComDatiTimer();
    ASSERT_EQ(host.applied.size(), 24u);
    for (size_t k = 0; k < host.applied.size(); ++k) {
        const auto& a = host.applied[k];
        for (size_t i = 0; i < 12; ++i)
            EXPECT_EQ(a[i], i < 3 ? 0x10 + k : 0x5A) << "record " << k << " byte " << i;
    }
}

TEST_F(Link, RecordingHoldsStartSettingsChangedStatesAndEnd) {
    // A, A, B, B, A, A, ...: only the changes reach the file.
    const hub::StateRecord A = filled(0x01), B = filled(0x02);
    line.record = [&](long k) { return (k / 2) % 2 ? B : A; };
    startStreaming(true);
    link.TimerComDatiTimer(); // one tick: 6 records
    EXPECT_EQ(link.counter(), 6u);
    EXPECT_EQ(host.applied.size(), 6u);
    EXPECT_EQ(host.repaints, 5);
    EXPECT_EQ(link.heartbeat(), 0x808080u);
    EXPECT_TRUE(link.timerDati().enabled);
    link.TimerComDatiTimer();
    EXPECT_EQ(link.heartbeat(), 0xC0C0C0u);
    EXPECT_EQ(link.buffer(), line.inQueCount());
    EXPECT_LT(link.buffer(), 40);
    EXPECT_GE(link.maxBuffer(), link.buffer());

    bool closed = false;
    EXPECT_EQ(link.endAcquisition([&] { closed = true; }), QString());
    EXPECT_TRUE(closed);
    EXPECT_FALSE(writer.isOpen());
    EXPECT_FALSE(link.timerSet().enabled || link.timerDati().enabled);
    EXPECT_EQ(link.counter(), 0u);

    hub::StopReason why{};
    const auto recs = records(&why);
    EXPECT_EQ(why, hub::StopReason::EndRecord);
    ASSERT_EQ(recs.size(), 1u + 6u); // settings + A,B,A,B,A,B over 12 records
    EXPECT_EQ(recs[0].type, hub::kRecordSettings);
    EXPECT_EQ(recs[0].hubKind, 0x41);
    EXPECT_EQ(recs[0].blockLength, 9);
    for (size_t i = 1; i < recs.size(); ++i) EXPECT_EQ(recs[i].state, i % 2 ? A : B) << i;
    // 9 start + 19 settings + 6 x 21 states + 9 end.
    EXPECT_EQ(QFileInfo(path()).size(), 9 + 19 + 6 * 21 + 9);
}

TEST_F(Link, TcSettingsAreRecordedAs70BytesEndingInZeros) {
    line.answer = tcAnswer(0);
    st.tc.fill(0x77); // whatever an earlier block left
    startStreaming(true);
    link.endAcquisition([] {});
    const auto recs = records();
    ASSERT_GE(recs.size(), 1u);
    EXPECT_EQ(recs[0].hubKind, 0x02);
    EXPECT_EQ(recs[0].blockLength, 70);
    for (int i = 0; i < 64; ++i)
        if (i != 43) {
            EXPECT_EQ(recs[0].block[static_cast<size_t>(i)], 0xA1 + i) << i;
        }
    for (int i = 64; i < 70; ++i) EXPECT_EQ(recs[0].block[static_cast<size_t>(i)], 0) << i;
    EXPECT_EQ(QFileInfo(path()).size(), 9 + 80 + 9);
}

TEST_F(Link, EverySuccessfulConnectWritesASettingsRecord) {
    line.record = [](long k) { return filled(static_cast<std::uint8_t>(k)); };
    line.pauseBefore[8] = 2000ms;
    startStreaming(true);
    runFor(6000ms);
    link.endAcquisition([] {});
    int settings = 0;
    for (const auto& r : records()) settings += r.type == hub::kRecordSettings;
    EXPECT_EQ(settings, 2);
}

TEST_F(Link, CounterGoesPast2To31) {
    startStreaming(false);
    link.setCounter((std::uint64_t{1} << 31) - 2);
    link.TimerComDatiTimer();
    EXPECT_EQ(link.counter(), (std::uint64_t{1} << 31) + 4);
}

TEST_F(Link, StopOnAVanishedDeviceStillClosesEverythingAndKeepsTheData) {
    line.record = [](long k) { return filled(static_cast<std::uint8_t>(k + 1)); };
    startStreaming(true);
    link.TimerComDatiTimer();
    line.failing = true;
    EXPECT_THROW(link.TimerComDatiTimer(), hub::EComError);
    bool closed = false;
    const QString err = link.endAcquisition([&] { closed = true; });
    EXPECT_EQ(err, "Unable to purge com: 5"); // the first one only
    EXPECT_TRUE(closed);
    EXPECT_FALSE(writer.isOpen());
    EXPECT_FALSE(link.timerSet().enabled || link.timerDati().enabled);
    hub::StopReason why{};
    const auto recs = records(&why);
    EXPECT_EQ(why, hub::StopReason::EndRecord);
    ASSERT_EQ(recs.size(), 1u + 6u);
    for (size_t i = 1; i < recs.size(); ++i) EXPECT_EQ(recs[i].state, filled(static_cast<std::uint8_t>(i)));
}

TEST_F(Link, AFailedWriteIsReportedOnce) {
    line.record = [](long k) { return filled(static_cast<std::uint8_t>(k)); };
    startStreaming(true);
    // The file is gone from under the writer: every write fails.
    writer.close();
    link.TimerComDatiTimer();
    link.TimerComDatiTimer();
    EXPECT_EQ(host.failures.size(), 1);
}

// A full disk: the acquisition goes on, the recording pauses on a whole record
// and resumes with what the file needs.
TEST_F(Link, AFullDiskPausesTheRecordingAndItResumesWithTheSettingsItMissed) {
    line.record = [](long k) { return filled(static_cast<std::uint8_t>(k + 1)); }; // every record a change
    line.pauseBefore[20] = 2000ms; // the hub stalls once: a reconnect
    startStreaming(true);
    const qint64 base = 9 + 19;
    ASSERT_EQ(writer.size(), base);
    {
        testtool::FileSizeLimit full(static_cast<rlim_t>(base + 2 * 21 + 5));
        link.TimerComDatiTimer(); // six records: two go in, then the disk is full
        EXPECT_EQ(link.counter(), 6u); // the acquisition goes on
        ASSERT_EQ(host.failures.size(), 1);
        EXPECT_TRUE(host.failures[0].startsWith(path() + ": ")) << host.failures[0].toStdString();
        EXPECT_EQ(QFileInfo(path()).size(), base + 2 * 21);
        // The stall and the reconnect come while it is full: the new settings
        // cannot be written either.
        runFor(10000ms);
        EXPECT_GT(link.counter(), 26u); // streaming again after the reconnect
        EXPECT_EQ(host.failures.size(), 1); // once a pause, not once a record
        EXPECT_EQ(QFileInfo(path()).size(), base + 2 * 21);
        full.lift();
        runFor(500ms);
    }
    link.endAcquisition([] {});

    hub::StopReason why = hub::StopReason::None;
    std::string types;
    for (const auto& r : records(&why)) types += r.type == hub::kRecordSettings ? 'S' : 's';
    EXPECT_EQ(why, hub::StopReason::EndRecord);
    // The settings of the connection it resumed in come before its states.
    ASSERT_GT(types.size(), 5u);
    EXPECT_EQ(types.substr(0, 4), "SssS") << types;
    EXPECT_EQ(types.find('S', 4), std::string::npos) << types;
}

TEST(RecordingName, TypedNamePortAndExtension) {
    const struct { const char* typed; const char* port; const char* file; } cases[] = {
        {"20261207-154501", "/dev/ttyUSB0", "20261207-154501__PORT-ttyUSB0.dat"},
        {"night", "ttyS0", "night__PORT-ttyS0.dat"},
        {"/data/night", "/run/user/0/hubsim/hub-12", "/data/night__PORT-hub-12.dat"},
        {"x", "/dev/ttyACM0/", "x__PORT-ttyACM0.dat"},
    };
    for (auto c : cases) EXPECT_EQ(hub::recordingFileName(c.typed, c.port), c.file) << c.port;
    EXPECT_EQ(hub::proposedRecordingName(2026, 1, 2, 3, 4, 5), "20260102-030405");
}

TEST_F(Link, AVanishedDeviceIsReopenedEveryTwoSecondsAndTheRecordingCarriesOn) {
    line.record = [](long k) { return filled(static_cast<std::uint8_t>(k + 1)); };
    startStreaming(true);
    link.TimerComDatiTimer();
    const std::uint64_t before = link.counter();
    ASSERT_GT(before, 0u);
    line.failing = true;
    EXPECT_THROW(link.TimerComDatiTimer(), hub::EComError);
    int closes = 0;
    link.deviceLost([&] {
        ++closes;
        throw hub::EComPurge("Unable to purge com: 5", 5); // a dead device fails its close too
    });
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(link.deviceGone());
    EXPECT_TRUE(link.noData());
    EXPECT_FALSE(link.timerSet().enabled || link.timerDati().enabled);
    EXPECT_TRUE(link.timerReopen().enabled);
    EXPECT_EQ(link.timerReopen().intervalMs, 2000);
    EXPECT_TRUE(writer.isOpen());

    // Still missing: the timer runs again, nothing is sent.
    const size_t sent = line.written.size();
    for (int i = 0; i < 2; ++i) {
        EXPECT_FALSE(link.TimerReopenTimer([] { throw hub::EComHandle("Unable to open com port: 2", 2); }));
        EXPECT_TRUE(link.timerReopen().enabled);
        EXPECT_EQ(link.reopenError(), "Unable to open com port: 2");
        EXPECT_EQ(link.reopenFailures(), i + 1);
    }
    EXPECT_EQ(line.written.size(), sent);

    // Back: silenced, then the settings are asked again and recorded.
    line.failing = false;
    int opens = 0;
    EXPECT_TRUE(link.TimerReopenTimer([&] { ++opens; }));
    EXPECT_EQ(opens, 1);
    EXPECT_FALSE(link.deviceGone());
    EXPECT_FALSE(link.timerReopen().enabled);
    ASSERT_TRUE(link.timerSet().enabled);
    EXPECT_EQ(link.timerSet().intervalMs, 1000);
    EXPECT_EQ(line.written.at(sent).second, 0x84);
    runFor(3000ms);
    EXPECT_FALSE(link.noData());
    EXPECT_GT(link.counter(), before + 6); // the counter goes on from where it was
    EXPECT_TRUE(link.endAcquisition([] {}).isEmpty());

    hub::StopReason why{};
    const auto recs = records(&why);
    EXPECT_EQ(why, hub::StopReason::EndRecord);
    int settings = 0;
    size_t statesAfter = 0;
    for (const auto& r : recs) {
        settings += r.type == hub::kRecordSettings;
        if (settings == 2 && r.type == hub::kRecordState) ++statesAfter;
    }
    EXPECT_EQ(settings, 2);
    EXPECT_GT(statesAfter, 0u);
}

TEST_F(Link, StoppingOrStartingWithoutTheDeviceTouchesNoPort) {
    // Stop while the device is gone: no stop bytes to a closed port, no error.
    startStreaming(true);
    line.failing = true;
    link.deviceLost([] {});
    bool closed = false;
    EXPECT_TRUE(link.endAcquisition([&] { closed = true; }).isEmpty());
    EXPECT_TRUE(closed);
    EXPECT_FALSE(link.deviceGone() || link.timerReopen().enabled || link.noData());
    EXPECT_FALSE(writer.isOpen());
    // A reopen tick left over from the stop opens nothing.
    EXPECT_FALSE(link.TimerReopenTimer([] { ADD_FAILURE() << "opened after the stop"; }));
    hub::StopReason why{};
    records(&why);
    EXPECT_EQ(why, hub::StopReason::EndRecord);

    // A start with the device missing: the start record, then reopening.
    line.written.clear();
    ASSERT_TRUE(writer.create(path()));
    link.beginWithoutDevice(&writer);
    EXPECT_TRUE(line.written.empty());
    EXPECT_TRUE(link.deviceGone() && link.noData() && link.timerReopen().enabled);
    EXPECT_FALSE(link.timerSet().enabled || link.timerDati().enabled);
    line.failing = false;
    EXPECT_TRUE(link.TimerReopenTimer([] {}));
    runFor(2000ms);
    EXPECT_GT(link.counter(), 0u);
    link.endAcquisition([] {});
    int settings = 0;
    for (const auto& r : records(&why)) settings += r.type == hub::kRecordSettings;
    EXPECT_EQ(why, hub::StopReason::EndRecord);
    EXPECT_EQ(settings, 1);
}
