#include "monitor/display/monitormodel.h"

#include <gtest/gtest.h>

using namespace hub;

namespace {

Geometry G(int l, int t, int w, int h) { return {l, t, w, h}; }

// Every LED of every barrier, as pairs (k, n).
template <class F> void forEachLed(F f) {
    for (int k = 1; k <= 8; ++k)
        for (int n = 1; n <= 14; ++n) f(k, n);
}

bool inside(const Geometry& inner, const Geometry& outer) {
    return inner.left >= outer.left && inner.top >= outer.top &&
           inner.left + inner.width <= outer.left + outer.width &&
           inner.top + inner.height <= outer.top + outer.height;
}

} // namespace

TEST(MonitorModel, ConstructionLeavesSizeZeroAndFirstSetDimeLedLaysOut) {
    MonitorModel m;
    EXPECT_EQ(m.DimeLed(), 0);
    // Built for 29 already, with the couple letters up against the heads.
    EXPECT_EQ(m.led(1, 1).geo, G(1, 203, 29, 29));
    for (int i = 1; i <= 4; ++i) EXPECT_EQ(m.labGruppi[i - 1].geo.top, 0) << i;
    // Disturb the layout: SetDimeLed(29) must lay it out again although the
    // built-in size is 29.
    m.led(3, 4).geo.top = 999;
    m.SetDimeLed(29);
    EXPECT_EQ(m.DimeLed(), 29);
    EXPECT_EQ(m.led(3, 4).geo.top, 116);
    // The current size again changes nothing.
    m.led(3, 4).geo.top = 999;
    m.SetDimeLed(29);
    EXPECT_EQ(m.led(3, 4).geo.top, 999);
}

TEST(MonitorModel, WorkedNumbersForSize29) {
    MonitorModel m;
    m.SetDimeLed(29);
    const LedModel& l = m.led(1, 1);
    EXPECT_EQ(l.geo.width, 29);
    EXPECT_EQ(l.lensGeo, G(3, 3, 23, 23));
    EXPECT_EQ(l.glint[0], G(6, 6, 7, 7));
    EXPECT_EQ(l.glint[1], G(11, 7, 5, 5));
    EXPECT_EQ(l.glint[2], G(8, 11, 6, 6));
    for (int j = 1; j <= 8; ++j) EXPECT_EQ(m.led(2, j).geo.top, 29 * (8 - j)) << j;
    const int status[6] = {242, 271, 300, 329, 358, 387};
    for (int n = 9; n <= 14; ++n) EXPECT_EQ(m.led(2, n).geo.top, status[n - 9]) << n;
    for (int k = 1; k <= 8; ++k) {
        EXPECT_EQ(m.barrier(k).geo, G(3 + 40 * (k - 1), 28, 32, 418)) << k;
        EXPECT_EQ(m.labVers[k - 1].fontSize, 8);
        EXPECT_EQ(m.labVers[k - 1].geo.top, 446);
        EXPECT_EQ(m.caps[k - 1].geo, G(3 + 40 * (k - 1), 3, 32, 50));
        EXPECT_EQ(m.labBarre[k - 1].geo.left, 15 + 40 * (k - 1));
        EXPECT_EQ(m.labBarre[k - 1].geo.top, 8);
        EXPECT_EQ(m.labBarre[k - 1].fontSize, 13);
    }
    for (int i = 1; i <= 4; ++i) {
        for (int j = 1; j <= 8; ++j)
            EXPECT_EQ(m.raggio(i, j).geo, G(35 + 80 * (i - 1), 29 * (8 - j) + 38, 8, 8)) << i << j;
        EXPECT_EQ(m.labGruppi[i - 1].geo.left, 33 + 80 * (i - 1));
        EXPECT_EQ(m.labGruppi[i - 1].fontSize, 13);
        // Arial 8 is 13 px high: the bars sit right under the version labels.
        EXPECT_EQ(m.bars[i - 1].geo, G(3 + 80 * (i - 1), 459, 72, 12));
        EXPECT_EQ(m.sepDark[i - 1].geo, G(77 + 80 * (i - 1), 1, 1, 471));
        EXPECT_EQ(m.sepLight[i - 1].geo, G(79 + 80 * (i - 1), 1, 1, 471));
    }
    for (int j = 1; j <= 8; ++j) {
        EXPECT_EQ(m.labRaggi[j - 1].geo.left, 321);
        EXPECT_EQ(m.labRaggi[j - 1].geo.top, 29 * (8 - j) + 28);
        EXPECT_EQ(m.labRaggi[j - 1].fontSize, 14);
    }
    const LabelModel* legends[6] = {&m.labAlarm, &m.labTamp, &m.labFail, &m.labDisq, &m.labStb, &m.labBlind};
    for (int n = 0; n < 6; ++n) {
        EXPECT_EQ(legends[n]->geo.top, 28 + status[n]);
        EXPECT_EQ(legends[n]->geo.left, 321);
        EXPECT_EQ(legends[n]->fontSize, 14);
    }
    EXPECT_EQ(m.labPower.geo.top, 454);
    // "Courier New" 14 bold: 11 px a character, 22 px high.
    EXPECT_EQ(m.labAlarm.geo.width, 55);
    EXPECT_EQ(m.labAlarm.geo.height, 22);
    for (int n = 0; n < 5; ++n) {
        EXPECT_EQ(m.labLetters[n].geo.left, 352);
        EXPECT_EQ(m.labLetters[n].geo.top, m.labRaggi[6 - n].geo.top);
    }
    EXPECT_EQ(m.soundBeams.geo, G(321, 2, 53, 20));
    EXPECT_EQ(m.soundLeds.geo, G(321, 434, 53, 20));
    // The monitor at 1,1 fills the 383-pixel-wide panel with its 1-px margin.
    EXPECT_EQ(m.geo, G(1, 1, 382, 472));
}

