// End to end over a real pseudo-terminal: the simulated hub (hubsim) on one
// side, TComPort + the hub link + the recording on the other, in real time.
#include "monitor/datafile.h"
#include "monitor/display/monitormodel.h"
#include "monitor/hublink.h"
#include "monitor/replay.h"
#include "monitor/ricevidati.h"
#include "monitor/settings/settingsdecoders.h"
#include "serial/comms.h"
#include "simhub.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

using Sim = testsupport::SimHub;

QString buildDir() { return qEnvironmentVariable("HUB_BUILD_DIR"); }


// The window's side, on the model with the real decoders and record application.
struct ModelHost : hub::HubLinkHost {
    hub::MonitorModel model;
    hub::HubState& st;
    explicit ModelHost(hub::HubState& s) : st(s) {}
    bool riceviSetSW(std::uint8_t k, const std::array<std::uint8_t, hub::kSwBlockSize>& b) override {
        return hub::RiceviSet_SW(model, st, k, b, false);
    }
    bool riceviSetTC(std::uint8_t k, const std::array<std::uint8_t, hub::kTcBlockSize>& b) override {
        return hub::RiceviSet_TC(model, st, k, b, false, nullptr);
    }
    void riceviDati(const hub::StateRecord& s) override { hub::RiceviDati(model, st, s, false, false, false); }
};

// A live acquisition with recording, run by the link's timers in real time.
struct Acquisition {
    hub::TComPort port;
    hub::HubState st;
    ModelHost host{st};
    hub::HubLink link{port, hub::SystemClock::instance(), st, host};
    hub::DataFileWriter writer;
    QString error; // the device error that ended the run, if any
    int connects = 0;

    bool start(const QString& device, const QString& file) {
        port.setHubLine();
        port.PortName = device;
        port.Open();
        if (!writer.create(file)) return false;
        link.beginAcquisition(&writer);
        return true;
    }
    // Runs the timers for a while (or until done() says so), like the
    // window's event loop.
    void run(std::chrono::milliseconds span, const std::function<bool()>& done = {}) {
        const auto until = std::chrono::steady_clock::now() + span;
        try {
            while (std::chrono::steady_clock::now() < until && !(done && done())) {
                if (link.timerSet().enabled) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(link.timerSet().intervalMs));
                    link.TimerComSetTimer();
                    connects += link.timerDati().enabled;
                } else if (link.timerDati().enabled) {
                    std::this_thread::sleep_for(1ms);
                    link.TimerComDatiTimer();
                } else {
                    return;
                }
            }
        } catch (const hub::EComError& e) {
            error = e.what();
        }
    }
    std::uint64_t stop(QString* stopError = nullptr) {
        const std::uint64_t received = link.counter();
        const QString e = link.endAcquisition([&] { port.Close(); });
        if (stopError) *stopError = e;
        return received;
    }
};

struct FileRecords {
    hub::StopReason reason = hub::StopReason::None;
    std::vector<hub::DataRecord> settings;
    std::vector<hub::StateRecord> states;
    size_t statesSinceSettings = 0; // after the last settings record
};

FileRecords readBack(const QString& path) {
    FileRecords f;
    hub::DataFileReader r;
    EXPECT_TRUE(r.open(path));
    double start;
    EXPECT_TRUE(r.readStart(start));
    hub::DataRecord rec;
    while (r.next(rec)) {
        if (rec.type == hub::kRecordSettings) f.settings.push_back(rec);
        if (rec.type == hub::kRecordState) f.states.push_back(rec.state);
    }
    f.reason = r.stopReason();
    return f;
}

// What the writer must have kept of the first n states sent: each one that
// differs from the last kept (all zeros at the start).
std::vector<hub::StateRecord> changes(const std::vector<std::vector<std::uint8_t>>& sent, size_t n) {
    std::vector<hub::StateRecord> out;
    hub::StateRecord last{};
    for (size_t i = 0; i < n && i < sent.size(); ++i) {
        hub::StateRecord s;
        std::copy_n(sent[i].begin(), 12, s.begin());
        if (s != last) out.push_back(s);
        last = s;
    }
    return out;
}

