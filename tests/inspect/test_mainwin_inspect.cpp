#include "common/DialogSeam.h"
#include "mainwindow.h"
#include "monitor/datafile.h"
#include "monitor/display/Barra.h"

#include <QDialog>
#include <cstring>
#include <vector>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using mainwin_test::control;

using namespace hub;

TEST(MainWindowSetup, OpensTheWindowOfTheHubKindReceivedLast) {
    struct Case {
        const char* versHub;
        int swShown;
        int tcShown;
    } cases[] = {
        {"HUB", 0, 0}, // nothing received since the reset
        {"SW: v.1 (TEST)", 1, 0},
        {"TC:AB (v.2)", 0, 1},
        {"HUB", 0, 0}, // a block, then the display reset
    };
    for (const Case& c : cases) {
        DialogSeam::clear();
        mainwin_test::QuietWindow w;
        std::array<std::uint8_t, kTcBlockSize> tc{};
        std::memcpy(tc.data() + 44, "AB      ", 8);
        if (c.swShown) w.RiceviSet_SW(0xC1, {});
        if (c.tcShown) w.RiceviSet_TC(0x02, tc);
        if (&c == &cases[3]) {
            w.RiceviSet_TC(0x02, tc);
            w.AzzeraVideo(false);
        }
        EXPECT_EQ(control<QLabel>(w, "LVersHUB")->text(), QLatin1String(c.versHub));
        DialogSeam::push("setup-sw", QDialog::Rejected);
        DialogSeam::push("setup-tc", QDialog::Rejected);
        QTest::mouseClick(control<QPushButton>(w, "BSetup"), Qt::LeftButton);
        EXPECT_EQ(DialogSeam::take("setup-sw").has_value(), c.swShown == 0) << c.versHub;
        EXPECT_EQ(DialogSeam::take("setup-tc").has_value(), c.tcShown == 0) << c.versHub;
    }
    DialogSeam::clear();
}

// A loaded recording decodes its blocks on the hub state alone: the kind that
// "Setup" shows is the one of the file's last block, SW or TC, a TC hub of
// version 0 included (its kind byte is zero).
TEST(MainWindowSetup, AfterLoadingARecordingOpensTheWindowOfItsLastBlock) {
    QTemporaryDir dir;
    std::uint8_t sw[9] = {}, tc[70] = {};
    std::memcpy(tc + 44, "AB      ", 8);
    struct Case {
        const char* what;
        std::vector<std::pair<std::uint8_t, const std::uint8_t*>> blocks;
        bool swShown, tcShown;
    } cases[] = {
        {"no block", {}, false, false},
        {"SW", {{0x41, sw}}, true, false},
        {"TC version 0", {{0x00, tc}}, false, true},
        {"TC then SW", {{0x02, tc}, {0x41, sw}}, true, false},
        {"SW then TC", {{0x41, sw}, {0x02, tc}}, false, true},
    };
    for (const Case& c : cases) {
        const QString path = dir.filePath(QString::fromLatin1(c.what) + ".dat");
        {
            DataFileWriter wr;
            ASSERT_TRUE(wr.create(path));
            ASSERT_TRUE(wr.writeStartEnd(46000.5));
            for (const auto& [kind, block] : c.blocks) ASSERT_TRUE(wr.writeSettings(46000.5, kind, block));
        }
        DialogSeam::clear();
        mainwin_test::QuietWindow w;
        DialogSeam::push("open-file", path);
        w.BOpenFileClick();
        ASSERT_EQ(w.state().recording, path) << c.what;
        DialogSeam::push("setup-sw", QDialog::Rejected);
        DialogSeam::push("setup-tc", QDialog::Rejected);
        w.BSetupClick();
        EXPECT_EQ(!DialogSeam::take("setup-sw").has_value(), c.swShown) << c.what;
        EXPECT_EQ(!DialogSeam::take("setup-tc").has_value(), c.tcShown) << c.what;
    }
    DialogSeam::clear();
}

