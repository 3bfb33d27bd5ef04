// The unattended start and stop (hubmonitor --port): errors go to stderr and
// never wait in a box, a recording that cannot be made does not stop the live
// display, and SIGTERM always ends the program, whatever the device or a
// dialog is doing.
#include "common/DialogSeam.h"
#include "monitor/FAnaBarre.h"
#include "monitor/datafile.h"
#include "monitor/unattended.h"
#include "mainwindow.h"
#include "monitorprocess.h"
#include "simhub.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Sim = testsupport::SimHub;



using Monitor = testsupport::MonitorProcess;

bool waitUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) QTest::qWait(50);
    return done();
}

hub::StopReason scan(const QString& path) {
    hub::DataFileReader r;
    double start;
    if (!r.open(path) || !r.readStart(start)) return hub::StopReason::NoStartRecord;
    hub::DataRecord rec;
    while (r.next(rec)) {
    }
    return r.stopReason();
}

} // namespace

TEST(UnattendedStart, ASecondMonitorOnTheSameRecordingLeavesTheFirstOneWhole) {
    QTemporaryDir dir;
    Sim sim(dir, {"--event-every", "1"});
    ASSERT_FALSE(sim.link.isEmpty());
    const QString file = dir.filePath("guard__PORT-hub.dat");
    Monitor first(dir.path(), {"--port", sim.link, "--record", "guard"});
    ASSERT_TRUE(waitUntil([&] { return QFileInfo(file).size() > 9 + 19 + 5 * 21; }, 8000));
    const QByteArray before = [&] {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();

    Monitor second(dir.path(), {"--port", sim.link, "--record", "guard"});
    // The port is the first one's: it waits for it, and then tries the file.
    ASSERT_TRUE(second.said("reopening", 8000)) << second.err.toStdString();
    QTest::qWait(500);
    QFile live(file);
    ASSERT_TRUE(live.open(QIODevice::ReadOnly));
    EXPECT_TRUE(live.readAll().startsWith(before)); // nothing of it was lost
    EXPECT_TRUE(second.said("acquiring without recording", 8000)) << second.err.toStdString();
    EXPECT_TRUE(second.err.contains(QStringLiteral("%1 is already being recorded by hubmonitor (pid %2)")
                                        .arg(file)
                                        .arg(first.proc.processId())
                                        .toLocal8Bit()))
        << second.err.toStdString();
    // The port is the first one's too: said with the system's words.
    EXPECT_TRUE(second.err.contains("Unable to open com port: 16 (Device or resource busy)")) << second.err.toStdString();
    second.signal(SIGTERM);
    EXPECT_TRUE(second.endsWith(0, 6000));

    first.signal(SIGTERM);
    EXPECT_TRUE(first.endsWith(0, 6000)) << first.err.toStdString();
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().startsWith(before)); // nothing of it was lost
    EXPECT_EQ(scan(file), hub::StopReason::EndRecord);
}

TEST(UnattendedStart, ARecordingThatCannotBeMadeIsSaidOnStderrAndTheDisplayRunsOn) {
    QTemporaryDir dir;
    Sim sim(dir, {"--event-every", "2"});
    ASSERT_FALSE(sim.link.isEmpty());
    Monitor mon(dir.path(), {"--port", sim.link, "--record", "nofolder/guard"});
    ASSERT_TRUE(mon.said("acquiring without recording", 8000)) << mon.err.toStdString();
    EXPECT_TRUE(mon.err.contains(
        (dir.filePath("nofolder/guard__PORT-hub.dat") + ": No such file or directory").toLocal8Bit()))
        << mon.err.toStdString();
    // It acquires: the hub was asked for its stream.
    EXPECT_TRUE(waitUntil([&] { return sim.recordsSent() > 5; }, 8000));
    // The device goes away, then the stop is asked for.
    sim.vanish();
    mon.signal(SIGTERM);
    EXPECT_TRUE(mon.endsWith(0, 6000)) << mon.err.toStdString();
}

TEST(UnattendedStop, SigtermWhileTheDeviceVanishesEndsWithoutADialog) {
    QTemporaryDir dir;
    Sim sim(dir, {"--event-every", "2"});
    ASSERT_FALSE(sim.link.isEmpty());
    const QString file = dir.filePath("guard__PORT-hub.dat");
    Monitor mon(dir.path(), {"--port", sim.link, "--record", "guard"});
    ASSERT_TRUE(waitUntil([&] { return QFileInfo(file).size() > 9 + 19 + 3 * 21; }, 8000));
    // The stop bytes go out to a hub that vanishes under them.
    mon.signal(SIGTERM);
    QTest::qWait(150);
    sim.vanish();
    ASSERT_TRUE(mon.endsWith(0, 6000)) << mon.err.toStdString();
    EXPECT_TRUE(mon.err.contains(": 5 (Input/output error)")) << mon.err.toStdString();
    EXPECT_EQ(scan(file), hub::StopReason::EndRecord);
}

