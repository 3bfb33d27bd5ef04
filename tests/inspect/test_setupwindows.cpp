#include "common/DialogSeam.h"
#include "common/RxSwitch.h"
#include "monitor/settings/FVisSetupSW.h"
#include "monitor/settings/FVisSetupTC.h"

#include <QDir>
#include <QImage>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace hub;

namespace {
// Screenshots for a person to look at; the tests also read pixels from them.
QImage shoot(QWidget* w, const QString& name) {
    const QImage img = w->grab().toImage();
    const QString dir = QDir::temp().filePath(QStringLiteral("hub-inspect-shots"));
    QDir().mkpath(dir);
    img.save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
    return img;
}

bool isHighlighted(const QLabel* l) {
    return l->font().bold() && l->palette().color(QPalette::Disabled, QPalette::WindowText) ==
                                   QColor(0x80, 0x00, 0x00) &&
           l->palette().color(QPalette::Active, QPalette::WindowText) == QColor(0x80, 0x00, 0x00);
}
bool isGrey(const QLabel* l) {
    return !l->font().bold() &&
           l->palette().color(QPalette::Disabled, QPalette::WindowText) == QColor(0x80, 0x80, 0x80);
}

// Pixels of a colour inside a widget's area of the screenshot.
int countColour(const QImage& img, const QWidget* w, const QWidget* top, QRgb colour) {
    const QRect r(w->mapTo(top, QPoint(0, 0)), w->size());
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if ((img.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF)) ++n;
    return n;
}

bool cp_hidden(const TVisSetupTC& w, int i) { return w.couples[i].disabled->isHidden(); }

// Text is antialiased: count pixels close to the colour.
int countNear(const QImage& img, const QWidget* w, const QWidget* top, QColor c, int tol = 40) {
    const QRect r(w->mapTo(top, QPoint(0, 0)), w->size());
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor p = img.pixelColor(x, y);
            if (std::abs(p.red() - c.red()) <= tol && std::abs(p.green() - c.green()) <= tol &&
                std::abs(p.blue() - c.blue()) <= tol)
                ++n;
        }
    return n;
}

std::array<std::uint8_t, 70> tcRecord() {
    std::array<std::uint8_t, 70> tc{};
    for (int c = 0; c < 4; ++c) tc[38 + c] = 1;
    return tc;
}
} // namespace

TEST(SetupSwWindow, RowsForAllBitsClearAndAllSet) {
    struct Case {
        std::uint8_t options;
        QStringList highlighted;
    } cases[] = {
        {0x00, {"Mem. Al.", "Leds", "Last", "First", "Test", "Count", "Cross", "Internal"}},
        {0xFF, {"OFF", "OFF", "OFF", "OFF", "Operate", "Security", "Direct", "External"}},
        {0x5A, {"Mem. Al.", "OFF", "Last", "OFF", "Operate", "Count", "Direct", "Internal"}},
    };
    for (const Case& c : cases) {
        TVisSetupSW w;
        EXPECT_EQ(w.size(), QSize(435, 425));
        EXPECT_EQ(w.windowTitle(), "SETUP");
        std::array<std::uint8_t, 9> sw{};
        sw[8] = c.options;
        w.fill(sw, QStringLiteral("SW: v.1 (TEST)"));
        EXPECT_EQ(w.PName->text(), "SW: v.1 (TEST)");
        EXPECT_FALSE(w.PA->isEnabled());
        QStringList shown;
        for (int i = 0; i < 8; ++i) {
            const auto& row = w.rows[i];
            const bool on = (c.options >> i) & 1;
            EXPECT_EQ(row.sw->isOn(), on) << i;
            const QLabel* hi = on ? row.on : row.off;
            const QLabel* lo = on ? row.off : row.on;
            EXPECT_TRUE(isHighlighted(hi)) << i;
            EXPECT_TRUE(isGrey(lo)) << i;
            shown << hi->text();
        }
        EXPECT_EQ(shown, c.highlighted) << int(c.options);
        const QImage img = shoot(&w, QStringLiteral("setup-sw-%1").arg(c.options, 2, 16, QLatin1Char('0')));
        // The highlighted labels really are drawn in #800000 in the picture.
        for (int i = 0; i < 8; ++i) {
            const auto& row = w.rows[i];
            const bool on = (c.options >> i) & 1;
            EXPECT_GT(countColour(img, on ? row.on : row.off, &w, qRgb(0x80, 0, 0)), 5) << i;
            EXPECT_EQ(countColour(img, on ? row.off : row.on, &w, qRgb(0x80, 0, 0)), 0) << i;
        }
    }
}

TEST(SetupSwWindow, NamesAndTurningBackAndForth) {
    TVisSetupSW w;
    const char* names[] = {"SwMem",  "LMemOFF",      "LMemON",     "SwInternal", "LInternalOFF",
                           "LInternalON", "SwCross", "LCrossOFF", "LCrossON",   "SBEXIT"};
    for (const char* n : names) EXPECT_NE(w.findChild<QWidget*>(n), nullptr) << n;
    std::array<std::uint8_t, 9> sw{};
    sw[8] = 0x80;
    w.fill(sw, "x");
    sw[8] = 0x00;
    w.fill(sw, "x");
    EXPECT_TRUE(isHighlighted(w.rows[7].off));
    EXPECT_TRUE(isGrey(w.rows[7].on));
}

