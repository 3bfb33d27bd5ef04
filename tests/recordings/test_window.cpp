// The main window's recording handlers: loading a file into the window, bad
// files, opening during an acquisition, the viewer, live records and blocks.
#include "fixtures.h"

#include "common/DialogSeam.h"
#include "common/tdatetime.h"
#include "mainwindow.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using mainwin_test::control;

using hub::DialogSeam;
using namespace hub;

namespace {

const std::array<std::uint8_t, kSwBlockSize> kSw = {0xFF, 0x0F, 0x12, 0x34, 0x56, 0x78,
                                                    0x03, 0xE4, 0x00};

// Heights the window took, to see it shrink to the gauge row while loading.
class Heights : public QObject {
public:
    std::vector<int> seen;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Resize) seen.push_back(static_cast<QResizeEvent*>(e)->size().height());
        return false;
    }
};

class Window : public ::testing::Test {
protected:
    void SetUp() override {
        DialogSeam::clear();
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
        QApplication::processEvents();
        height = w.height();
    }
    void TearDown() override { DialogSeam::clear(); }

    QString file(const std::vector<std::vector<std::uint8_t>>& recs, size_t cut = 0) {
        const QString path = dir.filePath(QStringLiteral("rec%1.dat").arg(++files));
        rectest::writeFile(path, recs, cut);
        return path;
    }
    void open(const QString& path) {
        DialogSeam::push(QStringLiteral("open-file"), path);
        QTest::mouseClick(control<QPushButton>(w, "BOpenFile"), Qt::LeftButton);
    }
    void expectRestored() {
        EXPECT_EQ(w.height(), height);
        EXPECT_FALSE(control<QProgressBar>(w, "ProgRead")->isVisible());
        EXPECT_TRUE(control<QFrame>(w, "PanelFlag")->isVisible());
        EXPECT_TRUE(control<QFrame>(w, "PanelTit")->isVisible());
        EXPECT_TRUE(control<QFrame>(w, "PanelCom")->isVisible());
        EXPECT_TRUE(control<QFrame>(w, "PanelLogo")->isVisible());
    }
    MonitorModel& model() { return control<hub::TMonitor>(w, "Monitor1")->model(); }

    QTemporaryDir dir;
    int files = 0;
    mainwin_test::QuietWindow w;
    int height = 0;
};

StateRecord rec(std::uint8_t beams1, std::uint8_t status1) {
    StateRecord r{};
    r[0] = beams1;
    r[2] = status1;
    return r;
}

} // namespace

TEST_F(Window, OpenFileLoadsTheRecordingAndRestoresTheWindow) {
    const double start = toTDateTime(QDate(2026, 6, 12), QTime(14, 5, 9));
    const QString path = file({rectest::startEnd(start), rectest::settings(start, 0x41, kSw.data()),
                               rectest::state(start, rec(0x01, 0x00)),
                               rectest::state(start, rec(0x00, 0x02)),
                               rectest::state(start, rec(0x01, 0x02)), rectest::startEnd(start)});
    Heights heights;
    w.installEventFilter(&heights);
    open(path);
    w.removeEventFilter(&heights);

    EXPECT_TRUE(DialogSeam::shown().isEmpty()) << DialogSeam::shown().join('|').toStdString();
    expectRestored();
    EXPECT_NE(std::find(heights.seen.begin(), heights.seen.end(), 70), heights.seen.end());
    EXPECT_EQ(control<QLabel>(w, "LCounter")->text(), "3");
    EXPECT_EQ(control<QLabel>(w, "LStart")->text(), dateTimeText(start));
    EXPECT_EQ(control<QLabel>(w, "LVersHUB")->text(), "SW: v.1");
    EXPECT_EQ(control<QLabel>(w, "NomeArch")->text(), path);
    EXPECT_TRUE(control<QLabel>(w, "TextNomeArch")->isVisible());
    EXPECT_EQ(control<QFrame>(w, "PanelRicevi")->palette().color(QPalette::Window), QColor(0xC0, 0xC0, 0xC0));
    // A live window keeps its commands.
    EXPECT_TRUE(control<QPushButton>(w, "BOpenFile")->isVisible());
    EXPECT_TRUE(control<QPushButton>(w, "SBRicevi")->isVisible());
    // The model holds the whole file: beam 1 counted twice, Alarm once; couples
    // C and D were not declared.
    EXPECT_EQ(model().led(1, 1).count, 2);
    EXPECT_EQ(model().led(2, Led::Alarm).count, 1);
    EXPECT_TRUE(model().barrier(4).visible);
    EXPECT_FALSE(model().barrier(5).visible);
}