TEST(MonitorModel, WorkedNumbersForSize10) {
    MonitorModel m;
    m.SetDimeLed(10);
    const LedModel& l = m.led(8, 14);
    EXPECT_EQ(l.geo.width, 10);
    EXPECT_EQ(l.geo.height, 10);
    EXPECT_EQ(l.lensGeo, G(3, 3, 4, 4));
    EXPECT_EQ(l.glint[0], G(6, 6, 2, 2));
    EXPECT_EQ(l.glint[1], G(6, 7, 0, 0));
    EXPECT_EQ(l.glint[2], G(8, 6, 1, 1));
    EXPECT_EQ(m.led(8, 9).geo.top, 90);
    EXPECT_EQ(m.led(8, 14).geo.top, 140);
    for (int k = 1; k <= 8; ++k) {
        EXPECT_EQ(m.barrier(k).geo, G(3 + 21 * (k - 1), 28, 13, 152));
        // A font size below 1 draws nothing and takes no room.
        EXPECT_EQ(m.labVers[k - 1].fontSize, -1);
        EXPECT_EQ(m.labVers[k - 1].geo.width, 0);
        EXPECT_EQ(m.labVers[k - 1].geo.height, 0);
        EXPECT_EQ(m.labBarre[k - 1].fontSize, 4);
        EXPECT_EQ(m.labBarre[k - 1].geo.left, 5 + 21 * (k - 1));
    }
    for (int i = 1; i <= 4; ++i) {
        EXPECT_EQ(m.raggio(i, 1).geo, G(16 + 42 * (i - 1), 70 + 29, 8, 8));
        EXPECT_EQ(m.labGruppi[i - 1].fontSize, 4);
        EXPECT_EQ(m.bars[i - 1].geo, G(3 + 42 * (i - 1), 180, 34, 12));
    }
    EXPECT_EQ(m.sepLight[3].geo.left, 167);
    EXPECT_EQ(m.labAlarm.fontSize, 5);
    EXPECT_EQ(m.labAlarm.geo.left, 169);
    EXPECT_EQ(m.labAlarm.geo.width, 20);
    EXPECT_EQ(m.labLetters[0].geo.left, 193);
    EXPECT_EQ(m.soundBeams.geo.width, 33);
    EXPECT_EQ(m.soundLeds.geo.top, 28 + 140 + 9 - 3);
    // The legends alone would give 195, which would cut the beep switch
    // (169 + 33) off: the monitor widens to it.
    EXPECT_EQ(m.geo, G(1, 1, 204, 193));
}

