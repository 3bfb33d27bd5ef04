// Zoom selector, compact and expand, the resize check, the display reset and
// "Reset Leds" as the main window runs them.
#include "common/DialogSeam.h"
#include "mainwindow.h"
#include "monitor/datafile.h"
#include "monitor/display/zoom.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using mainwin_test::control;

using namespace hub;

namespace {

class Zoom : public ::testing::Test {
protected:
    void SetUp() override {
        DialogSeam::clear();
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    }
    // As if the user picked the item with this index.
    void choose(int index) {
        control<QComboBox>(w, "ComboZoom")->setCurrentIndex(index);
        emit control<QComboBox>(w, "ComboZoom")->activated(index);
    }
    QStringList items() const {
        QStringList l;
        for (int i = 0; i < control<QComboBox>(w, "ComboZoom")->count(); ++i) l << control<QComboBox>(w, "ComboZoom")->itemText(i);
        return l;
    }
    MonitorModel& model() { return control<hub::TMonitor>(w, "Monitor1")->model(); }
    void expectPanelsFollowTheMonitor() {
        EXPECT_EQ(control<QFrame>(w, "PanelFlag")->width(), control<hub::TMonitor>(w, "Monitor1")->x() + control<hub::TMonitor>(w, "Monitor1")->width() + 1);
        EXPECT_EQ(control<QFrame>(w, "PanelFlag")->height(), control<hub::TMonitor>(w, "Monitor1")->y() + control<hub::TMonitor>(w, "Monitor1")->height() + 1);
        EXPECT_EQ(control<QFrame>(w, "PanelTit")->y(), control<QFrame>(w, "PanelFlag")->y() + control<QFrame>(w, "PanelFlag")->height() + 2);
        EXPECT_EQ(control<QFrame>(w, "PanelCom")->x(), control<QFrame>(w, "PanelTit")->x() + control<QFrame>(w, "PanelTit")->width() + 2);
    }
    mainwin_test::QuietWindow w;
};

const QString kFull[] = {"Compact", "Zoom 1", "Zoom 2", "Zoom 3", "Zoom 4", "Zoom 5"};

} // namespace

TEST_F(Zoom, StartsFullAtDesignSize) {
    EXPECT_EQ(w.size(), QSize(570, 600));
    EXPECT_EQ(w.initialSize(), QSize(570, 600));
    EXPECT_EQ(control<hub::TMonitor>(w, "Monitor1")->DimeLed(), 29);
    EXPECT_EQ(control<QComboBox>(w, "ComboZoom")->currentText(), QLatin1String("Zoom 5"));
    expectPanelsFollowTheMonitor();
    // Everything of the title panel is inside the window.
    EXPECT_LE(control<QFrame>(w, "PanelTit")->y() + control<QFrame>(w, "PanelTit")->height(), w.height());
}

TEST_F(Zoom, EachZoomStepGivesItsWidthAndLedSize) {
    struct Case {
        int item, width, led;
    } cases[] = {{1, 232, 11}, {2, 272, 15}, {3, 312, 19}, {4, 352, 23}, {5, 570, 29}};
    for (const auto& c : cases) {
        choose(c.item);
        EXPECT_EQ(w.width(), c.width) << "Zoom " << c.item;
        EXPECT_EQ(control<hub::TMonitor>(w, "Monitor1")->DimeLed(), c.led) << "Zoom " << c.item;
        expectPanelsFollowTheMonitor();
        if (c.item < 5) {
            EXPECT_EQ(w.height(), w.titlePanelHeight()) << "Zoom " << c.item;
            EXPECT_EQ(control<QComboBox>(w, "ComboZoom")->itemText(0), ZoomSelector::kFiller);
        } else {
            EXPECT_EQ(w.size(), QSize(570, 600));
            EXPECT_EQ(control<QComboBox>(w, "ComboZoom")->itemText(0), QLatin1String("Compact"));
        }
    }
}

