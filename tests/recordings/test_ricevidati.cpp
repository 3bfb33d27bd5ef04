#include "fixtures.h"

#include "monitor/ricevidati.h"

#include <gtest/gtest.h>

using namespace hub;
using rectest::hex;

namespace {

struct Rig {
    MonitorModel m;
    HubState hub;
    Rig() { rectest::allInstalled(m, hub); }
    bool apply(const StateRecord& n, bool beam = false, bool led = false, bool compact = false) {
        return RiceviDati(m, hub, n, beam, led, compact);
    }
    LedModel& led(int k, int n) { return m.led(k, n); }
};

StateRecord withStatus(int couple, std::uint8_t status) {
    StateRecord r{};
    r[3 * (couple - 1) + 2] = status;
    return r;
}

} // namespace

TEST(RiceviDati, BlindAndStandbyPickTheirBarrier) {
    // Sentinel colour: a LED left untouched keeps it.
    constexpr Rgb Untouched = colour::Purple;
    struct Case {
        const char* name;
        std::uint8_t status;
        // Lens of Blind and Stb on barriers 1 and 2 after the record.
        Rgb blind1, stb1, blind2, stb2;
        Rgb alarm1, alarm2; // shows whether the barrier's status LEDs were touched
    } cases[] = {
        {"0x81 blinds the first; the second sees nothing left", 0x81, colour::Red, colour::Navy,
         Untouched, Untouched, colour::Maroon, Untouched},
        {"0x01 blinds the second; the first keeps its Blind", 0x01, Untouched, colour::Navy,
         colour::Red, colour::Navy, colour::Maroon, colour::Maroon},
        {"0x80 alone is stand-by on both", 0x80, colour::Maroon, colour::Aqua, colour::Maroon,
         colour::Aqua, colour::Maroon, colour::Maroon},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig r;
        for (int k : {1, 2})
            for (int n = Led::Alarm; n <= Led::Blind; ++n) r.led(k, n).lens = Untouched;
        r.apply(withStatus(1, c.status));
        EXPECT_EQ(hex(r.led(1, Led::Blind).lens), hex(c.blind1));
        EXPECT_EQ(hex(r.led(1, Led::Standby).lens), hex(c.stb1));
        EXPECT_EQ(hex(r.led(2, Led::Blind).lens), hex(c.blind2));
        EXPECT_EQ(hex(r.led(2, Led::Standby).lens), hex(c.stb2));
        EXPECT_EQ(hex(r.led(1, Led::Alarm).lens), hex(c.alarm1));
        EXPECT_EQ(hex(r.led(2, Led::Alarm).lens), hex(c.alarm2));
        // The previous state keeps the record as received, not the working copy.
        EXPECT_EQ(r.hub.previous[2], c.status);
    }
}