TEST(MonitorModel, GeometryHoldsTogetherAtEverySize) {
    MonitorModel m;
    int lastWidth = 0, lastHeight = 0;
    for (int v = 10; v <= 29; ++v) {
        SCOPED_TRACE(v);
        m.SetDimeLed(v);
        ASSERT_EQ(m.DimeLed(), v);
        const Geometry panel{0, 0, m.geo.width, m.geo.height};
        forEachLed([&](int k, int n) {
            const LedModel& l = m.led(k, n);
            ASSERT_EQ(l.geo.width, v);
            ASSERT_TRUE(inside(m.ledRect(k, n), m.barrier(k).geo)) << k << "/" << n;
            ASSERT_TRUE(inside(l.lensGeo, {0, 0, v, v}));
            for (const Geometry& g : l.glint) ASSERT_TRUE(inside(g, {0, 0, v, v}));
            if (n > 1 && n != 9) { // stacked without gaps or overlaps
                ASSERT_EQ(m.led(k, n).geo.top + v, m.led(k, n - 1).geo.top + (n <= 8 ? 0 : 2 * v));
            }
        });
        for (int k = 1; k <= 8; ++k) {
            ASSERT_TRUE(inside(m.barrier(k).geo, panel));
            ASSERT_LE(m.labVers[k - 1].geo.top + m.labVers[k - 1].geo.height, m.bars[(k - 1) / 2].geo.top);
            if (k > 1) {
                ASSERT_EQ(m.barrier(k).geo.left, m.barrier(k - 1).geo.left + m.barrier(k - 1).geo.width + 8);
            }
        }
        for (int i = 1; i <= 4; ++i) {
            for (int j = 1; j <= 8; ++j) {
                const Geometry& r = m.raggio(i, j).geo;
                ASSERT_EQ(r.width, 8);
                ASSERT_EQ(r.height, 8);
                // In the gap between the couple's barriers, centred on the beam row.
                const Geometry& first = m.barrier(2 * i - 1).geo;
                ASSERT_GE(r.left, first.left + first.width);
                ASSERT_EQ(r.left + r.width, m.barrier(2 * i).geo.left);
                const Geometry row = m.ledRect(2 * i, j);
                ASSERT_LE(std::abs((r.top * 2 + 8) - (row.top * 2 + v)), 1);
            }
            ASSERT_TRUE(inside(m.bars[i - 1].geo, panel));
            ASSERT_EQ(m.bars[i - 1].geo.top + 12 + m.geo.top, m.geo.height);
        }
        for (const LabelModel* l : {&m.labAlarm, &m.labTamp, &m.labFail, &m.labDisq, &m.labStb, &m.labBlind})
            ASSERT_TRUE(inside(l->geo, panel));
        for (const LabelModel& l : m.labLetters) ASSERT_TRUE(inside(l.geo, panel)) << l.caption.toStdString();
        ASSERT_TRUE(inside(m.soundBeams.geo, panel));
        ASSERT_LE(m.soundLeds.geo.left + m.soundLeds.geo.width, m.geo.width);
        ASSERT_GE(m.geo.width, lastWidth);
        ASSERT_GT(m.geo.height, lastHeight);
        lastWidth = m.geo.width;
        lastHeight = m.geo.height;
    }
}

TEST(MonitorModel, SizesOutsideTheZoomRangeAreIgnored) {
    MonitorModel m;
    m.SetDimeLed(15);
    const Geometry before = m.geo;
    for (int v : {0, -3, 5, 9, 30, 1 << 30}) {
        m.SetDimeLed(v);
        EXPECT_EQ(m.DimeLed(), 15) << v;
        EXPECT_EQ(m.geo, before) << v;
    }
}