TEST_F(Zoom, FillerDoesNothing) {
    choose(2);
    const QSize zoomed = w.size();
    ASSERT_EQ(control<QComboBox>(w, "ComboZoom")->itemText(0), ZoomSelector::kFiller);
    choose(0);
    EXPECT_EQ(w.size(), zoomed);
    EXPECT_EQ(control<hub::TMonitor>(w, "Monitor1")->DimeLed(), 15);
    EXPECT_EQ(control<QComboBox>(w, "ComboZoom")->currentIndex(), 0);
    for (int j = 1; j <= 8; ++j) EXPECT_TRUE(model().led(1, j).visible);
    // and "Zoom 5" still brings the full view back
    choose(5);
    EXPECT_EQ(w.size(), QSize(570, 600));
    EXPECT_EQ(control<hub::TMonitor>(w, "Monitor1")->DimeLed(), 29);
    EXPECT_EQ(items(), QStringList(std::begin(kFull), std::end(kFull)));
}

TEST_F(Zoom, CompactThenExpandReturnsToTheFullView) {
    choose(0); // "Compact"
    EXPECT_EQ(items(), (QStringList{"Compact", "Expand", ZoomSelector::kFiller, ZoomSelector::kFiller,
                                    ZoomSelector::kFiller, ZoomSelector::kFiller}));
    EXPECT_EQ(control<QComboBox>(w, "ComboZoom")->currentIndex(), 0);
    EXPECT_EQ(w.width(), 570);
    EXPECT_EQ(w.height(), w.titlePanelHeight());
    EXPECT_LT(w.height(), 600);
    EXPECT_EQ(control<hub::TMonitor>(w, "Monitor1")->DimeLed(), 29);
    for (int k = 1; k <= 8; ++k) {
        EXPECT_FALSE(model().led(k, 1).visible);
        EXPECT_FALSE(model().led(k, 8).visible);
        EXPECT_EQ(model().led(k, Led::Alarm).geo.top, 1);
    }
    expectPanelsFollowTheMonitor();
    // The command panel is as short as the folded monitor; "Exit" still
    // covers none of the other commands.
    for (QWidget* c : {static_cast<QWidget*>(control<QFrame>(w, "PanelRicevi")), static_cast<QWidget*>(control<QPushButton>(w, "BOpenFile")),
                       static_cast<QWidget*>(control<QFrame>(w, "PStat"))})
        EXPECT_LE(c->geometry().bottom(), control<QPushButton>(w, "SBEXIT")->y()) << c->objectName().toStdString();
    EXPECT_LE(control<QPushButton>(w, "SBEXIT")->geometry().bottom(), control<QFrame>(w, "PanelCom")->height());

    // The compact window keeps its size whatever is asked...
    int nw = 400, nh = 300;
    EXPECT_TRUE(w.FormCanResize(nw, nh));
    EXPECT_EQ(nw, 570);
    EXPECT_EQ(nh, w.titlePanelHeight());
    EXPECT_EQ(w.minimumSize(), w.maximumSize());
    // ...and a filler chosen in compact mode goes back to "Compact".
    choose(3);
    EXPECT_EQ(control<QComboBox>(w, "ComboZoom")->currentText(), QLatin1String("Compact"));
    EXPECT_EQ(w.height(), w.titlePanelHeight());

    choose(1); // "Expand"
    EXPECT_EQ(items(), QStringList(std::begin(kFull), std::end(kFull)));
    EXPECT_EQ(control<QComboBox>(w, "ComboZoom")->currentIndex(), 5);
    EXPECT_EQ(w.size(), QSize(570, 600));
    EXPECT_EQ(control<hub::TMonitor>(w, "Monitor1")->DimeLed(), 29);
    for (int k = 1; k <= 8; ++k) EXPECT_TRUE(model().led(k, 1).visible);
    EXPECT_GT(model().led(1, Led::Alarm).geo.top, model().led(1, 1).geo.top);
    EXPECT_NE(w.minimumSize(), w.maximumSize());
    expectPanelsFollowTheMonitor();
}

