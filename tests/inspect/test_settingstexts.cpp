#include "monitor/settings/settingsdecoders.h"
#include "monitor/settings/settingstexts.h"

#include <gtest/gtest.h>

using namespace hub;

namespace {
using Tc = std::array<std::uint8_t, 70>;
const QLocale kC(QLocale::C);
} // namespace

TEST(SettingsTexts, EachSwSwitchFollowsItsOwnBit) {
    std::array<std::uint8_t, 9> sw{};
    for (int bit = 0; bit < 8; ++bit) {
        sw[8] = static_cast<std::uint8_t>(1u << bit);
        const SwSetupTexts t = swSetupTexts(sw, "SW: v.1");
        for (int row = 0; row < 8; ++row)
            EXPECT_EQ(t.on[row], row == bit) << "bit " << bit << " row " << row;
    }
    sw.fill(0xFF);
    sw[8] = 0;
    const SwSetupTexts off = swSetupTexts(sw, " SW: v.3 (TEST) ");
    for (bool on : off.on) EXPECT_FALSE(on); // the other bytes do not matter
    EXPECT_EQ(off.name, " SW: v.3 (TEST) "); // shown unchanged
}

TEST(SettingsTexts, DelaysFollowTheSpeedFactor) {
    struct Case {
        std::uint8_t speed;
        std::uint8_t v;
        int k;
        const char* text;
        bool highSpeed;
    } cases[] = {
        {0, 0, 100, "0.100", false},  {1, 0, 50, "0.050", true},
        {2, 0, 25, "0.025", true},    {7, 0, 100, "0.100", true}, // unknown: K 100, form labels stay
        {0, 255, 100, "12.850", false}, {2, 255, 25, "3.213", true}, // 3.2125 rounds up
        {2, 1, 25, "0.038", true},    {1, 1, 50, "0.075", true},
        {0, 18, 100, "1.000", false},
    };
    for (const Case& c : cases) {
        Tc tc{};
        tc[43] = c.speed;
        tc[30] = c.v;  // one beam, couple A
        tc[37] = c.v;  // more beams, couple D
        tc[38] = 1;
        const TcSetupTexts t = tcSetupTexts(tc, "TC:X", kC);
        EXPECT_EQ(t.k, c.k) << int(c.speed);
        EXPECT_EQ(t.highSpeedShown, c.highSpeed) << int(c.speed);
        EXPECT_EQ(t.couples[0].one, c.text) << int(c.speed) << "/" << int(c.v);
        EXPECT_EQ(t.couples[3].more, c.text) << int(c.speed) << "/" << int(c.v);
        // The bytes left at zero give the zero delay of that speed.
        EXPECT_EQ(t.couples[1].one, delayText(0, c.k, kC));
    }
}

TEST(SettingsTexts, AlarmTimesInTenths) {
    struct Case {
        std::uint8_t a;
        const char* text;
    } cases[] = {{20, "1.0"}, {0, "0.0"}, {1, "0.1"}, {3, "0.2"}, {255, "12.8"}, {200, "10.0"}};
    for (const Case& c : cases) {
        Tc tc{};
        tc[12] = c.a; // couple C
        EXPECT_EQ(tcSetupTexts(tc, "", kC).couples[2].alarm, c.text) << int(c.a);
    }
}

TEST(SettingsTexts, NumbersUseTheLocaleDecimalSeparator) {
    const QLocale it(QLocale::Italian, QLocale::Italy);
    Tc tc{};
    tc[10] = 20;
    const TcSetupTexts t = tcSetupTexts(tc, "TC:", it);
    EXPECT_EQ(t.couples[0].alarm, "1,0");
    EXPECT_EQ(t.couples[0].one, "0,100");
    EXPECT_EQ(delayText(255, 100, it), "12,850"); // no thousands grouping either
}

TEST(SettingsTexts, OptionBitsReplaceTheFormTexts) {
    struct Case {
        std::uint8_t bit;
        QString TcCoupleTexts::*field;
        const char* clear;
        const char* set;
    } cases[] = {
        {0x04, &TcCoupleTexts::dir, "Direct", "Cross"},
        {0x20, &TcCoupleTexts::dis, "Disqual. OFF", "Disqual. ON"},
        {0x08, &TcCoupleTexts::ald, "Alarm OFF (if disq.)", "Alarm ON (if disq.)"},
        {0x02, &TcCoupleTexts::led, "Leds OFF", "Leds ON"},
        {0x01, &TcCoupleTexts::mem, "Memory OFF", "Memory ON"},
        {0x10, &TcCoupleTexts::dbe, "Beams OFF when in alarm", "Beams ON when in alarm"},
    };
    for (const Case& c : cases) {
        for (int couple = 0; couple < 4; ++couple) {
            Tc tc{};
            // Every other bit set, and the bits 0x40/0x80 that mean nothing.
            for (int i = 0; i < 4; ++i) tc[6 + i] = static_cast<std::uint8_t>(0xFF & ~c.bit);
            tc[6 + couple] = c.bit;
            const TcSetupTexts t = tcSetupTexts(tc, "", kC);
            for (int i = 0; i < 4; ++i)
                EXPECT_EQ(t.couples[i].*c.field, i == couple ? c.set : c.clear)
                    << "bit " << int(c.bit) << " couple " << i;
        }
    }
}

TEST(SettingsTexts, PresenceAndSynchronisation) {
    Tc tc{};
    tc[38] = 1;
    tc[39] = 0;
    tc[40] = 1;
    tc[41] = 0;
    tc[42] = 7;
    TcSetupTexts t = tcSetupTexts(tc, "\t TC:AB (v.2) \x01", kC);
    EXPECT_TRUE(t.couples[0].present);
    EXPECT_FALSE(t.couples[1].present);
    EXPECT_TRUE(t.couples[2].present);
    EXPECT_FALSE(t.couples[3].present);
    EXPECT_EQ(t.syncro, "");
    EXPECT_EQ(t.name, "TC:AB (v.2)  ()");

    const char* names[] = {"2 Syncro", "No Syncro", "4 Syncro", "8 Syncro"};
    for (std::uint8_t v = 0; v < 4; ++v) {
        tc[42] = v;
        t = tcSetupTexts(tc, "TC:AB (v.2)", kC);
        EXPECT_EQ(t.name, QStringLiteral("TC:AB (v.2)  (") + names[v] + ")");
    }
    tc[41] = 0xFF; // any non-zero value means present
    EXPECT_TRUE(tcSetupTexts(tc, "", kC).couples[3].present);
}

TEST(SettingsTexts, TrimRemovesBlanksAndControlsAtBothEndsOnly) {
    EXPECT_EQ(trimBlanksAndControls(QString::fromLatin1("\x01\x1f  A \x02 B\r\n ")), "A \x02 B");
    EXPECT_EQ(trimBlanksAndControls("   "), "");
    EXPECT_EQ(trimBlanksAndControls(""), "");
}