TEST(SetupSwWindow, ExitAndEscapeClose) {
    TVisSetupSW w;
    w.show();
    ASSERT_TRUE(w.isVisible());
    QTest::mouseClick(w.SBEXIT, Qt::LeftButton);
    EXPECT_FALSE(w.isVisible());
    w.show();
    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_FALSE(w.isVisible());
}

TEST(SetupTcWindow, SpeedFactorAndHighSpeedLabels) {
    struct Case {
        std::uint8_t speed;
        const char* one;
        bool highSpeed;
    } cases[] = {{0, "0.100", false}, {1, "0.050", true}, {2, "0.025", true}};
    for (const Case& c : cases) {
        TVisSetupTC w;
        auto tc = tcRecord();
        tc[43] = c.speed;
        w.fill(tc, "TC:HUB (v.0)");
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(w.couples[i].one->text(), c.one);
            EXPECT_EQ(w.couples[i].more->text(), c.one);
        }
        ASSERT_NE(w.couples[0].highSpeed, nullptr);
        ASSERT_NE(w.couples[1].highSpeed, nullptr);
        EXPECT_EQ(w.couples[2].highSpeed, nullptr);
        EXPECT_EQ(w.couples[3].highSpeed, nullptr);
        EXPECT_EQ(w.findChild<QLabel*>("LHSpeedC"), nullptr);
        EXPECT_EQ(w.findChild<QLabel*>("LHSpeedD"), nullptr);
        EXPECT_EQ(!w.couples[0].highSpeed->isHidden(), c.highSpeed);
        EXPECT_EQ(!w.couples[1].highSpeed->isHidden(), c.highSpeed);
        const QImage img = shoot(&w, QStringLiteral("setup-tc-speed%1").arg(c.speed));
        // Red "High Speed" is drawn under A and B only, and only at high speed.
        for (int i = 0; i < 4; ++i) {
            const int red = countColour(img, w.couples[i].set2, &w, qRgb(0xFF, 0, 0));
            if (c.highSpeed && i < 2)
                EXPECT_GT(red, 10) << i;
            else
                EXPECT_EQ(red, 0) << i;
        }
    }
}

TEST(SetupTcWindow, AlarmPresenceAndSynchronisation) {
    TVisSetupTC w;
    EXPECT_EQ(w.size(), QSize(601, 463));
    auto tc = tcRecord();
    tc[10] = 20;
    tc[11] = 0;
    tc[38] = 1;
    tc[39] = 0;
    tc[40] = 1;
    tc[41] = 0;
    tc[42] = 7;
    tc[6] = 0x3F; // every option of couple A
    w.fill(tc, "  TC:AB (v.2) ");
    EXPECT_EQ(w.couples[0].alarm->text(), "1.0");
    EXPECT_EQ(w.couples[1].alarm->text(), "0.0");
    EXPECT_EQ(w.PName->text(), "TC:AB (v.2)  ()");
    EXPECT_EQ(w.couples[0].dir->text(), "Cross");
    EXPECT_EQ(w.couples[0].dbe->text(), "Beams ON when in alarm");
    EXPECT_EQ(w.couples[2].dir->text(), "Direct");
    const bool present[] = {true, false, true, false};
    for (int i = 0; i < 4; ++i) {
        const auto& cp = w.couples[i];
        EXPECT_EQ(cp.panel->objectName(), QString("P") + QChar('A' + i));
        EXPECT_EQ(cp.set1->isHidden(), !present[i]) << i;
        EXPECT_EQ(cp.set2->isHidden(), !present[i]) << i;
        EXPECT_EQ(cp.set3->isHidden(), !present[i]) << i;
        EXPECT_FALSE(cp.letter->isHidden());
        EXPECT_EQ(cp.disabled->text(), " D I S A B L E D ");
        EXPECT_EQ(cp.panel->size(), QSize(145, 360));
    }
    const QImage img = shoot(&w, "setup-tc-presence-1010");
    // The grey letters and their black shadow show only where the panels are hidden.
    for (int i = 0; i < 4; ++i) {
        const int grey = countColour(img, w.couples[i].disabled, &w, qRgb(0x80, 0x80, 0x80));
        const int black = countColour(img, w.couples[i].disabled, &w, qRgb(0, 0, 0));
        if (present[i]) {
            EXPECT_TRUE(cp_hidden(w, i)) << i;
            EXPECT_GT(countNear(img, w.couples[i].dir, &w, QColor(0, 0, 0x80)), 10) << i;
        } else {
            EXPECT_GT(grey, 100) << i;
            EXPECT_GT(black, 100) << i;
        }
    }
}

TEST(SetupTcWindow, LocaleDecimalSeparator) {
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));
    TVisSetupTC w;
    auto tc = tcRecord();
    tc[13] = 20;
    w.fill(tc, "TC:");
    QLocale::setDefault(saved);
    EXPECT_EQ(w.couples[3].alarm->text(), "1,0");
    EXPECT_EQ(w.couples[3].one->text(), "0,100");
}

TEST(SetupWindows, ShownModallyThroughTheSeam) {
    DialogSeam::clear();
    DialogSeam::push("setup-sw", QDialog::Rejected);
    VisuaSetup_SW(nullptr, {}, "SW: v.0");
    DialogSeam::push("setup-tc", QDialog::Rejected);
    VisuaSetup_TC(nullptr, tcRecord(), "TC:");
    EXPECT_EQ(DialogSeam::pending(), 0);
}