TEST_F(Zoom, ResizeCheckPicksTheLedSizeFromTheWidth) {
    struct Case {
        int width, led; // 0: the current size stays
    } cases[] = {{22, 0},   {23, 10},  {223, 10},  {224, 11},  {233, 11},
                 {234, 12}, {403, 28}, {404, 29}, {10022, 29}, {10023, 0}};
    // Through the window, so that its panels follow: 284 px give LED size 17.
    const auto startAt17 = [this] {
        int sw = 284, sh = 345;
        w.FormCanResize(sw, sh);
        ASSERT_EQ(control<hub::TMonitor>(w, "Monitor1")->DimeLed(), 17);
    };
    for (const auto& c : cases) {
        startAt17();
        int nw = c.width, nh = 345;
        EXPECT_TRUE(w.FormCanResize(nw, nh));
        EXPECT_EQ(nw, c.width); // accepted as asked
        EXPECT_EQ(nh, 345);
        EXPECT_EQ(control<hub::TMonitor>(w, "Monitor1")->DimeLed(), c.led ? c.led : 17) << "width " << c.width;
        EXPECT_TRUE(control<hub::TMonitor>(w, "Monitor1")->isVisibleTo(&w));
        expectPanelsFollowTheMonitor();
    }
    // The same width never touches the monitor.
    startAt17();
    int nw = w.width(), nh = 100;
    EXPECT_TRUE(w.FormCanResize(nw, nh));
    EXPECT_EQ(control<hub::TMonitor>(w, "Monitor1")->DimeLed(), 17);
    EXPECT_EQ(nh, 100);
}

TEST_F(Zoom, ResizeCheckWhileExpandIsShownFitsTheMonitor) {
    choose(0); // Compact
    // The monitor unfolds while "Expand" is carried out: a resize check then.
    struct Probe : QObject {
        hub::TAnalisiBarre& w;
        explicit Probe(hub::TAnalisiBarre& win) : w(win) {}
        bool done = false, ok = false;
        int nw = 300, nh = 100, monitorWidth = 0, titleHeight = 0;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Resize && !done && w.state().zoom.text() == QLatin1String("Expand")) {
                done = true;
                ok = w.FormCanResize(nw, nh);
                monitorWidth = control<hub::TMonitor>(w, "Monitor1")->width();
                titleHeight = w.titlePanelHeight();
            }
            return false;
        }
    } probe(w);
    control<hub::TMonitor>(w, "Monitor1")->installEventFilter(&probe);
    choose(1); // "Expand"
    ASSERT_TRUE(probe.done);
    EXPECT_TRUE(probe.ok);
    EXPECT_EQ(probe.nw, probe.monitorWidth + 25);
    EXPECT_EQ(probe.nh, probe.titleHeight);
}

TEST_F(Zoom, DraggingTheWindowInAZoomedModeFollowsTheTable) {
    choose(2);
    w.resize(300, w.height()); // as the window manager would after a drag
    QApplication::processEvents();
    EXPECT_EQ(control<hub::TMonitor>(w, "Monitor1")->DimeLed(), 11 + (300 - 224) / 10);
    expectPanelsFollowTheMonitor();
}