TEST(UnattendedStop, ASignalClosesAnOpenDialogAndTheStopShowsNone) {
    // Attended, with the stop question open, when SIGTERM comes and the
    // device is gone: the question closes and the device error is no box.
    QTemporaryDir dir;
    qputenv("HUBSIM_DIR", dir.filePath("sims").toLocal8Bit());
    hub::DialogSeam::clear();
    Sim sim(dir, {"--event-every", "2"});
    ASSERT_FALSE(sim.link.isEmpty());
    mainwin_test::LiveWindow w;
    w.startAs(hub::MainWindowState::Language::English);
    hub::DialogSeam::push("ricevi", QDialog::Accepted);
    w.SBRiceviClick(hub::TAnalisiBarre::RiceviPreset{sim.link, true, dir.filePath("attended")});
    ASSERT_TRUE(w.state().acquiring());
    auto* counter = mainwin_test::control<QLabel>(w, "LCounter");
    ASSERT_TRUE(waitUntil([&] { return counter->text().toLongLong() > 3; }, 8000));

    // The device goes as the signal is handled: gone any earlier, a link
    // tick could meet it first and rightly show its error, as attended.
    bool signalled = false;
    hub::QuitSignals quitSignals([&] {
        signalled = true;
        hub::DialogSeam::quitting();
        sim.vanish();
        w.stopWithoutAsking();
    });
    QTimer::singleShot(300, [] { ::kill(::getpid(), SIGTERM); });
    // Never left waiting, whatever happens.
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] {
        while (QWidget* m = QApplication::activeModalWidget()) m->close();
    });
    watchdog.start(10000);
    QElapsedTimer t;
    t.start();
    w.FermaRic(true); // the question shows
    EXPECT_TRUE(signalled);
    EXPECT_LT(t.elapsed(), 8000);
    EXPECT_FALSE(w.state().acquiring());
    EXPECT_TRUE(hub::DialogSeam::shown().filter("error: ").isEmpty()) << hub::DialogSeam::shown().join('\n').toStdString();
    EXPECT_FALSE(hub::DialogSeam::shown().filter("stderr: Unable to ").isEmpty());
    EXPECT_EQ(scan(dir.filePath("attended__PORT-hub.dat")), hub::StopReason::EndRecord);
    hub::DialogSeam::clear();
    qunsetenv("HUBSIM_DIR");
}

TEST(UnattendedStop, AStopThatNeverEndsIsCutShortAfterTheDeadline) {
    // The main thread never gets back to its loop: the last resort ends the
    // process on its own.
    QElapsedTimer t;
    t.start();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(STDERR_FILENO);
        hub::QuitSignals q([] {}, 1);
        ::raise(SIGTERM);
        for (;;) ::pause();
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_GE(t.elapsed(), 900);
    EXPECT_LT(t.elapsed(), 4000);
}

TEST(UnattendedStart, APathThatCanNeverBeASerialLineIsSaidOnceAndTriedSlowly) {
    QTemporaryDir dir;
    Monitor mon(dir.path(), {"--port", dir.filePath("nofolder/hub"), "--no-record"});
    ASSERT_TRUE(mon.said("every 30 s", 8000)) << mon.err.toStdString();
    EXPECT_TRUE(mon.err.contains("Unable to open com port: 2 (No such file or directory); it cannot become a "
                                 "serial line by itself"))
        << mon.err.toStdString();
    mon.signal(SIGTERM);
    EXPECT_TRUE(mon.endsWith(0, 6000));
}

TEST(UnattendedStart, PortErrorsCarryTheSystemsTextAndSayWhetherTheyCanMend) {
    EXPECT_EQ(hub::withSystemText("Unable to open com port: 25"),
              "Unable to open com port: 25 (Inappropriate ioctl for device)");
    EXPECT_EQ(hub::withSystemText("Unable to open com port: 13 (/dev/ttyS0 belongs to group \"dialout\")"),
              "Unable to open com port: 13 (Permission denied) (/dev/ttyS0 belongs to group \"dialout\")");
    EXPECT_EQ(hub::withSystemText("something else: 5"), "something else: 5");
    EXPECT_EQ(hub::deviceErrorCanHeal(EBUSY, "ttyUSB0"), true);
    QTemporaryDir dir;
    const struct {
        int code;
        QString device;
        bool heals;
    } cases[] = {
        {ENOENT, "ttyUSB0", true},
        {ENOENT, "/dev/serial/by-id/usb-FTDI-if00-port0", true}, // udev makes the folder
        {ENOENT, dir.filePath("nofolder/hub"), false},
        {ENOTTY, dir.filePath("file"), false},
        {EISDIR, dir.path(), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(hub::deviceErrorCanHeal(c.code, c.device), c.heals) << c.code << " " << c.device.toStdString();
}
