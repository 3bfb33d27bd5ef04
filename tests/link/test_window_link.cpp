// The acquisition on the main window: TRicevi, SBRiceviClick, the timers and
// FermaRic, against the simulated hub.
#include "common/DialogSeam.h"
#include "mainwindow.h"
#include "simhub.h"
#include "monitor/FRicevi.h"
#include "monitor/FStop.h"
#include "monitor/datafile.h"
#include "monitor/hublink.h"
#include "serial/comms.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

using mainwin_test::control;

namespace {

using testsupport::SimHub;


hub::TAnalisiBarre::RiceviPreset fields(const QString& port, bool record, const QString& name,
                                   bool unattended = false) {
    return {port, record, name, unattended};
}

int errorsShown() {
    return static_cast<int>(hub::DialogSeam::shown().filter(QStringLiteral("error: ")).size());
}

hub::StopReason scan(const QString& path, int* states) {
    hub::DataFileReader r;
    double start;
    if (!r.open(path) || !r.readStart(start)) return hub::StopReason::NoStartRecord;
    hub::DataRecord rec;
    *states = 0;
    while (r.next(rec)) *states += rec.type == hub::kRecordState;
    return r.stopReason();
}

struct WindowLink : ::testing::Test {
    QTemporaryDir dir;
    mainwin_test::LiveWindow w;
    void SetUp() override {
        hub::DialogSeam::clear();
        qputenv("HUBSIM_DIR", dir.filePath("sims").toLocal8Bit());
    }
    void TearDown() override {
        if (w.state().acquiring()) w.FermaRic(false);
        hub::DialogSeam::clear();
        qunsetenv("HUBSIM_DIR");
    }
};

} // namespace

TEST(TRiceviDialog, TextsInBothLanguagesAndTheNameFollowsTheCheckBox) {
    hub::TRicevi d;
    EXPECT_EQ(d.windowTitle(), "RECORDING");
    EXPECT_EQ(d.size(), QSize(557, 285));
    EXPECT_TRUE(d.Memor->isChecked());
    EXPECT_TRUE(d.ElPorte->isEditable());
    EXPECT_EQ(d.LPorta->text(), "Serial Port");
    d.setItalian();
    const struct { QString got, want; } texts[] = {
        {d.windowTitle(), "Ricezioni Dati"}, {d.LPorta->text(), "Porta Seriale"},
        {d.Memor->text(), "Memorizza Dati"}, {d.Label2->text(), "Nome File"},
        {d.Button1->text(), "OK"},           {d.Button2->text(), "Cancel"},
    };
    for (const auto& t : texts) EXPECT_EQ(t.got, t.want);
    d.show();
    d.Memor->click();
    EXPECT_FALSE(d.NomeArchivio->isVisible());
    EXPECT_FALSE(d.Label2->isVisible());
    d.Memor->click();
    EXPECT_TRUE(d.NomeArchivio->isVisible());
    QTest::mouseClick(d.Button1, Qt::LeftButton);
    EXPECT_EQ(d.result(), QDialog::Accepted);
}

TEST_F(WindowLink, CancelRemembersTheChoicesAndStartsNothing) {
    hub::DialogSeam::push("ricevi", QDialog::Rejected);
    w.SBRiceviClick(fields("/dev/ttyNOTHING", false, "x"));
    EXPECT_FALSE(w.state().acquiring());
    EXPECT_EQ(w.hub.lastPort, "/dev/ttyNOTHING");
    EXPECT_FALSE(w.recordingFlag);
    EXPECT_NE(control<QLabel>(w, "LStart")->text(), "//"); // the time of the click stays
    EXPECT_EQ(errorsShown(), 0);
}

TEST_F(WindowLink, APortThatCannotBeOpenedLeavesTheWindowIdle) {
    hub::DialogSeam::push("ricevi", QDialog::Accepted);
    hub::DialogSeam::push("error", 0);
    w.SBRiceviClick(fields(dir.filePath("missing"), true, dir.filePath("r")));
    EXPECT_FALSE(w.state().acquiring());
    ASSERT_EQ(errorsShown(), 1);
    EXPECT_EQ(hub::DialogSeam::shown().last(), "error: Unable to open com port: 2");
    EXPECT_FALSE(control<QPushButton>(w, "SBRicevi")->isHidden());
    EXPECT_FALSE(QFile::exists(dir.filePath("r__PORT-missing.dat")));
}