TEST_F(Window, BadFiles) {
    std::vector<std::uint8_t> unknown = rectest::startEnd(1);
    unknown[0] = 42;
    const auto sw = rectest::settings(1, 0x40, kSw.data());
    struct Case {
        const char* name;
        QString path;
        bool error;
        QString counter;
        bool idle;      // every barrier shown, silver
        int beam1Count; // ON count of beam 1 of barrier 1 afterwards
    } cases[] = {
        {"cannot be opened", dir.filePath("missing/none.dat"), true, "", false, 0},
        {"no start record", file({sw, rectest::state(1, rec(1, 0))}), false, "0", true, 0},
        {"unknown type in the middle",
         file({rectest::startEnd(1), sw, rectest::state(1, rec(1, 0)), rectest::state(1, rec(0, 0)),
               unknown, rectest::state(1, rec(1, 0))}),
         false, "2", true, 0},
        {"record cut short",
         file({rectest::startEnd(1), sw, rectest::state(1, rec(1, 0)), rectest::state(1, rec(0, 0)),
               rectest::state(1, rec(1, 0)), rectest::state(1, rec(0, 0))},
              7),
         false, "3", false, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DialogSeam::clear();
        control<QLabel>(w, "LCounter")->setText(QStringLiteral("before"));
        if (c.error) DialogSeam::push(QStringLiteral("error"), 1);
        open(c.path);
        expectRestored();
        if (c.error) {
            ASSERT_EQ(DialogSeam::shown().size(), 1);
            EXPECT_TRUE(DialogSeam::shown().front().startsWith("error: "));
            EXPECT_TRUE(DialogSeam::shown().front().contains(QString::fromLocal8Bit(std::strerror(ENOENT))))
                << DialogSeam::shown().front().toStdString();
            EXPECT_EQ(control<QLabel>(w, "LCounter")->text(), "before");
            continue;
        }
        EXPECT_TRUE(DialogSeam::shown().isEmpty()) << DialogSeam::shown().join('|').toStdString();
        EXPECT_EQ(control<QLabel>(w, "LCounter")->text(), c.counter);
        for (int b = 1; b <= 8; ++b)
            EXPECT_EQ(model().barrier(b).visible, c.idle || b <= 4) << b;
        if (c.idle) {
            EXPECT_EQ(model().led(1, 1).lens, colour::Silver);
            EXPECT_EQ(model().led(1, 1).count, 0);
            EXPECT_EQ(control<QLabel>(w, "LVersHUB")->text(), "HUB");
        } else {
            EXPECT_EQ(model().led(1, 1).count, c.beam1Count);
            EXPECT_EQ(model().led(1, 1).lens, colour::Lime);
        }
    }
}

TEST_F(Window, OpeningDuringAnAcquisitionStartsAViewer) {
    const QString path = file({rectest::startEnd(1), rectest::state(1, rec(1, 0))});
    const auto starts = [] { return DialogSeam::shown().filter(QStringLiteral("instance: ")); };
    mainwin_test::startAcquisition(w);
    ASSERT_TRUE(w.state().acquiring());
    control<QLabel>(w, "LCounter")->setText(QStringLiteral("17"));
    DialogSeam::push(QStringLiteral("instance"), true);
    open(QString()); // cancelled: nothing at all
    EXPECT_TRUE(starts().isEmpty());
    open(path);
    EXPECT_EQ(starts(), QStringList{"instance: " + QCoreApplication::applicationFilePath() + " " + path});
    // The running acquisition's window is untouched.
    EXPECT_EQ(control<QLabel>(w, "LCounter")->text(), "17");
    EXPECT_EQ(model().led(1, 1).count, 0);
    w.FermaRic(false);
}

TEST(WindowViewer, FirstPaintLoadsTheFileAndHidesTheCommands) {
    DialogSeam::clear();
    QTemporaryDir dir;
    const QString path = dir.filePath("v.dat");
    rectest::writeFile(path, {rectest::startEnd(2), rectest::settings(2, 0x40, kSw.data()),
                              rectest::state(2, rec(0x80, 0x80))});
    mainwin_test::QuietWindow w;
    mainwin_test::LoadCounter loads(w);
    w.startAs(hub::MainWindowState::Language::English, path);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    for (int i = 0; i < 5 && control<QLabel>(w, "LCounter")->text() != QLatin1String("1"); ++i) {
        w.repaint();
        QApplication::processEvents();
    }
    EXPECT_EQ(loads.count, 1);
    EXPECT_EQ(control<QLabel>(w, "LCounter")->text(), "1");
    EXPECT_EQ(control<hub::TMonitor>(w, "Monitor1")->model().led(1, 8).count, 1);
    EXPECT_EQ(control<hub::TMonitor>(w, "Monitor1")->model().led(2, Led::Standby).lens, colour::Aqua);
    EXPECT_FALSE(control<QPushButton>(w, "BOpenFile")->isVisible());
    EXPECT_FALSE(control<QFrame>(w, "PStat")->isVisible());
    EXPECT_TRUE(control<QPushButton>(w, "SBRicevi")->isHidden()); // itself, not only through its panel
    EXPECT_TRUE(control<QFrame>(w, "PanelFlag")->isVisible());
    EXPECT_TRUE(DialogSeam::shown().isEmpty());
}

TEST_F(Window, LiveRecordsAndBlocks) {
    w.hub.lastPort = QStringLiteral("ttyS0");
    std::array<std::uint8_t, kTcBlockSize> tc{};
    tc[0] = 0xC0;
    tc[38] = 1;
    std::memcpy(tc.data() + 44, "AB      ", 8);
    EXPECT_TRUE(w.RiceviSet_TC(0x02, tc));
    EXPECT_EQ(w.windowTitle(), "TC:AB PORT : ttyS0 --  ZEMBRA MONITOR HUB (V:1.7)");
    EXPECT_EQ(control<QLabel>(w, "LVersHUB")->text(), "TC:AB (v.2)");
    EXPECT_EQ(w.hub.tc, tc);

    const QString title = w.windowTitle();
    EXPECT_TRUE(w.RiceviSet_SW(0xC1, kSw));
    EXPECT_EQ(control<QLabel>(w, "LVersHUB")->text(), "SW: v.1 (TEST)");
    EXPECT_EQ(w.windowTitle(), title);

    struct Step {
        StateRecord r;
        bool beamSound, ledSound;
        int beeps; // total so far
    } steps[] = {
        {rec(0x01, 0x00), true, false, 1},  // a new beam interruption beeps
        {rec(0x01, 0x00), true, true, 1},   // nothing new
        {rec(0x01, 0x02), true, false, 1},  // status only, LED sound off
        {rec(0x01, 0x42), false, true, 2},  // tamper: LED sound on
        {rec(0x03, 0x42), false, false, 2}, // silent switches
    };
    const long long before = DialogSeam::beeps();
    for (const Step& s : steps) {
        w.RiceviDati(s.r, s.beamSound, s.ledSound);
        EXPECT_EQ(DialogSeam::beeps() - before, s.beeps);
    }
    EXPECT_EQ(model().led(1, 2).count, 1);
    EXPECT_EQ(model().led(1, Led::Tamper).lens, colour::Red);
}
