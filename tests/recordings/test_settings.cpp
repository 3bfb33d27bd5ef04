#include "fixtures.h"

#include "monitor/settings/settingsdecoders.h"

#include <gtest/gtest.h>

using namespace hub;
using rectest::hex;

namespace {

using Sw = std::array<std::uint8_t, kSwBlockSize>;
using Tc = std::array<std::uint8_t, kTcBlockSize>;

struct Rig {
    MonitorModel m;
    HubState hub;
    QString caption = QStringLiteral("unchanged");
    explicit Rig(bool compact = false) { rectest::resetModel(m, hub, true, compact); }
    void sw(std::uint8_t kind, const Sw& b, bool compact = false) {
        EXPECT_TRUE(RiceviSet_SW(m, hub, kind, b, compact));
    }
    void tc(std::uint8_t kind, const Tc& b, bool compact = false) {
        EXPECT_TRUE(RiceviSet_TC(m, hub, kind, b, compact, &caption));
    }
    // Visible beam indicators of couple c as a bit mask (bit k-1 = beam k).
    int indicators(int c) const {
        int mask = 0;
        for (int k = 1; k <= 8; ++k)
            if (m.raggio(c, k).visible) mask |= 1 << (k - 1);
        return mask;
    }
    // Beam LEDs of barrier b that are green (present) as a mask; the rest must be silver.
    int greenBeams(int b) const {
        int mask = 0;
        for (int k = 1; k <= 8; ++k) {
            const Rgb lens = m.led(b, k).lens;
            EXPECT_TRUE(lens == colour::Green || lens == colour::Silver) << b << "/" << k;
            if (lens == colour::Green) mask |= 1 << (k - 1);
        }
        return mask;
    }
};

Tc tcBlock(std::uint8_t codes, std::uint8_t couples /* bit c-1 */, const char* name = "") {
    Tc b{};
    b[0] = codes;
    for (int c = 0; c < 4; ++c) b[38 + c] = (couples >> c) & 1 ? 1 : 0;
    for (int i = 0; i < 8 && name[i]; ++i) b[44 + i] = static_cast<std::uint8_t>(name[i]);
    return b;
}

} // namespace

TEST(Settings, BeamCountCodesSwapTheMiddleTwo) {
    // Codes for couples A..D in one byte: A 0, B 1, C 2, D 3.
    const std::uint8_t codes = 0b00'01'10'11;
    const int expectMask[] = {0x03, 0x3F, 0x0F, 0xFF};
    Rig sw;
    sw.sw(0x40, {codes, 0, 0, 0, 0, 0, 0x0F, 0, 0});
    Rig tc;
    tc.tc(0x00, tcBlock(codes, 0x0F));
    for (int c = 1; c <= 4; ++c) {
        EXPECT_EQ(sw.indicators(c), expectMask[c - 1]) << "SW couple " << c;
        EXPECT_EQ(tc.indicators(c), expectMask[c - 1]) << "TC couple " << c;
        for (int b : {2 * c - 1, 2 * c}) {
            EXPECT_EQ(sw.greenBeams(b), expectMask[c - 1]) << "SW barrier " << b;
            EXPECT_EQ(tc.greenBeams(b), expectMask[c - 1]) << "TC barrier " << b;
        }
    }
    EXPECT_EQ(beamsForCode(1), 6);
    EXPECT_EQ(beamsForCode(2), 4);
}

TEST(Settings, SwFirstAndLastBeamOptions) {
    struct Case {
        std::uint8_t code, options;
        int mask;
    } cases[] = {
        {0, 0x0C, 0x00}, // both beams of a two-beam couple go: every beam LED silver
        {3, 0x04, 0x7F}, {3, 0x08, 0xFE}, {3, 0x0C, 0x7E},
        {1, 0x04, 0x1F}, {2, 0x08, 0x0E}, {3, 0xF3, 0xFF}, // other bits change nothing here
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.code) << "/" << int(c.options));
        Rig r;
        const auto codes = static_cast<std::uint8_t>(c.code * 0x55);
        r.sw(0x40, {codes, 0, 0, 0, 0, 0, 0x0F, 0, c.options});
        for (int cp = 1; cp <= 4; ++cp) {
            EXPECT_EQ(r.indicators(cp), c.mask);
            EXPECT_EQ(r.greenBeams(2 * cp - 1), c.mask);
            EXPECT_EQ(r.greenBeams(2 * cp), c.mask);
        }
    }
}