TEST(MonitorModel, LabelsFollowTheirCaptions) {
    MonitorModel m;
    m.SetDimeLed(29);
    m.labVers[0].caption = QStringLiteral("V. 10.4");
    MonitorModel::autoSize(m.labVers[0]);
    // Arial 8 (11 px): "V" 7, "." 3, " " 3, digits 6.
    EXPECT_EQ(m.labVers[0].geo.width, 7 + 3 + 3 + 6 + 6 + 3 + 6);
    m.setItalian(true);
    EXPECT_EQ(m.labBlind.caption, QStringLiteral("Cieco"));
    QString letters;
    for (const LabelModel& l : m.labLetters) letters += l.caption;
    EXPECT_EQ(letters, QStringLiteral("RAGGI"));
    EXPECT_EQ(m.labAlarm.caption, QStringLiteral("Alarm"));
    m.setItalian(false);
    letters.clear();
    for (const LabelModel& l : m.labLetters) letters += l.caption;
    EXPECT_EQ(letters, QStringLiteral("BEAMS"));
    EXPECT_EQ(m.labBlind.caption, QStringLiteral("Blind"));
}

TEST(MonitorModel, LedOnColourByKind) {
    MonitorModel m;
    const struct {
        int n;
        Rgb on;
    } cases[] = {{1, colour::Lime},  {8, colour::Lime},   {9, colour::Red},   {10, colour::Red},
                 {11, colour::Red},  {12, colour::Yellow}, {13, colour::Aqua}, {14, colour::Red}};
    for (const auto& c : cases) {
        LedModel& l = m.led(4, c.n);
        EXPECT_EQ(l.onColour(), c.on) << c.n;
        l.SetSilver();
        EXPECT_FALSE(l.isOn());
        l.lens = c.on;
        EXPECT_TRUE(l.isOn());
    }
}

namespace {

QPoint centre(const Geometry& g) { return {g.left + g.width / 2, g.top + g.height / 2}; }

} // namespace

TEST(MonitorModel, ClickCodesOfEveryElementKind) {
    MonitorModel m;
    m.SetDimeLed(29);
    const struct {
        const char* what;
        QPoint at;
        MonitorHit::Kind kind;
        const char* barra;
        const char* led;
    } cases[] = {
        {"LED 12 of barrier 5", centre(m.ledRect(5, 12)), MonitorHit::Led, "5", "12"},
        {"beam LED 1 of barrier 1", centre(m.ledRect(1, 1)), MonitorHit::Led, "1", "1"},
        {"Blind LED of barrier 8, corner", {m.ledRect(8, 14).left, m.ledRect(8, 14).top}, MonitorHit::Led, "8", "14"},
        {"beam indicator 203", centre(m.raggio(2, 3).geo), MonitorHit::Beam, "200", "3"},
        {"beam indicator 408", centre(m.raggio(4, 8).geo), MonitorHit::Beam, "400", "8"},
        {"couple letter C", centre(m.labGruppi[2].geo), MonitorHit::CoupleLetter, "13", "0"},
        {"couple letter A", centre(m.labGruppi[0].geo), MonitorHit::CoupleLetter, "11", "0"},
        {"number label 7", centre(m.labBarre[6].geo), MonitorHit::BarrierLabel, "7", "0"},
        {"barrier edge", {m.barrier(3).geo.left, m.barrier(3).geo.top + 50}, MonitorHit::Inert, "", ""},
        {"gap under the beams", {m.barrier(3).geo.left + 5, m.barrier(3).geo.top + 235}, MonitorHit::Inert, "", ""},
        {"head", {m.caps[2].geo.left + 3, m.caps[2].geo.top + 20}, MonitorHit::Inert, "", ""},
        {"version label", {m.labVers[1].geo.left + 2, m.labVers[1].geo.top + 2}, MonitorHit::Inert, "", ""},
        {"power bar", centre(m.bars[1].geo), MonitorHit::Inert, "", ""},
        {"legend", centre(m.labStb.geo), MonitorHit::Inert, "", ""},
        {"beam number", centre(m.labRaggi[3].geo), MonitorHit::Inert, "", ""},
        {"separator", {m.sepDark[1].geo.left, 200}, MonitorHit::Inert, "", ""},
        {"beams switch", centre(m.soundBeams.geo), MonitorHit::SoundBeams, "", ""},
        {"LEDs switch", centre(m.soundLeds.geo), MonitorHit::SoundLeds, "", ""},
        {"background", {m.geo.width - 3, m.geo.height - 3}, MonitorHit::Background, "", ""},
    };
    for (const auto& c : cases) {
        const MonitorHit hit = m.hitTest(c.at);
        EXPECT_EQ(hit.kind, c.kind) << c.what;
        EXPECT_EQ(hit.clickBarra, QString::fromLatin1(c.barra)) << c.what;
        EXPECT_EQ(hit.clickLed, QString::fromLatin1(c.led)) << c.what;
    }
}