TEST_F(WindowLink, AcquireRecordAndStopAfterConfirmation) {
    SimHub sim(dir, {"--event-every", "2"});
    ASSERT_FALSE(sim.link.isEmpty());
    hub::DialogSeam::push("ricevi", QDialog::Accepted);
    w.hub.lastRecorded.fill(0x55); // left by an earlier acquisition
    w.SBRiceviClick(fields(sim.link, true, dir.filePath("night")));
    ASSERT_TRUE(w.state().acquiring());
    EXPECT_EQ(w.hub.lastRecorded, hub::StateRecord{}); // every acquisition starts from zero
    const QString file = dir.filePath("night__PORT-hub.dat");
    EXPECT_EQ(w.recordingFileName, file);
    EXPECT_EQ(control<QLabel>(w, "NomeArch")->text(), file);
    EXPECT_TRUE(control<QPushButton>(w, "SBRicevi")->isHidden());
    EXPECT_FALSE(control<QLabel>(w, "LRicCorso")->isHidden());
    EXPECT_TRUE(control<QPushButton>(w, "SBClear")->isHidden()); // no LED reset while recording
    EXPECT_EQ(w.windowTitle(), "PORT : " + sim.link + " --  ZEMBRA MONITOR HUB (V:1.7)");
    EXPECT_TRUE(control<QTimer>(w, "TimerComSet")->isActive());
    EXPECT_EQ(control<QTimer>(w, "TimerComSet")->interval(), 1000);
    EXPECT_FALSE(control<QTimer>(w, "TimerComDati")->isActive());

    EXPECT_TRUE(QTest::qWaitFor([&] { return control<QLabel>(w, "LCounter")->text().toLongLong() > 5; }, 8000));
    EXPECT_TRUE(control<QLabel>(w, "LNoData")->isHidden());
    EXPECT_LT(control<QLabel>(w, "LBuffer")->text().toInt(), 40);
    EXPECT_TRUE(control<QTimer>(w, "TimerComDati")->isActive() != control<QTimer>(w, "TimerComSet")->isActive() || !control<QTimer>(w, "TimerComSet")->isActive());

    // "NO" keeps it running; "YES" stops it.
    hub::DialogSeam::push("stop", hub::TStop::ResultNO);
    w.FermaRic(true);
    EXPECT_TRUE(w.state().acquiring());
    EXPECT_TRUE(w.port.connected());
    hub::DialogSeam::push("stop", hub::TStop::ResultSI);
    w.FermaRic(true);
    EXPECT_FALSE(w.state().acquiring());
    EXPECT_FALSE(w.port.connected());
    EXPECT_FALSE(control<QTimer>(w, "TimerComSet")->isActive() || control<QTimer>(w, "TimerComDati")->isActive());
    EXPECT_EQ(w.windowTitle(), "ZEMBRA MONITOR HUB (V.1.7)");
    EXPECT_EQ(control<QLabel>(w, "LCounter")->text(), "0");
    EXPECT_EQ(control<QLabel>(w, "LBuffer")->text(), "0");
    EXPECT_EQ(control<QLabel>(w, "LStart")->text(), "//");
    EXPECT_FALSE(control<QPushButton>(w, "SBRicevi")->isHidden());
    EXPECT_TRUE(control<QLabel>(w, "LRicCorso")->isHidden());
    EXPECT_EQ(control<QFrame>(w, "PanelRicevi")->palette().color(QPalette::Window), QColor(0xC0, 0xC0, 0xC0));
    int states = 0;
    EXPECT_EQ(scan(file, &states), hub::StopReason::EndRecord);
    EXPECT_GT(states, 2);
    EXPECT_EQ(errorsShown(), 0);
}

TEST_F(WindowLink, AVanishedDeviceIsReportedOnceAndTheStopStillCompletes) {
    SimHub sim(dir, {"--vanish-after", "10", "--event-every", "2"});
    ASSERT_FALSE(sim.link.isEmpty());
    hub::DialogSeam::push("ricevi", QDialog::Accepted);
    for (int i = 0; i < 3; ++i) hub::DialogSeam::push("error", 0);
    w.SBRiceviClick(fields(sim.link, true, dir.filePath("gone")));
    ASSERT_TRUE(w.state().acquiring());
    for (int i = 0; i < 40 && errorsShown() == 0; ++i) QTest::qWait(100);
    EXPECT_EQ(errorsShown(), 1);
    // Nothing runs after the error; the window waits for the stop.
    EXPECT_FALSE(control<QTimer>(w, "TimerComSet")->isActive() || control<QTimer>(w, "TimerComDati")->isActive());
    EXPECT_TRUE(w.state().acquiring());
    w.FermaRic(false);
    EXPECT_EQ(errorsShown(), 1); // not shown a second time
    EXPECT_FALSE(w.state().acquiring());
    EXPECT_FALSE(w.port.connected());
    int states = 0;
    EXPECT_EQ(scan(dir.filePath("gone__PORT-hub.dat"), &states), hub::StopReason::EndRecord);
    EXPECT_GT(states, 0);
}