namespace {
hub::TMonitor* useMonitor(hub::TAnalisiBarre& w) { return control<hub::TMonitor>(w, "Monitor1"); }
} // namespace

TEST(MainWindowChangeList, ClickCodesAreClearedWhenTheListCloses) {
    QTemporaryDir dir;
    const QString path = dir.filePath("live.dat");
    // The recording is still open for writing, as during an acquisition.
    DataFileWriter writer;
    ASSERT_TRUE(writer.create(path));
    ASSERT_TRUE(writer.writeStartEnd(46000.5));
    ASSERT_TRUE(writer.writeState(46000.6, StateRecord{0, 0, 0, 0, 0, 0x20}));

    struct Case {
        const char* what;
        QString nomeArch;
        const char* barra;
        const char* led;
        bool listShown;
        bool errorShown;
    } cases[] = {
        {"recording in use", path, "4", "10", true, false},
        {"no recording in use", "", "4", "10", false, false},
        {"no element clicked", path, "", "", false, false},
        {"file gone", dir.filePath("gone.dat"), "4", "10", false, true},
    };
    for (const Case& c : cases) {
        DialogSeam::clear();
        mainwin_test::QuietWindow w;
        hub::TMonitor* mon = useMonitor(w);
        w.startAs(MainWindowState::Language::English, c.nomeArch);
        mon->model().clickBarra = QString::fromLatin1(c.barra);
        mon->model().clickLed = QString::fromLatin1(c.led);
        mon->model().colour = colour::White;
        DialogSeam::push("change-list", QDialog::Accepted);
        DialogSeam::push("error", true);
        w.Monitor1Click();
        EXPECT_EQ(!DialogSeam::take("change-list").has_value(), c.listShown) << c.what;
        EXPECT_EQ(!DialogSeam::take("error").has_value(), c.errorShown) << c.what;
        if (c.listShown) {
            EXPECT_EQ(mon->model().clickBarra, "") << c.what;
            EXPECT_EQ(mon->model().clickLed, "") << c.what;
            EXPECT_EQ(mon->model().colour, colour::Silver) << c.what;
        } else {
            // Nothing was listed: the codes stay as the click left them.
            EXPECT_EQ(mon->model().clickBarra, c.barra) << c.what;
            EXPECT_EQ(mon->model().clickLed, c.led) << c.what;
        }
    }
    EXPECT_TRUE(writer.isOpen());
    DialogSeam::clear();
}

TEST(MainWindowChangeList, ClickingALedOpensTheListEachTime) {
    QTemporaryDir dir;
    const QString path = dir.filePath("rec.dat");
    DataFileWriter writer;
    ASSERT_TRUE(writer.create(path));
    ASSERT_TRUE(writer.writeStartEnd(46000.5));
    writer.close();

    DialogSeam::clear();
    mainwin_test::QuietWindow w;
    hub::TMonitor* mon = control<hub::TMonitor>(w, "Monitor1");
    w.startAs(MainWindowState::Language::English, path);
    // Barrier 4 and its Tamp. LED as the settings would show them.
    mon->model().barrier(4).visible = true;
    mon->model().led(4, 10).visible = true;
    mon->refresh();
    const Geometry g = mon->model().ledRect(4, 10);
    const QPoint centre(g.left + g.width / 2, g.top + g.height / 2);
    for (int click = 1; click <= 2; ++click) {
        DialogSeam::push("change-list", QDialog::Accepted);
        QTest::mouseClick(mon, Qt::LeftButton, {}, centre);
        EXPECT_EQ(DialogSeam::pending(), 0) << "click " << click;
        // Cleared on close, so a click on the background now finds no element.
        EXPECT_EQ(mon->model().clickBarra, "") << "click " << click;
        EXPECT_EQ(mon->model().clickLed, "") << "click " << click;
    }
    DialogSeam::clear();
}