TEST(MonitorModel, HiddenElementsAreNotHit) {
    MonitorModel m;
    m.SetDimeLed(29);
    const QPoint led = centre(m.ledRect(2, 3));
    m.led(2, 3).visible = false;
    EXPECT_EQ(m.hitTest(led).kind, MonitorHit::Inert); // the barrier panel behind it
    m.barrier(2).visible = false;
    EXPECT_EQ(m.hitTest(led).kind, MonitorHit::Background);
    const QPoint beam = centre(m.raggio(1, 1).geo);
    m.raggio(1, 1).visible = false;
    EXPECT_NE(m.hitTest(beam).kind, MonitorHit::Beam);
    const QPoint letter = centre(m.labGruppi[3].geo);
    m.labGruppi[3].visible = false;
    EXPECT_NE(m.hitTest(letter).kind, MonitorHit::CoupleLetter);
}

TEST(MonitorModel, ClicksStoreCodesAndBackgroundKeepsThem) {
    MonitorModel m;
    m.SetDimeLed(29);
    EXPECT_TRUE(m.applyClick(m.hitTest(centre(m.raggio(2, 3).geo))));
    EXPECT_EQ(m.clickBarra, QStringLiteral("200"));
    EXPECT_EQ(m.clickLed, QStringLiteral("3"));
    // Background notifies with what is stored; inert elements do nothing.
    EXPECT_TRUE(m.applyClick(m.hitTest({m.geo.width - 3, m.geo.height - 3})));
    EXPECT_FALSE(m.applyClick(m.hitTest(centre(m.labPower.geo))));
    EXPECT_EQ(m.clickBarra, QStringLiteral("200"));
    EXPECT_EQ(m.clickLed, QStringLiteral("3"));
}

TEST(MonitorModel, BeepSwitchToggles) {
    const struct {
        const char* before;
        const char* after;
        Rgb colour;
    } cases[] = {
        {"ON-Beep", "OFF-Beep", colour::Red},
        {"OFF-Beep", "ON-Beep", colour::Green},
        {"", "ON-Beep", colour::Green},
        {"on-beep", "ON-Beep", colour::Green},
    };
    for (const auto& c : cases) {
        SoundSwitchModel s;
        s.caption = QString::fromLatin1(c.before);
        s.toggle();
        EXPECT_EQ(s.caption, QString::fromLatin1(c.after)) << c.before;
        EXPECT_EQ(s.fontColour, c.colour) << c.before;
    }
    MonitorModel m;
    m.SetDimeLed(29);
    const MonitorHit hit = m.hitTest(centre(m.soundLeds.geo));
    EXPECT_FALSE(m.applyClick(hit)); // no click notification
    EXPECT_FALSE(m.soundLeds.enabled());
    EXPECT_TRUE(m.soundBeams.enabled());
    m.applyClick(hit);
    EXPECT_TRUE(m.soundLeds.enabled());
    m.soundLeds.visible = false;
    EXPECT_FALSE(m.soundLeds.enabled());
}