TEST_F(WindowLink, UnattendedShowsNoDataWhileTheDeviceIsGoneAndCarriesOnWhenItIsBack) {
    auto first = std::make_unique<SimHub>(dir, QStringList{"--vanish-after", "10", "--event-every", "2"});
    ASSERT_FALSE(first->link.isEmpty());
    w.SBRiceviClick(fields(first->link, true, dir.filePath("guard"), true));
    ASSERT_TRUE(w.state().acquiring());
    for (int i = 0; i < 60 && !control<QTimer>(w, "TimerReopen")->isActive(); ++i) QTest::qWait(100);
    ASSERT_TRUE(control<QTimer>(w, "TimerReopen")->isActive());
    EXPECT_EQ(control<QTimer>(w, "TimerReopen")->interval(), 2000);
    EXPECT_FALSE(control<QLabel>(w, "LNoData")->isHidden());
    EXPECT_EQ(control<QLabel>(w, "LNoData")->text(), "NO    DATA");
    EXPECT_FALSE(control<QTimer>(w, "TimerComSet")->isActive() || control<QTimer>(w, "TimerComDati")->isActive());
    EXPECT_FALSE(w.port.connected());
    EXPECT_EQ(errorsShown(), 0); // nobody to click a message away
    const long long counted = control<QLabel>(w, "LCounter")->text().toLongLong();
    EXPECT_GT(counted, 0);
    first.reset();

    SimHub second(dir, {"--event-every", "2"});
    ASSERT_FALSE(second.link.isEmpty());
    for (int i = 0; i < 80 && !(control<QLabel>(w, "LNoData")->isHidden() && control<QLabel>(w, "LCounter")->text().toLongLong() > counted + 3); ++i)
        QTest::qWait(100);
    EXPECT_TRUE(control<QLabel>(w, "LNoData")->isHidden());
    EXPECT_GT(control<QLabel>(w, "LCounter")->text().toLongLong(), counted + 3);
    EXPECT_TRUE(w.port.connected());
    EXPECT_FALSE(control<QTimer>(w, "TimerReopen")->isActive());
    w.FermaRic(false);
    EXPECT_FALSE(w.state().acquiring());
    EXPECT_EQ(errorsShown(), 0);

    hub::DataFileReader r;
    double start;
    ASSERT_TRUE(r.open(dir.filePath("guard__PORT-hub.dat")));
    ASSERT_TRUE(r.readStart(start));
    hub::DataRecord rec;
    int settings = 0;
    while (r.next(rec)) settings += rec.type == hub::kRecordSettings;
    EXPECT_EQ(r.stopReason(), hub::StopReason::EndRecord);
    EXPECT_EQ(settings, 2);
}

TEST_F(WindowLink, UnattendedStartWaitsForAMissingDevice) {
    const QString link = dir.filePath("hub");
    w.SBRiceviClick(fields(link, true, dir.filePath("late"), true));
    ASSERT_TRUE(w.state().acquiring());
    EXPECT_EQ(errorsShown(), 0);
    EXPECT_TRUE(control<QTimer>(w, "TimerReopen")->isActive());
    EXPECT_FALSE(control<QLabel>(w, "LNoData")->isHidden());
    SimHub sim(dir, {"--event-every", "2"});
    ASSERT_EQ(sim.link, link);
    for (int i = 0; i < 80 && control<QLabel>(w, "LCounter")->text().toLongLong() < 3; ++i) QTest::qWait(100);
    EXPECT_GE(control<QLabel>(w, "LCounter")->text().toLongLong(), 3);
    EXPECT_TRUE(control<QLabel>(w, "LNoData")->isHidden());
    w.FermaRic(false);
    int states = 0;
    EXPECT_EQ(scan(dir.filePath("late__PORT-hub.dat"), &states), hub::StopReason::EndRecord);
    EXPECT_GT(states, 0);
}

TEST_F(WindowLink, UnattendedStopWhileTheDeviceIsGoneEndsEverything) {
    w.SBRiceviClick(fields(dir.filePath("absent"), true, dir.filePath("idle"), true));
    ASSERT_TRUE(w.state().acquiring());
    ASSERT_TRUE(control<QTimer>(w, "TimerReopen")->isActive());
    w.FermaRic(false);
    EXPECT_FALSE(w.state().acquiring());
    EXPECT_FALSE(control<QTimer>(w, "TimerReopen")->isActive() || control<QTimer>(w, "TimerComSet")->isActive() || control<QTimer>(w, "TimerComDati")->isActive());
    EXPECT_TRUE(control<QLabel>(w, "LNoData")->isHidden());
    EXPECT_EQ(errorsShown(), 0);
    int states = -1;
    EXPECT_EQ(scan(dir.filePath("idle__PORT-absent.dat"), &states), hub::StopReason::EndRecord);
    EXPECT_EQ(states, 0);
}

TEST_F(WindowLink, RecordingOffWritesNoFile) {
    SimHub sim(dir, {"--silent-after", "3"});
    ASSERT_FALSE(sim.link.isEmpty());
    hub::DialogSeam::push("ricevi", QDialog::Accepted);
    w.SBRiceviClick(fields(sim.link, false, dir.filePath("none")));
    ASSERT_TRUE(w.state().acquiring());
    EXPECT_FALSE(control<QPushButton>(w, "SBClear")->isHidden()); // LED reset offered when not recording
    EXPECT_EQ(control<QLabel>(w, "NomeArch")->text(), "");
    w.FermaRic(false);
    EXPECT_TRUE(QDir(dir.path()).entryList({"*.dat"}).isEmpty());
}