// hubmonitor as a process, without a display.
void startMonitor(QProcess& mon, const QStringList& args) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    mon.setProcessEnvironment(env);
    mon.start(buildDir() + "/monitor/hubmonitor", args);
}

// The file replays to its end record, applying every one of its states.
void expectReplaysWhole(const QString& file, size_t states, hub::MonitorModel& m) {
    hub::HubState s;
    const auto outcome = hub::replayFile(file, m, s, false, [](bool) {});
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->reason, hub::StopReason::EndRecord);
    EXPECT_EQ(outcome->counter, static_cast<std::int64_t>(states));
}

void expectSameLeds(const hub::MonitorModel& live, const hub::MonitorModel& replayed) {
    for (int b = 1; b <= 8; ++b)
        for (int n = 1; n <= 14; ++n) {
            EXPECT_EQ(live.led(b, n).lens, replayed.led(b, n).lens) << b << "/" << n;
            EXPECT_EQ(live.led(b, n).count, replayed.led(b, n).count) << b << "/" << n;
        }
}

// Runs f(0) .. f(n-1) each on its own thread. The acquisitions wait in real
// time on their own simulated hubs; side by side they take the time of the
// longest instead of the sum.
void sideBySide(size_t n, const std::function<void(size_t)>& f) {
    std::vector<std::thread> threads;
    for (size_t i = 0; i < n; ++i) threads.emplace_back(f, i);
    for (auto& t : threads) t.join();
}

// Polls until done() or the time is up; true if done.
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

// What a recording that is still being written holds so far.
FileRecords recordedSoFar(const QString& path) {
    FileRecords f;
    hub::DataFileReader r;
    double start;
    if (!r.open(path) || !r.readStart(start)) return f;
    hub::DataRecord rec;
    while (r.next(rec)) {
        if (rec.type == hub::kRecordSettings) {
            f.settings.push_back(rec);
            f.statesSinceSettings = 0;
        }
        if (rec.type == hub::kRecordState) {
            f.states.push_back(rec.state);
            ++f.statesSinceSettings;
        }
    }
    return f;
}

} // namespace

