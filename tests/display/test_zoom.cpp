#include "monitor/display/zoom.h"

#include <gtest/gtest.h>

using namespace hub;

TEST(Zoom, LedSizeForWidthBoundaries) {
    const struct {
        int w, current, size;
    } cases[] = {
        {22, 17, 17},   {23, 17, 10},   {223, 17, 10},  {224, 17, 11},   {233, 17, 11},
        {234, 17, 12},  {403, 17, 28},  {404, 17, 29},  {10022, 17, 29}, {10023, 17, 17},
        {232, 29, 11},  {272, 29, 15},  {312, 29, 19},  {352, 29, 23},   {570, 11, 29},
        {-5, 20, 20},   {0, 20, 20},    {1 << 30, 20, 20},
    };
    for (const auto& c : cases) EXPECT_EQ(ledSizeForWidth(c.w, c.current), c.size) << c.w;
}

TEST(Zoom, SelectorItemSets) {
    const ZoomSelector full = ZoomSelector::full();
    EXPECT_EQ(full.text(), QStringLiteral("Zoom 5"));
    EXPECT_EQ(full.items[0], QStringLiteral("Compact"));
    EXPECT_FALSE(full.isCompact());

    EXPECT_EQ(ZoomSelector::kFiller, QStringLiteral("    \""));
    const ZoomSelector z2 = ZoomSelector::zoomed(2);
    EXPECT_EQ(z2.text(), QStringLiteral("Zoom 2"));
    EXPECT_EQ(z2.items[0], ZoomSelector::kFiller);
    for (int n = 1; n <= 5; ++n) EXPECT_EQ(z2.items[n], full.items[n]);

    const ZoomSelector c = ZoomSelector::compact();
    EXPECT_TRUE(c.isCompact());
    EXPECT_EQ(c.items[1], QStringLiteral("Expand"));
    for (int n = 2; n <= 5; ++n) EXPECT_EQ(c.items[n], ZoomSelector::kFiller);

    ZoomSelector bad = full;
    bad.index = 9;
    EXPECT_EQ(bad.text(), QString());
}

namespace {

MonitorModel laidOut() {
    MonitorModel m;
    m.SetDimeLed(29);
    return m;
}

} // namespace

TEST(Zoom, CompactFoldsTheStatusLedsToTheTop) {
    MonitorModel m = laidOut();
    applyZoomLayout(m, true);
    for (int k = 1; k <= 8; ++k) {
        for (int j = 1; j <= 8; ++j) EXPECT_FALSE(m.led(k, j).visible);
        for (int n = 9; n <= 14; ++n) {
            EXPECT_TRUE(m.led(k, n).visible);
            EXPECT_EQ(m.led(k, n).geo.top, 1 + 29 * (n - 9));
        }
        EXPECT_EQ(m.barrier(k).geo.height, 1 + 6 * 29 + 2);
        EXPECT_EQ(m.labVers[k - 1].geo.top, 28 + 177 + 2);
    }
    for (int i = 1; i <= 4; ++i) {
        EXPECT_EQ(m.bars[i - 1].geo.top, 28 + 177 + 15);
        EXPECT_EQ(m.sepDark[i - 1].geo.height, 220 + 12);
        EXPECT_EQ(m.sepLight[i - 1].geo.height, 220 + 12);
        for (int j = 1; j <= 8; ++j) EXPECT_FALSE(m.raggio(i, j).visible);
    }
    for (const LabelModel& l : m.labRaggi) EXPECT_FALSE(l.visible);
    for (const LabelModel& l : m.labLetters) EXPECT_FALSE(l.visible);
    EXPECT_FALSE(m.soundBeams.visible);
    EXPECT_TRUE(m.soundLeds.visible);
    EXPECT_EQ(m.labAlarm.geo.top, 29);
    EXPECT_EQ(m.labBlind.geo.top, 29 + 5 * 29);
    EXPECT_EQ(m.labPower.geo.top, 217);
    EXPECT_EQ(m.soundLeds.geo.top, m.labBlind.geo.top + m.labBlind.geo.height - 3);
    EXPECT_EQ(m.geo.height, 220 + 12 + 5);
    // Nothing left hanging below the strip.
    EXPECT_LE(m.soundLeds.geo.top + m.soundLeds.geo.height, m.geo.height);
}

TEST(Zoom, ExpandShowsIndicatorsOnlyForPresentBeams) {
    MonitorModel m = laidOut();
    HubState hub;
    resetDisplay(m, hub, false, false);
    // Couple A: barrier 2 declares beams 1..3; couple B: barrier 4 hidden;
    // couple C: all beams absent (silver).
    for (int j = 1; j <= 3; ++j) m.led(2, j).SetGreen();
    m.led(4, 1).SetGreen();
    m.barrier(4).visible = false;
    for (int j = 1; j <= 8; ++j) m.led(8, j).SetLime();
    applyZoomLayout(m, true);
    applyZoomLayout(m, false);
    for (int j = 1; j <= 8; ++j) {
        EXPECT_EQ(m.raggio(1, j).visible, j <= 3) << j;
        EXPECT_FALSE(m.raggio(2, j).visible) << j;
        EXPECT_FALSE(m.raggio(3, j).visible) << j;
        EXPECT_TRUE(m.raggio(4, j).visible) << j;
        EXPECT_TRUE(m.led(1, j).visible);
        EXPECT_TRUE(m.labRaggi[j - 1].visible);
    }
    // Back to the full layout, except for the 2-px looser labels and bars.
    for (int n = 9; n <= 14; ++n) EXPECT_EQ(m.led(5, n).geo.top, 242 + 29 * (n - 9));
    EXPECT_EQ(m.barrier(5).geo.height, 418);
    EXPECT_EQ(m.labVers[4].geo.top, 448);
    EXPECT_EQ(m.bars[0].geo.top, 461);
    EXPECT_EQ(m.labPower.geo.top, 458);
    EXPECT_EQ(m.geo.height, 478);
    for (const LabelModel& l : m.labLetters) EXPECT_TRUE(l.visible);
    EXPECT_TRUE(m.soundBeams.visible);
}