TEST(Settings, SwIdentityCouplesPowerRangeVersions) {
    Rig r;
    r.sw(0xC1, {0xFF, 0x0A, 0x12, 0x34, 0x56, 0x7F, 0x05, 0xE4, 0});
    EXPECT_EQ(r.hub.versHub, "SW: v.1 (TEST)");
    EXPECT_EQ(r.caption, "unchanged");
    EXPECT_EQ(r.hub.hubKind, 0xC1);
    EXPECT_EQ(r.hub.sw[7], 0xE4);
    const bool present[] = {true, false, true, false};
    const int power[] = {25, 50, 75, 100};
    const Rgb range[] = {colour::Red, colour::Blue, colour::Red, colour::Blue};
    for (int c = 1; c <= 4; ++c) {
        SCOPED_TRACE(c);
        EXPECT_EQ(r.m.bars[c - 1].visible, present[c - 1]);
        EXPECT_EQ(r.m.labGruppi[c - 1].visible, present[c - 1]);
        for (int b : {2 * c - 1, 2 * c}) {
            EXPECT_EQ(r.m.barrier(b).visible, present[c - 1]);
            EXPECT_EQ(r.m.caps[b - 1].visible, present[c - 1]);
            EXPECT_EQ(r.m.labBarre[b - 1].visible, present[c - 1]);
        }
        if (!present[c - 1]) {
            EXPECT_EQ(r.indicators(c), 0);
            EXPECT_EQ(hex(r.m.led(2 * c, Led::Alarm).lens), hex(colour::Silver));
            continue;
        }
        EXPECT_EQ(r.m.bars[c - 1].progress, power[c - 1]);
        EXPECT_EQ(hex(r.m.raggio(c, 8).colour), hex(range[c - 1]));
        EXPECT_EQ(hex(r.m.raggio(c, 8).fontColour), hex(range[c - 1]));
        EXPECT_EQ(hex(r.m.led(2 * c, Led::Alarm).lens), hex(colour::Maroon));
        EXPECT_EQ(hex(r.m.led(2 * c, Led::Disqualify).lens), hex(colour::Olive));
        EXPECT_EQ(hex(r.m.led(2 * c - 1, Led::Standby).lens), hex(colour::Navy));
        EXPECT_EQ(hex(r.m.led(2 * c - 1, Led::Blind).lens), hex(colour::Maroon));
    }
    const char* versions[] = {"V. 1", "V. 2", "V. 5", "V. 6"};
    EXPECT_EQ(r.m.labVers[0].caption, versions[0]);
    EXPECT_EQ(r.m.labVers[1].caption, versions[1]);
    EXPECT_EQ(r.m.labVers[4].caption, versions[2]);
    EXPECT_EQ(r.m.labVers[5].caption, versions[3]);
    EXPECT_EQ(r.m.labVers[2].caption, "V. "); // couple B absent: untouched
}

TEST(Settings, TcExcludedBeams) {
    Rig r;
    Tc b = tcBlock(0xFF, 0x01);
    b[14] = 0x81;
    r.tc(0x00, b);
    EXPECT_EQ(r.indicators(1), 0x7E);
    EXPECT_EQ(r.greenBeams(1), 0x7E);
    EXPECT_EQ(r.greenBeams(2), 0x7E);
    // Compact: painted the same, indicators all hidden afterwards.
    Rig c(true);
    c.tc(0x00, b, true);
    EXPECT_EQ(c.indicators(1), 0);
    EXPECT_EQ(c.greenBeams(1), 0x7E);
}