namespace {

// Acquisitions of simulated hubs that wait in real time, each on its own hub:
// run side by side by the test after them.

void recordingHoldsWhatTheSimulatedHubSent() {
    const struct {
        const char* name;
        QStringList args;
        int blockLength;
    } cases[] = {
        {"SW, every byte changing in every 4th record",
         {"--kind", "sw", "--event-every", "2", "--seed", "7", "--churn-every", "4"}, 9},
        {"TC, 3-byte records", {"--kind", "tc", "--speed", "2", "--event-every", "2", "--couples", "1"}, 70},
    };
    constexpr size_t n = std::size(cases);
    QTemporaryDir dirs[n];
    std::unique_ptr<Sim> sims[n];
    for (size_t i = 0; i < n; ++i) {
        sims[i] = std::make_unique<Sim>(dirs[i], cases[i].args);
        ASSERT_FALSE(sims[i]->link.isEmpty()) << cases[i].name;
    }
    std::unique_ptr<Acquisition> runs[n];
    bool started[n] = {};
    std::uint64_t counted[n] = {};
    sideBySide(n, [&](size_t i) {
        runs[i] = std::make_unique<Acquisition>();
        started[i] = runs[i]->start(sims[i]->link, dirs[i].filePath("rec.dat"));
        if (!started[i]) return;
        runs[i]->run(2300ms);
        counted[i] = runs[i]->stop();
    });
    for (size_t i = 0; i < n; ++i) {
        const auto& c = cases[i];
        const Sim& sim = *sims[i];
        Acquisition& a = *runs[i];
        const QString file = dirs[i].filePath("rec.dat");
        ASSERT_TRUE(started[i]) << c.name;
        const std::uint64_t received = counted[i];
        EXPECT_TRUE(a.error.isEmpty()) << c.name << ": " << a.error.toStdString();
        ASSERT_GT(received, 10u) << c.name;

        const FileRecords f = readBack(file);
        EXPECT_EQ(f.reason, hub::StopReason::EndRecord) << c.name;
        ASSERT_EQ(f.settings.size(), 1u) << c.name;
        const auto sent = sim.lines('S');
        ASSERT_FALSE(sent.empty());
        EXPECT_EQ(f.settings[0].hubKind, sent[0][0]) << c.name;
        EXPECT_EQ(f.settings[0].blockLength, c.blockLength) << c.name;
        for (size_t i = 1; i < sent[0].size(); ++i)
            EXPECT_EQ(f.settings[0].block[i - 1], sent[0][i]) << c.name << " block byte " << i - 1;
        for (int i = static_cast<int>(sent[0].size()) - 1; i < f.settings[0].blockLength; ++i)
            EXPECT_EQ(f.settings[0].block[static_cast<size_t>(i)], 0) << c.name << " padding " << i;

        const auto sentRecords = sim.lines('R');
        if (c.args.contains("--churn-every")) {
            for (size_t i = 3; i < sentRecords.size(); i += 4)
                for (size_t k = 0; k < 12; ++k)
                    ASSERT_NE(sentRecords[i][k], sentRecords[i - 1][k]) << "record " << i << " byte " << k;
        }
        const auto expected = changes(sentRecords, received);
        EXPECT_GT(expected.size(), 3u) << c.name;
        EXPECT_EQ(f.states, expected) << c.name;

        // Replaying the file leaves the monitor as the live acquisition left it.
        hub::MonitorModel m;
        hub::HubState s;
        const auto outcome = hub::replayFile(file, m, s, false, [](bool) {});
        ASSERT_TRUE(outcome.has_value());
        EXPECT_EQ(outcome->counter, static_cast<std::int64_t>(expected.size()));
        expectSameLeds(a.host.model, m);
    }
}

void aVanishedDeviceLeavesACompleteFileThatReplays() {
    QTemporaryDir dir;
    Sim sim(dir, {"--vanish-after", "30", "--event-every", "2"});
    ASSERT_FALSE(sim.link.isEmpty());
    Acquisition a;
    const QString file = dir.filePath("rec.dat");
    ASSERT_TRUE(a.start(sim.link, file));
    a.run(5000ms);
    // The device error that ended the run (which call met it first varies).
    EXPECT_TRUE(a.error.startsWith("Unable to ") && a.error.endsWith(": 5")) << a.error.toStdString();
    QString stopError;
    const std::uint64_t received = a.stop(&stopError);
    EXPECT_FALSE(stopError.isEmpty()); // the stop met the dead device too, and went on
    EXPECT_FALSE(a.port.Connected());
    EXPECT_FALSE(a.writer.isOpen());

    const FileRecords f = readBack(file);
    EXPECT_EQ(f.reason, hub::StopReason::EndRecord);
    EXPECT_EQ(f.states, changes(sim.lines('R'), received));
    hub::MonitorModel m;
    expectReplaysWhole(file, f.states.size(), m);
    expectSameLeds(a.host.model, m);
}

void hubmonitorStartsUnattendedAndStopsCleanlyOnSigterm() {
    QTemporaryDir dir;
    Sim sim(dir, {"--event-every", "2"});
    ASSERT_FALSE(sim.link.isEmpty());
    QProcess mon;
    mon.setWorkingDirectory(dir.path());
    startMonitor(mon, {"--port", sim.link, "--record", "guard"});
    ASSERT_TRUE(mon.waitForStarted(5000));
    const QString file = dir.filePath("guard__PORT-hub.dat");
    EXPECT_TRUE(waitUntil([&] { return recordedSoFar(file).states.size() > 10; }, 8000ms));
    // While it runs, the port is taken.
    hub::TComPort other;
    other.PortName = sim.link;
    EXPECT_THROW(other.Open(), hub::EComHandle);
    ::kill(static_cast<pid_t>(mon.processId()), SIGTERM);
    ASSERT_TRUE(mon.waitForFinished(6000));
    EXPECT_EQ(mon.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(mon.exitCode(), 0);

    ASSERT_TRUE(QFile::exists(file));
    const FileRecords f = readBack(file);
    EXPECT_EQ(f.reason, hub::StopReason::EndRecord);
    ASSERT_EQ(f.settings.size(), 1u);
    EXPECT_EQ(f.settings[0].blockLength, 9);
    // The states are the changes of some prefix of what was sent (the last
    // records on the line when the stop came were never read).
    const auto sent = sim.lines('R');
    bool matched = false;
    for (size_t n = sent.size() + 1; n-- > 0 && !matched;) matched = changes(sent, n) == f.states;
    EXPECT_TRUE(matched);
    EXPECT_GT(f.states.size(), 10u);
    // And the port was given back.
    EXPECT_NO_THROW(other.Open());
    other.Close();
    // The simulated hub removes its link when told to end.
    ASSERT_TRUE(QFileInfo(sim.link).isSymLink());
    sim.proc.terminate();
    EXPECT_TRUE(sim.proc.waitForFinished(3000));
    EXPECT_FALSE(QFileInfo(sim.link).isSymLink());
}

} // namespace

namespace {

// hubmonitor --port DEVICE --record guard loses its device, which comes back
// as a new pty: under the same name (hubsim makes its link again), or, with
// a stable link, under another tty (ttyUSB0 coming back as ttyUSB1): udev
// removes the /dev/serial/by-id link at the unplugging and makes it again,
// pointing at the new tty.
void reopenAVanishedDevice(bool stableLink) {
    QTemporaryDir dir, dirB;
    Sim first(dir, {"--vanish-after", "25", "--event-every", "2"});
    ASSERT_FALSE(first.link.isEmpty());
    std::unique_ptr<Sim> second;
    QString port = first.link;
    const QString stable = dir.filePath("serial/by-id/usb-Zembra_Hub_A1-if00-port0");
    auto pointAt = [&](const QString& pty) { // as udev does: a new link renamed into place
        const QByteArray tmp = QFile::encodeName(stable + ".tmp");
        return ::symlink(QFile::encodeName(pty).constData(), tmp.constData()) == 0 &&
               ::rename(tmp.constData(), QFile::encodeName(stable).constData()) == 0;
    };
    if (stableLink) {
        second = std::make_unique<Sim>(dirB, QStringList{"--event-every", "2", "--seed", "7"});
        ASSERT_FALSE(second->link.isEmpty());
        ASSERT_NE(QFileInfo(first.link).symLinkTarget(), QFileInfo(second->link).symLinkTarget());
        ASSERT_TRUE(QDir(dir.path()).mkpath("serial/by-id"));
        ASSERT_TRUE(pointAt(QFileInfo(first.link).symLinkTarget()));
        port = stable;
    }
    QProcess mon;
    mon.setWorkingDirectory(dir.path());
    startMonitor(mon, {"--port", port, "--record", "guard"});
    ASSERT_TRUE(mon.waitForStarted(5000));
    QByteArray err;
    auto waitFor = [&](const char* text, int ms) {
        for (int i = 0; i < ms / 100 && !err.contains(text); ++i) {
            mon.waitForReadyRead(100);
            err += mon.readAllStandardError();
        }
        return err.contains(text);
    };
    // The device goes away and the program keeps trying.
    ASSERT_TRUE(waitFor("reopening", 20000)) << err.toStdString();
    if (stableLink) {
        ASSERT_TRUE(QFile::remove(stable)); // unplugged
    } else {
        for (int i = 0; i < 50 && QFileInfo::exists(port); ++i) std::this_thread::sleep_for(100ms);
        EXPECT_FALSE(QFileInfo::exists(port));
    }
    EXPECT_TRUE(waitFor("Unable to open com port: 2", 6000)) << err.toStdString(); // a reopening failed
    EXPECT_EQ(mon.state(), QProcess::Running);
    if (stableLink) {
        ASSERT_TRUE(pointAt(QFileInfo(second->link).symLinkTarget())); // plugged in again
    } else {
        second = std::make_unique<Sim>(dir, QStringList{"--event-every", "2", "--seed", "7"}, "sim2.log");
        ASSERT_EQ(second->link, port);
    }
    ASSERT_TRUE(waitFor("reopened", 6000)) << err.toStdString();
    const QString file = dir.filePath(stableLink ? "guard__PORT-usb-Zembra_Hub_A1-if00-port0.dat"
                                                 : "guard__PORT-hub.dat");
    // The second hub's settings and a few of its states reach the file.
    EXPECT_TRUE(waitUntil(
        [&] {
            const FileRecords now = recordedSoFar(file);
            return now.settings.size() == 2 && now.statesSinceSettings > 3;
        },
        8000ms));
    ::kill(static_cast<pid_t>(mon.processId()), SIGTERM);
    ASSERT_TRUE(mon.waitForFinished(6000));
    EXPECT_EQ(mon.exitCode(), 0);
    err += mon.readAllStandardError();
    EXPECT_TRUE(err.contains("Unable to open com port: 2")) << err.toStdString();

    // One file: start, the first hub's changes, a new settings record, the
    // second hub's changes, end; and it replays whole.
    const FileRecords f = readBack(file);
    EXPECT_EQ(f.reason, hub::StopReason::EndRecord);
    EXPECT_EQ(f.settings.size(), 2u);
    EXPECT_EQ(first.lines('S').size(), 1u);
    EXPECT_EQ(second->lines('S').size(), 1u);
    hub::DataFileReader r;
    ASSERT_TRUE(r.open(file));
    double start;
    ASSERT_TRUE(r.readStart(start));
    hub::DataRecord rec;
    int settings = 0;
    std::vector<hub::StateRecord> before, after;
    while (r.next(rec)) {
        settings += rec.type == hub::kRecordSettings;
        if (rec.type == hub::kRecordState) (settings < 2 ? before : after).push_back(rec.state);
    }
    const auto sent = first.lines('R');
    // The first hub's changes, as sent, up to where the device went away.
    bool matched = false;
    for (size_t n = sent.size() + 1; n-- > 0 && !matched;) matched = changes(sent, n) == before;
    EXPECT_TRUE(matched);
    EXPECT_GT(before.size(), 5u);
    EXPECT_GT(after.size(), 3u);
    hub::MonitorModel m;
    expectReplaysWhole(file, f.states.size(), m);
}

} // namespace

// Both ways side by side: each waits in real time on its own hubs.
TEST(EndToEnd, HubmonitorUnattendedReopensAVanishedDeviceAndKeepsRecording) {
    const struct {
        const char* name;
        bool stableLink;
    } cases[] = {{"the same name again", false}, {"a stable link moved to another tty", true}};
    sideBySide(std::size(cases), [&](size_t i) {
        SCOPED_TRACE(cases[i].name);
        reopenAVanishedDevice(cases[i].stableLink);
    });
}

TEST(EndToEnd, UnattendedOptionsAreCheckedBeforeAnythingStarts) {
    const struct { QStringList args; const char* error; } cases[] = {
        {{"--port"}, "--port needs a value"},
        {{"--record", "x"}, "--port DEVICE is required"},
        {{"--port", "p", "--record", "x", "--no-record"}, "exclude each other"},
        {{"--port", "p", "--no-record", "--record", "x"}, "exclude each other"},
        {{"--port", "p", "--bogus"}, "unknown option: --bogus"},
    };
    for (const auto& c : cases) {
        QProcess mon;
        startMonitor(mon, c.args);
        ASSERT_TRUE(mon.waitForFinished(10000));
        EXPECT_EQ(mon.exitCode(), 2) << c.args.join(' ').toStdString();
        EXPECT_TRUE(mon.readAllStandardError().contains(c.error)) << c.args.join(' ').toStdString();
    }
}

TEST(EndToEnd, SimulatedFaultsMakeTheLinkReconnectOrGiveUp) {
    const struct {
        const char* name;
        QStringList args;
        int connects;
        bool noData;
        // The run goes on until more records than this have come.
        std::uint64_t moreThan;
        // Nothing is lost in the reconnect: the file holds the changes of
        // every record received.
        bool keepsEveryRecord;
    } cases[] = {
        // The second stream brings more than the first one held.
        {"a hub that falls silent", {"--silent-after", "8", "--event-every", "2"}, 2, false, 10, true},
        // The hub streams again after the stall: the first reconnect meets its
        // stale bytes and fails, the next one (2 s later) succeeds.
        {"a 1.8-s stall", {"--stall", "1800", "--stall-after", "4"}, 2, false, 0, false},
        {"a wrong echo", {"--wrong-echo"}, 0, true, 0, false},
    };
    constexpr size_t n = std::size(cases);
    QTemporaryDir dirs[n];
    std::unique_ptr<Sim> sims[n];
    for (size_t i = 0; i < n; ++i) {
        sims[i] = std::make_unique<Sim>(dirs[i], cases[i].args);
        ASSERT_FALSE(sims[i]->link.isEmpty()) << cases[i].name;
    }
    std::unique_ptr<Acquisition> runs[n];
    bool started[n] = {}, noData[n] = {};
    std::uint64_t received[n] = {};
    sideBySide(n, [&](size_t i) {
        const auto& c = cases[i];
        runs[i] = std::make_unique<Acquisition>();
        Acquisition& a = *runs[i];
        started[i] = a.start(sims[i]->link, dirs[i].filePath("rec.dat"));
        if (!started[i]) return;
        a.run(9000ms, [&] {
            return (a.connects >= 2 && a.link.counter() > c.moreThan) || (c.noData && a.link.noData());
        });
        noData[i] = a.link.noData(); // the stop hides it
        received[i] = a.stop();
    });
    for (size_t i = 0; i < n; ++i) {
        const auto& c = cases[i];
        Acquisition& a = *runs[i];
        ASSERT_TRUE(started[i]) << c.name;
        EXPECT_TRUE(a.error.isEmpty()) << c.name << ": " << a.error.toStdString();
        EXPECT_EQ(a.connects, c.connects) << c.name;
        EXPECT_EQ(noData[i], c.noData) << c.name;
        if (c.connects > 0) {
            EXPECT_GT(received[i], c.moreThan) << c.name;
        }
        const FileRecords f = readBack(dirs[i].filePath("rec.dat"));
        EXPECT_EQ(f.reason, hub::StopReason::EndRecord) << c.name;
        EXPECT_EQ(f.settings.size(), static_cast<size_t>(a.connects)) << c.name;
        if (c.keepsEveryRecord) {
            EXPECT_EQ(f.states, changes(sims[i]->lines('R'), received[i])) << c.name;
        }
    }
}

namespace {

void theSimulatedHubReplaysARecordingsStates() {
    QTemporaryDir dir;
    const QString source = dir.filePath("source.dat");
    std::vector<hub::StateRecord> script;
    {
        hub::DataFileWriter w;
        ASSERT_TRUE(w.create(source));
        const double t0 = 46000.0, second = 1.0 / 86400.0;
        w.writeStartEnd(t0);
        for (int i = 0; i < 4; ++i) {
            hub::StateRecord s{};
            s[0] = static_cast<std::uint8_t>(1u << i);
            s[2] = static_cast<std::uint8_t>(0x10 * i);
            script.push_back(s);
            w.writeState(t0 + i * second, s); // one a second ...
        }
        w.writeStartEnd(t0 + 4 * second);
    }
    Sim sim(dir, {"--events", source, "--rate", "4"}); // ... played four times as fast
    ASSERT_FALSE(sim.link.isEmpty());
    Acquisition a;
    ASSERT_TRUE(a.start(sim.link, dir.filePath("rec.dat")));
    a.run(4000ms, [&] { return a.st.current == script.back(); });
    a.stop();
    // The first state is already due when the stream starts.
    EXPECT_EQ(readBack(dir.filePath("rec.dat")).states, script);
}

} // namespace

// Side by side: each waits in real time on its own simulated hub, so together
// they take the time of the longest.
TEST(EndToEnd, AcquisitionsRecordReplayAndStopCleanly) {
    const struct {
        const char* name;
        void (*run)();
    } cases[] = {
        {"the recording holds what the simulated hub sent", recordingHoldsWhatTheSimulatedHubSent},
        {"a vanished device leaves a complete file that replays", aVanishedDeviceLeavesACompleteFileThatReplays},
        {"hubmonitor starts unattended and stops cleanly on SIGTERM",
         hubmonitorStartsUnattendedAndStopsCleanlyOnSigterm},
        {"the simulated hub replays a recording's states", theSimulatedHubReplaysARecordingsStates},
    };
    sideBySide(std::size(cases), [&](size_t i) {
        SCOPED_TRACE(cases[i].name);
        cases[i].run();
    });
}