TEST_F(Zoom, DisplayResetHidesOrShowsTheInstallation) {
    // A recording loaded, then an SW block.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("x.dat"));
    {
        DataFileWriter wr;
        ASSERT_TRUE(wr.create(path));
        ASSERT_TRUE(wr.writeStartEnd(46000.5));
    }
    DialogSeam::push(QStringLiteral("open-file"), path);
    w.BOpenFileClick();
    w.RiceviSet_SW(0x41, {});
    ASSERT_EQ(control<QLabel>(w, "LVersHUB")->text(), QLatin1String("SW: v.1"));
    ASSERT_EQ(w.state().settings, MainWindowState::SettingsKind::SW);
    ASSERT_EQ(control<QLabel>(w, "NomeArch")->text(), path);
    ASSERT_TRUE(control<QLabel>(w, "TextNomeArch")->isVisible());
    model().led(3, 4).SetLime();
    model().led(3, 4).SetRingWhite();
    model().led(3, 4).count = 7;

    w.AzzeraVideo(true);
    EXPECT_EQ(control<QLabel>(w, "LVersHUB")->text(), QLatin1String("HUB"));
    EXPECT_EQ(w.state().settings, MainWindowState::SettingsKind::None);
    EXPECT_TRUE(w.state().recording.isEmpty());
    EXPECT_TRUE(control<QLabel>(w, "NomeArch")->text().isEmpty());
    EXPECT_FALSE(control<QLabel>(w, "TextNomeArch")->isVisible());
    EXPECT_TRUE(control<hub::TMonitor>(w, "Monitor1")->isVisible());
    for (int k = 1; k <= 8; ++k) {
        EXPECT_FALSE(model().barrier(k).visible);
        EXPECT_FALSE(model().labBarre[k - 1].visible);
        EXPECT_FALSE(model().caps[k - 1].visible);
        EXPECT_FALSE(model().labVers[k - 1].visible);
    }
    for (int i = 1; i <= 4; ++i) {
        EXPECT_FALSE(model().bars[i - 1].visible);
        EXPECT_FALSE(model().labGruppi[i - 1].visible);
        for (int j = 1; j <= 8; ++j) EXPECT_FALSE(model().raggio(i, j).visible);
        EXPECT_TRUE(model().sepDark[i - 1].visible);
        EXPECT_TRUE(model().sepLight[i - 1].visible);
    }
    EXPECT_TRUE(model().labAlarm.visible);
    EXPECT_TRUE(model().labRaggi[0].visible);
    EXPECT_TRUE(model().labLetters[0].visible);
    EXPECT_TRUE(model().soundBeams.visible);
    EXPECT_TRUE(model().soundLeds.visible);

    w.AzzeraVideo(false);
    for (int k = 1; k <= 8; ++k) {
        EXPECT_TRUE(model().barrier(k).visible);
        EXPECT_TRUE(model().caps[k - 1].visible);
        for (int n = 1; n <= 14; ++n) {
            EXPECT_EQ(model().led(k, n).lens, colour::Silver);
            EXPECT_EQ(model().led(k, n).ring, colour::Gray);
            EXPECT_EQ(model().led(k, n).count, 0);
        }
    }
    for (int i = 1; i <= 4; ++i)
        for (int j = 1; j <= 8; ++j) EXPECT_TRUE(model().raggio(i, j).visible);
}

TEST_F(Zoom, DisplayResetInCompactModeKeepsBeamIndicatorsHidden) {
    choose(0);
    w.AzzeraVideo(false);
    for (int i = 1; i <= 4; ++i)
        for (int j = 1; j <= 8; ++j) EXPECT_FALSE(model().raggio(i, j).visible);
    EXPECT_EQ(w.height(), w.titlePanelHeight());
}

TEST_F(Zoom, ResetLedsButtonKeepsOnlyWhatIsOnNow) {
    control<QPushButton>(w, "SBClear")->show();
    LedModel& on = model().led(2, Led::Alarm);
    on.SetRed();
    on.SetRingWhite();
    on.count = 5;
    LedModel& off = model().led(2, 3);
    off.SetGreen();
    off.SetRingWhite();
    off.count = 4;
    QTest::mouseClick(control<QPushButton>(w, "SBClear"), Qt::LeftButton);
    EXPECT_EQ(on.count, 1);
    EXPECT_EQ(on.ring, colour::White);
    EXPECT_EQ(on.lens, colour::Red);
    EXPECT_EQ(off.count, 0);
    EXPECT_EQ(off.ring, colour::Gray);
    EXPECT_EQ(off.lens, colour::Green);
}