TEST(Settings, TcNamesCaptionAndIdentity) {
    struct Case {
        const char* what;
        std::uint8_t kind;
        std::array<std::uint8_t, 8> name;
        QString caption;
        QString versHub;
    } cases[] = {
        {"letters then blanks", 0x02, {'A', 'B', ' ', ' ', ' ', ' ', ' ', ' '},
         "TC:AB PORT : ttyS3 --  ZEMBRA MONITOR HUB (V:1.7)", "TC:AB (v.2)"},
        {"zero bytes add nothing", 0x01, {'A', 0, 'B', 0, 0, 0, 0, 0},
         "TC:AB PORT : ttyS3 --  ZEMBRA MONITOR HUB (V:1.7)", "TC:AB (v.1)"},
        {"blank inside kept, control at the end dropped", 0x83, {'N', ' ', '1', 0x09, 0x01, 0, 0, 0},
         "TC:N 1 PORT : ttyS3 --  ZEMBRA MONITOR HUB (V:1.7)", "TC:N 1 (v.3) (TEST)"},
        {"high bytes shown as they are", 0x00, {0xE8, 0xA0, 0, 0, 0, 0, 0, 0},
         QStringLiteral("TC:\u00E8\u00A0 PORT : ttyS3 --  ZEMBRA MONITOR HUB (V:1.7)"),
         QStringLiteral("TC:\u00E8\u00A0 (v.0)")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Rig r;
        r.hub.lastPort = QStringLiteral("ttyS3");
        Tc b = tcBlock(0, 0);
        std::copy(c.name.begin(), c.name.end(), b.begin() + 44);
        r.tc(c.kind, b);
        EXPECT_EQ(r.caption.toStdString(), c.caption.toStdString());
        EXPECT_EQ(r.hub.versHub.toStdString(), c.versHub.toStdString());
        EXPECT_EQ(r.hub.hubKind, c.kind);
    }
}

TEST(Settings, TcSpeedSetsStreamParameters) {
    struct Step {
        std::uint8_t speed;
        int length, perTick, blink;
    };
    // A first block with an unknown speed keeps the start-up values.
    const std::vector<std::vector<Step>> runs = {
        {{7, 12, 6, 20}},
        {{1, 6, 12, 40}, {7, 6, 12, 40}, {0, 12, 6, 20}},
        {{2, 3, 24, 60}, {255, 3, 24, 60}},
    };
    for (const auto& run : runs) {
        Rig r;
        for (const Step& s : run) {
            Tc b = tcBlock(0, 1);
            b[43] = s.speed;
            r.tc(0x00, b);
            EXPECT_EQ(r.hub.stream.recordLength, s.length) << int(s.speed);
            EXPECT_EQ(r.hub.stream.recordsPerTick, s.perTick) << int(s.speed);
            EXPECT_EQ(r.hub.stream.blinkCount, s.blink) << int(s.speed);
        }
        // An SW block always goes back to the normal stream.
        r.sw(0x40, {});
        EXPECT_EQ(r.hub.stream.blinkCount, 20);
        EXPECT_EQ(r.hub.stream.recordLength, 12);
    }
}

TEST(Settings, TcPowerAboveThreeFillsTheBar) {
    Rig r;
    Tc b = tcBlock(0, 0x0F);
    b[26] = 0;
    b[27] = 3;
    b[28] = 4;
    b[29] = 255;
    b[38 + 3] = 0x80; // any non-zero value means present
    r.tc(0x00, b);
    EXPECT_EQ(r.m.bars[0].progress, 25);
    EXPECT_EQ(r.m.bars[1].progress, 100);
    EXPECT_EQ(r.m.bars[2].progress, 100);
    EXPECT_EQ(r.m.bars[3].progress, 100);
    EXPECT_TRUE(r.m.barrier(8).visible);
    EXPECT_EQ(r.hub.tc[29], 255);
}

TEST(Settings, NewBlockOverTheSameDisplayOnlyAdds) {
    Rig r;
    r.sw(0x40, {0xFF, 0, 0, 0, 0, 0, 0x01, 0, 0});
    r.sw(0x40, {0xFF, 0, 0, 0, 0, 0, 0x02, 0, 0});
    EXPECT_TRUE(r.m.barrier(1).visible);
    EXPECT_TRUE(r.m.barrier(3).visible);
    EXPECT_FALSE(r.m.barrier(5).visible);
}