TEST(Zoom, ResetDisplayShowsOrHidesTheInstallation) {
    for (bool hide : {false, true}) {
        for (bool compact : {false, true}) {
            SCOPED_TRACE(testing::Message() << "hide " << hide << " compact " << compact);
            MonitorModel m = laidOut();
            if (compact) applyZoomLayout(m, true);
            HubState hub;
            hub.versHub = QStringLiteral("SW 3.1");
            hub.hubKind = 0x40;
            hub.sw.fill(7);
            hub.tc.fill(7);
            hub.current.fill(1);
            hub.previous.fill(2);
            hub.lastRecorded.fill(3);
            hub.blink = {1, 2, 3, 4, 5, 6, 7, 8};
            for (int k = 1; k <= 8; ++k) {
                m.barrier(k).visible = false;
                m.caps[k - 1].brush = colour::Black;
                m.labVers[k - 1].caption = QStringLiteral("V. 2.0");
                for (int n = 1; n <= 14; ++n) {
                    m.led(k, n).SetRed();
                    m.led(k, n).SetRingWhite();
                    m.led(k, n).count = 42;
                }
            }
            for (int i = 1; i <= 4; ++i) {
                m.bars[i - 1].progress = 75;
                m.raggio(i, 2).colour = colour::Red;
            }
            resetDisplay(m, hub, hide, compact);

            EXPECT_TRUE(m.visible);
            EXPECT_EQ(hub.versHub, QStringLiteral("HUB"));
            EXPECT_EQ(hub.hubKind, 0);
            EXPECT_EQ(hub.sw, decltype(hub.sw){});
            EXPECT_EQ(hub.tc, decltype(hub.tc){});
            EXPECT_EQ(hub.current, StateRecord{});
            EXPECT_EQ(hub.previous, StateRecord{});
            EXPECT_EQ(hub.lastRecorded, StateRecord{});
            EXPECT_EQ(hub.blink, (std::array<int, 8>{1, 2, 3, 4, 5, 6, 7, 8}));
            for (int k = 1; k <= 8; ++k) {
                EXPECT_EQ(m.barrier(k).visible, !hide);
                EXPECT_EQ(m.labBarre[k - 1].visible, !hide);
                EXPECT_EQ(m.caps[k - 1].visible, !hide);
                EXPECT_EQ(m.labVers[k - 1].visible, !hide);
                EXPECT_EQ(m.caps[k - 1].brush, colour::Gray);
                EXPECT_EQ(m.labVers[k - 1].caption, QStringLiteral("V. "));
                for (int n = 1; n <= 14; ++n) {
                    EXPECT_EQ(m.led(k, n).lens, colour::Silver);
                    EXPECT_EQ(m.led(k, n).ring, colour::Gray);
                    EXPECT_EQ(m.led(k, n).hint(), QStringLiteral("0"));
                }
            }
            for (int i = 1; i <= 4; ++i) {
                EXPECT_EQ(m.bars[i - 1].visible, !hide);
                EXPECT_EQ(m.bars[i - 1].progress, 0);
                EXPECT_EQ(m.labGruppi[i - 1].visible, !hide);
                for (int j = 1; j <= 8; ++j) {
                    // Compact mode never brings the indicators back.
                    EXPECT_EQ(m.raggio(i, j).visible, !hide && !compact);
                    EXPECT_EQ(m.raggio(i, j).colour, colour::Green);
                    EXPECT_EQ(m.raggio(i, j).fontColour, colour::Green);
                }
            }
            // Legends, beam numbers, letters and separators are not the reset's business.
            EXPECT_TRUE(m.labAlarm.visible);
            EXPECT_TRUE(m.sepDark[0].visible);
            EXPECT_EQ(m.labRaggi[0].visible, !compact);
        }
    }
}

TEST(Zoom, ResetLedsKeepsLedsThatAreOnNow) {
    const struct {
        int n;
        Rgb lens;
        bool on;
    } cases[] = {
        {1, colour::Lime, true},    {1, colour::Green, false},  {1, colour::Silver, false},
        {9, colour::Red, true},     {9, colour::Maroon, false}, {10, colour::Red, true},
        {11, colour::Red, true},    {14, colour::Red, true},    {12, colour::Yellow, true},
        {12, colour::Olive, false}, {12, colour::Red, false},   {13, colour::Aqua, true},
        {13, colour::Navy, false},  {13, colour::Silver, false}, {8, colour::Red, false},
    };
    for (const auto& c : cases) {
        MonitorModel m;
        LedModel& l = m.led(6, c.n);
        l.lens = c.lens;
        l.SetRingWhite();
        l.count = 5;
        LedModel& other = m.led(3, c.n);
        other.SetRingWhite();
        other.count = 9;
        resetLeds(m);
        EXPECT_EQ(l.lens, c.lens) << c.n;
        EXPECT_EQ(l.ring, c.on ? colour::White : colour::Gray) << c.n << " " << std::hex << c.lens;
        EXPECT_EQ(l.count, c.on ? 1 : 0) << c.n << " " << std::hex << c.lens;
        EXPECT_EQ(other.ring, colour::Gray);
        EXPECT_EQ(other.count, 0);
    }
}