TEST(RiceviDati, StatusBitsDriveTheirBarriers) {
    struct Case {
        std::uint8_t status;
        int led;
        bool onFirst, onSecond;
    } cases[] = {
        {0x02, Led::Alarm, true, true},       {0x40, Led::Tamper, true, false},
        {0x20, Led::Tamper, false, true},     {0x10, Led::Failure, true, true},
        {0x08, Led::Disqualify, true, false}, {0x04, Led::Disqualify, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        Rig r;
        // Couple C: barriers 5 and 6.
        r.apply(withStatus(3, c.status));
        const Rgb on = c.led == Led::Disqualify ? colour::Yellow : colour::Red;
        const Rgb off = c.led == Led::Disqualify ? colour::Olive : colour::Maroon;
        EXPECT_EQ(hex(r.led(5, c.led).lens), hex(c.onFirst ? on : off));
        EXPECT_EQ(hex(r.led(6, c.led).lens), hex(c.onSecond ? on : off));
        EXPECT_EQ(r.led(5, c.led).count, c.onFirst ? 1 : 0);
        EXPECT_EQ(r.led(6, c.led).count, c.onSecond ? 1 : 0);
        EXPECT_EQ(r.led(5, c.led).ring, c.onFirst ? colour::White : colour::Gray);
        // Other couples untouched.
        EXPECT_EQ(r.led(1, c.led).count, 0);
    }
}

TEST(RiceviDati, RepeatedRecordOnlyAdvancesTheBlink) {
    Rig r;
    StateRecord n{};
    n[0] = 0x05;
    n[2] = 0x02;
    EXPECT_TRUE(r.apply(n, true, true));
    const MonitorModel before = r.m;
    const int blinkBefore = r.hub.blink[0];
    ASSERT_EQ(blinkBefore, 19); // loaded with 20, one step taken
    EXPECT_FALSE(r.apply(n, true, true));
    // The head changed (the blink) and nothing else.
    EXPECT_NE(r.m.caps[0].brush, before.caps[0].brush);
    r.m.caps[0].brush = before.caps[0].brush;
    EXPECT_EQ(rectest::modelDifference(before, r.m), "");
    EXPECT_EQ(r.hub.blink[0], blinkBefore - 1);
}

TEST(RiceviDati, BeamCountedOncePerOffToOn) {
    Rig r;
    // Beam 3 of barrier 4 (couple B, second barrier).
    const std::uint8_t seq[] = {0x04, 0x04, 0x04, 0x06, 0x02, 0x04, 0x00, 0x04};
    for (std::uint8_t b : seq) {
        StateRecord n{};
        n[4] = b;
        r.apply(n);
    }
    EXPECT_EQ(r.led(4, 3).count, 3);
    EXPECT_EQ(r.led(4, 2).count, 1);
    EXPECT_EQ(hex(r.led(4, 3).lens), hex(colour::Lime));
    EXPECT_EQ(hex(r.led(4, 2).lens), hex(colour::Green));
    EXPECT_EQ(r.led(4, 2).ring, colour::White); // once ON, marked until reset
    EXPECT_EQ(r.led(3, 3).count, 0);
}

TEST(RiceviDati, FirstRecordAfterResetCountsEverySetBit) {
    Rig r;
    StateRecord n{};
    n[0] = 0xFF;
    n[2] = 0x02 | 0x40 | 0x10;
    r.apply(n);
    r.apply(StateRecord{});
    // A display reset zeroes the previous state; the same record counts again.
    r.hub.previous = {};
    r.apply(n);
    for (int k = 1; k <= 8; ++k) EXPECT_EQ(r.led(1, k).count, 2) << k;
    EXPECT_EQ(r.led(1, Led::Alarm).count, 2);
    EXPECT_EQ(r.led(1, Led::Tamper).count, 2);
    EXPECT_EQ(r.led(2, Led::Failure).count, 2);
    EXPECT_EQ(r.led(2, Led::Tamper).count, 0);
}

TEST(RiceviDati, BeepFollowsItsOwnSwitch) {
    struct Case {
        bool beamSound, ledSound;
        std::uint8_t beams, status;
        bool beep;
    } cases[] = {
        {true, false, 0x00, 0x02, false}, // only a status LED goes ON: silent
        {false, true, 0x00, 0x02, true},
        {true, false, 0x01, 0x00, true},
        {false, true, 0x01, 0x00, false},
        {false, false, 0x01, 0x02, false},
        {true, true, 0x00, 0x00, false},
    };
    for (const auto& c : cases) {
        Rig r;
        StateRecord n{};
        n[0] = c.beams;
        n[2] = c.status;
        EXPECT_EQ(r.apply(n, c.beamSound, c.ledSound), c.beep)
            << c.beamSound << c.ledSound << int(c.beams) << int(c.status);
    }
    // Going OFF never beeps.
    Rig r;
    StateRecord n{};
    n[0] = 1;
    n[2] = 2;
    r.apply(n);
    EXPECT_FALSE(r.apply(StateRecord{}, true, true));
}

TEST(RiceviDati, CompactStopsTheBlinkAndKeepsTheCountdown) {
    Rig r;
    r.hub.stream.blinkCount = 40;
    StateRecord n{};
    n[1] = 0x01; // barrier 2
    r.apply(n);
    EXPECT_EQ(r.hub.blink[1], 39);
    EXPECT_EQ(r.m.caps[1].brush, colour::Black);
    r.apply(n, false, false, true);
    r.apply(n, false, false, true);
    EXPECT_EQ(r.hub.blink[1], 39);
    EXPECT_EQ(r.m.caps[1].brush, colour::Gray);
    // Another zoom: the pending countdown resumes.
    for (int i = 0; i < 39; ++i) r.apply(n);
    EXPECT_EQ(r.hub.blink[1], 0);
    r.apply(n);
    EXPECT_EQ(r.m.caps[1].brush, colour::Gray);
    EXPECT_EQ(r.hub.blink[0], 0);
}

TEST(RiceviDati, HiddenBarrierAndSilverBeamsAreSkipped) {
    Rig r;
    r.m.barrier(3).visible = false;
    r.led(4, 8).SetSilver();
    StateRecord n{};
    n[3] = 0xFF;
    n[4] = 0xFF;
    n[5] = 0x02 | 0x01; // Blind for the second, which stays visible
    r.apply(n, true, true);
    for (int k = 1; k <= 14; ++k) {
        EXPECT_EQ(r.led(3, k).count, 0) << k;
    }
    EXPECT_EQ(hex(r.led(3, 1).lens), hex(colour::Green));
    EXPECT_EQ(r.hub.blink[2], 0);
    EXPECT_EQ(hex(r.led(4, 8).lens), hex(colour::Silver));
    EXPECT_EQ(r.led(4, 8).count, 0);
    EXPECT_EQ(r.led(4, 7).count, 1);
    EXPECT_EQ(hex(r.led(4, Led::Blind).lens), hex(colour::Red));
    EXPECT_EQ(hex(r.led(4, Led::Alarm).lens), hex(colour::Red));
}
