#include "monitor/display/Barra.h"
#include "monitor/display/textmetrics.h"
#include "monitor/display/zoom.h"
#include "monitor/ricevidati.h"
#include "monitor/settings/settingsdecoders.h"

#include <QApplication>
#include <QDir>
#include <QHelpEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QToolTip>
#include <cmath>
#include <optional>
#include <random>
#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using namespace hub;

namespace {

QPoint centre(const Geometry& g) { return {g.left + g.width / 2, g.top + g.height / 2}; }

QString shotPath(const QString& name) {
    const QString dir = qEnvironmentVariable("HUB_BUILD_DIR", QDir::tempPath()) + QStringLiteral("/screenshots");
    QDir().mkpath(dir);
    return dir + QLatin1Char('/') + name;
}

QImage render(TMonitor& w) { return w.grab().toImage().convertToFormat(QImage::Format_RGB32); }

Rgb at(const QImage& img, QPoint p) { return img.pixel(p) & 0xFFFFFF; }

// The lens pixel nearest the LED's centre that neither the lens outline nor a
// glint covers (at the smallest sizes there is none).
std::optional<QPoint> lensProbe(const MonitorModel& m, int k, int n) {
    const LedModel& l = m.led(k, n);
    const Geometry led = m.ledRect(k, n);
    const double cx = l.lensGeo.left + l.lensGeo.width / 2.0, cy = l.lensGeo.top + l.lensGeo.height / 2.0;
    const double inner = l.lensGeo.width / 2.0 - 2.5; // inside the 2-px outline, with a margin
    std::optional<QPoint> best;
    double bestDist = 1e9;
    for (int y = 0; y < l.geo.height; ++y)
        for (int x = 0; x < l.geo.width; ++x) {
            const double px = x + 0.5, py = y + 0.5;
            if (std::hypot(px - cx, py - cy) > inner) continue;
            bool glint = false;
            for (const Geometry& g : l.glint)
                glint = glint || Geometry{g.left - 1, g.top - 1, g.width + 2, g.height + 2}.contains(x, y);
            if (glint) continue;
            const double d = std::hypot(px - l.geo.width / 2.0, py - l.geo.height / 2.0);
            if (d < bestDist) {
                bestDist = d;
                best = QPoint(led.left + x, led.top + y);
            }
        }
    return best;
}

// A silver lens at the centre of every visible LED and the grey head above
// every visible barrier, at positions taken from the model.
void expectLensesAndHeads(const TMonitor& w, const QImage& img) {
    const MonitorModel& m = w.model();
    for (int k = 1; k <= 8; ++k) {
        if (!m.barrier(k).visible) continue;
        for (int n = 1; n <= 14; ++n) {
            if (!m.led(k, n).visible) continue;
            if (m.DimeLed() == 29) { // the glints leave the very centre free
                EXPECT_EQ(at(img, centre(m.ledRect(k, n))), m.led(k, n).lens) << "barrier " << k << " LED " << n;
            }
            if (const auto probe = lensProbe(m, k, n)) {
                EXPECT_EQ(at(img, *probe), m.led(k, n).lens) << "barrier " << k << " LED " << n;
            } else {
                EXPECT_LE(m.DimeLed(), 15); // glints fill what the outline leaves
            }
        }
        const Geometry& b = m.barrier(k).geo;
        // Left of the number label, inside the half-disc.
        EXPECT_EQ(at(img, {b.left + b.width / 6, b.top - 4}), colour::Gray) << "head " << k;
        // Beside the head, in the gap to the next column: the silver panel.
        EXPECT_EQ(at(img, {b.left + b.width + 3, b.top - 4}), colour::Silver) << "beside head " << k;
    }
}

} // namespace

TEST(TMonitorWidget, PaintsEveryLedAndHeadWhereTheModelSays) {
    for (int v : {29, 15, 10}) {
        SCOPED_TRACE(v);
        TMonitor w;
        w.SetDimeLed(v);
        EXPECT_EQ(w.size(), QSize(w.model().geo.width, w.model().geo.height));
        HubState hub;
        resetDisplay(w.model(), hub, false, false);
        // A few coloured LEDs, to see that the lens colour is what is drawn.
        w.model().led(1, 8).SetLime();
        w.model().led(3, Led::Alarm).SetRed();
        w.model().led(8, Led::Standby).SetNavy();
        w.model().bars[1].progress = 75;
        w.refresh();
        const QImage img = render(w);
        ASSERT_EQ(img.size(), w.size());
        expectLensesAndHeads(w, img);
        // The beam indicators: 8 x 8 in their colour.
        const BeamIndicatorModel& r = w.model().raggio(3, 5);
        EXPECT_EQ(at(img, centre(r.geo)), colour::Green);
        // Power bar of couple B three quarters full: black at the left end,
        // silver at the right end.
        const Geometry& bar = w.model().bars[1].geo;
        EXPECT_EQ(at(img, {bar.left + 2, bar.top + 2}), colour::Black);
        EXPECT_EQ(at(img, {bar.left + bar.width - 3, bar.top + 2}), colour::Silver);
        EXPECT_TRUE(img.save(shotPath(QStringLiteral("monitor-%1.png").arg(v))));
    }
}

TEST(TMonitorWidget, HiddenBarriersAndCompactStripPaintNothingThere) {
    TMonitor w;
    w.SetDimeLed(29);
    HubState hub;
    resetDisplay(w.model(), hub, true, false);
    w.model().barrier(3).visible = true;
    w.model().caps[2].visible = true;
    w.refresh();
    QImage img = render(w);
    expectLensesAndHeads(w, img);
    // Where barrier 1 would be: only the silver panel.
    EXPECT_EQ(at(img, centre(w.model().ledRect(1, 5))), colour::Silver);

    resetDisplay(w.model(), hub, false, true);
    applyZoomLayout(w.model(), true);
    w.refresh();
    EXPECT_EQ(w.height(), w.model().geo.height);
    img = render(w);
    expectLensesAndHeads(w, img);
    EXPECT_TRUE(img.save(shotPath(QStringLiteral("monitor-compact.png"))));
}

TEST(TMonitorWidget, MouseClicksStoreCodesAndNotify) {
    TMonitor w;
    w.SetDimeLed(29);
    w.show();
    const MonitorModel& m = w.model();
    QSignalSpy spy(&w, &TMonitor::clicked);
    const struct {
        const char* what;
        QPoint at;
        const char* barra;
        const char* led;
        int notifications;
    } cases[] = {
        {"LED 12 of barrier 5", centre(m.ledRect(5, 12)), "5", "12", 1},
        {"beam indicator 203", centre(m.raggio(2, 3).geo), "200", "3", 1},
        {"couple letter C", centre(m.labGruppi[2].geo), "13", "0", 1},
        {"number label 6", centre(m.labBarre[5].geo), "6", "0", 1},
        {"background keeps the codes", {m.geo.width - 3, m.geo.height - 3}, "6", "0", 1},
        {"a legend does nothing", centre(m.labFail.geo), "6", "0", 0},
        {"a beep switch toggles only", centre(m.soundBeams.geo), "6", "0", 0},
    };
    for (const auto& c : cases) {
        spy.clear();
        QTest::mouseClick(&w, Qt::LeftButton, {}, c.at);
        EXPECT_EQ(spy.count(), c.notifications) << c.what;
        EXPECT_EQ(w.clickBarra(), QString::fromLatin1(c.barra)) << c.what;
        EXPECT_EQ(w.clickLed(), QString::fromLatin1(c.led)) << c.what;
    }
    EXPECT_EQ(m.soundBeams.caption, QStringLiteral("OFF-Beep"));
    QTest::mouseClick(&w, Qt::LeftButton, {}, centre(m.soundBeams.geo));
    EXPECT_EQ(m.soundBeams.caption, QStringLiteral("ON-Beep"));
    // Pressing on one LED and letting go on another is no click.
    spy.clear();
    QTest::mousePress(&w, Qt::LeftButton, {}, centre(m.ledRect(1, 1)));
    QTest::mouseRelease(&w, Qt::LeftButton, {}, centre(m.ledRect(2, 1)));
    EXPECT_EQ(spy.count(), 0);
    EXPECT_EQ(w.clickBarra(), QStringLiteral("6"));
}

TEST(TMonitorWidget, BlinkingHeadIsPaintedBlack) {
    TMonitor w;
    w.SetDimeLed(29);
    w.model().caps[3].brush = colour::Black;
    w.refresh();
    const QImage img = render(w);
    const Geometry& b = w.model().barrier(4).geo;
    EXPECT_EQ(at(img, {b.left + b.width / 6, b.top - 4}), colour::Black);
    const Geometry& b5 = w.model().barrier(5).geo;
    EXPECT_EQ(at(img, {b5.left + b5.width / 6, b5.top - 4}), colour::Gray);
}

TEST(TMonitorWidget, ToolTipShowsTheOnCounter) {
    TMonitor w;
    w.SetDimeLed(29);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.model().led(6, Led::Tamper).count = 37;
    const QPoint p = centre(w.model().ledRect(6, Led::Tamper));
    QHelpEvent tip(QEvent::ToolTip, p, w.mapToGlobal(p));
    QApplication::sendEvent(&w, &tip);
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text(), QStringLiteral("37"));
    // Off the LEDs there is no tool tip.
    const QPoint off = centre(w.model().labAlarm.geo);
    QHelpEvent none(QEvent::ToolTip, off, w.mapToGlobal(off));
    QApplication::sendEvent(&w, &none);
    EXPECT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 3000));
}

TEST(TMonitorWidget, ItalianLegends) {
    TMonitor w;
    w.SetDimeLed(29);
    w.setItalian(true);
    EXPECT_EQ(w.model().labBlind.caption, QStringLiteral("Cieco"));
    EXPECT_EQ(w.model().labLetters[0].caption, QStringLiteral("R"));
    EXPECT_EQ(w.model().labLetters[4].caption, QStringLiteral("I"));
    EXPECT_TRUE(render(w).save(shotPath(QStringLiteral("monitor-29-ita.png"))));
}

// A live record repaints only the barriers it changed; what reaches the screen
// (the window's backing store, not a fresh full render) must still be right,
// and an unchanged barrier must not be repainted.
TEST(TMonitorWidget, RecordRepaintsOnlyChangedBarriersAndShowsThemRight) {
    QWidget top;
    auto* w = new TMonitor(&top);
    w->SetDimeLed(29);
    top.resize(w->width() + 2, w->height() + 2);
    top.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&top));
    QApplication::processEvents();

    struct PaintCounter : QObject {
        QRegion painted;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Paint) painted += static_cast<QPaintEvent*>(e)->region();
            return false;
        }
    } counter;
    w->installEventFilter(&counter);

    MonitorModel& m = w->model();
    m.led(3, Led::Alarm).SetRed();
    m.led(3, Led::Alarm).SetRingWhite();
    m.caps[2].brush = colour::Black;
    w->refresh();
    QApplication::processEvents();

    const Geometry b3 = m.barrier(3).geo, b6 = m.barrier(6).geo;
    EXPECT_TRUE(counter.painted.intersects(QRect(b3.left, b3.top, b3.width, b3.height)));
    EXPECT_FALSE(counter.painted.intersects(QRect(b6.left, b6.top, b6.width, b6.height)));
    // ... and of barrier 3 only the LED that changed.
    const Geometry beam1 = m.ledRect(3, 1);
    EXPECT_FALSE(counter.painted.intersects(QRect(beam1.left, beam1.top, beam1.width, beam1.height)));

    // The screen shows exactly what a full render of the model shows.
    auto expectScreenMatchesModel = [&] {
        const QImage screen = top.screen()->grabWindow(top.winId()).toImage().convertToFormat(QImage::Format_RGB32);
        const QImage full = render(*w);
        ASSERT_FALSE(screen.isNull());
        const QPoint off = w->pos();
        for (int y = 0; y < full.height(); ++y)
            for (int x = 0; x < full.width(); ++x)
                ASSERT_EQ(at(screen, QPoint(x, y) + off), at(full, QPoint(x, y))) << x << "," << y;
    };
    expectScreenMatchesModel();

    // Heads blinking at both ends repaint their own rectangles, not what lies
    // between them; the barriers hiding their lower halves are drawn again.
    counter.painted = QRegion();
    m.caps[0].brush = colour::Black;
    m.caps[7].brush = colour::Black;
    w->refresh();
    QApplication::processEvents();
    const Geometry b4 = m.barrier(4).geo;
    EXPECT_FALSE(counter.painted.isEmpty());
    EXPECT_FALSE(counter.painted.intersects(QRect(b4.left, b4.top, b4.width, b4.height)));
    EXPECT_FALSE(counter.painted.intersects(QRect(b6.left, b6.top, b6.width, b6.height)));
    // ... nor the LEDs far below the head.
    const Geometry b1 = m.barrier(1).geo, low = m.barrier(1).leds[13].geo;
    EXPECT_FALSE(counter.painted.intersects(QRect(b1.left + low.left, b1.top + low.top, low.width, low.height)));
    expectScreenMatchesModel();

    // A change outside the barriers (a power bar) repaints the whole monitor.
    counter.painted = QRegion();
    m.bars[0].progress = 50;
    w->refresh();
    QApplication::processEvents();
    EXPECT_TRUE(counter.painted.contains(QRect(b6.left, b6.top, b6.width, b6.height)));
}

// Live records repaint only what they change: after every record, whatever
// it changed (all twelve bytes now and then, blinking heads, a zoom change,
// a barrier hidden), the screen must show what a full repaint shows.
TEST(TMonitorWidget, PartialRepaintsLeaveNothingStale) {
    QWidget top;
    auto* w = new TMonitor(&top);
    w->SetDimeLed(29);
    top.resize(w->width() + 2, w->height() + 2);
    top.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&top));
    MonitorModel& m = w->model();
    HubState hub;
    resetDisplay(m, hub, false, false);
    RiceviSet_SW(m, hub, 0x40, {0xBF, 0x00, 0x11, 0x11, 0x11, 0x11, 0x0F, 0x00, 0x00}, false);
    hub.stream.blinkCount = 5;
    w->refresh();
    QApplication::processEvents();

    std::mt19937 rng(11);
    StateRecord rec{};
    for (int i = 0; i < 80; ++i) {
        if (i == 40) w->SetDimeLed(17);
        if (i == 60) { // its head goes on blinking, now whole
            m.barrier(3).visible = false;
            hub.blink[2] = 9;
        }
        if (i % 16 == 15) {
            for (auto& b : rec) b ^= static_cast<std::uint8_t>(1 + rng() % 255);
        } else {
            rec[rng() % 12] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
        }
        RiceviDati(m, hub, rec, false, false, i >= 66 && i < 72);
        w->refresh();
        QApplication::processEvents();
        const QImage screen = top.screen()->grabWindow(top.winId()).toImage().convertToFormat(QImage::Format_RGB32);
        const QImage full = render(*w);
        const QImage shown = screen.copy(QRect(w->pos(), full.size()));
        if (shown == full) continue;
        for (int y = 0; y < full.height(); ++y)
            for (int x = 0; x < full.width(); ++x)
                ASSERT_EQ(at(shown, {x, y}), at(full, {x, y})) << "record " << i << " at " << x << "," << y;
    }
}

TEST(TMonitorWidget, LabelsDrawTheSamePixelsAsDrawingEachCharacterAsText) {
    // The labels' characters are drawn from kept glyphs; each must come out
    // as drawText draws it at the same pen position, for every label of the
    // monitor in both languages and at several LED sizes.
    auto byText = [](QPainter& p, const hub::LabelModel& l) {
        const int px = hub::fontPixelSize(l.fontSize);
        if (!l.visible || px <= 0 || l.caption.isEmpty()) return;
        QFont f(hub::fontFamily(l.face));
        f.setPixelSize(px);
        f.setBold(l.bold);
        f.setKerning(false);
        p.setFont(f);
        p.setPen(QColor::fromRgb(QRgb(0xFF000000u | l.colour)));
        const hub::TextBox box = hub::measureText(l.face, l.fontSize, l.caption);
        const std::vector<int> at = hub::charOffsets(l.face, l.fontSize, l.caption);
        for (int c = 0; c < l.caption.size(); ++c)
            p.drawText(QPointF(l.geo.left + at[c], l.geo.top + box.ascent), QString(l.caption[c]));
    };
    for (bool italian : {false, true}) {
        for (int dime : {10, 14, 20, 29}) {
            hub::TMonitor m;
            m.setItalian(italian);
            m.SetDimeLed(dime);
            const hub::MonitorModel& mm = m.model();
            std::vector<hub::LabelModel> labels(mm.labVers.begin(), mm.labVers.end());
            labels.insert(labels.end(), mm.labBarre.begin(), mm.labBarre.end());
            labels.insert(labels.end(), mm.labGruppi.begin(), mm.labGruppi.end());
            labels.insert(labels.end(), mm.labRaggi.begin(), mm.labRaggi.end());
            labels.insert(labels.end(), mm.labLetters.begin(), mm.labLetters.end());
            for (const hub::LabelModel* l : {&mm.labAlarm, &mm.labTamp, &mm.labFail, &mm.labDisq, &mm.labStb,
                                             &mm.labBlind, &mm.labPower})
                labels.push_back(*l);
            int drawn = 0;
            for (hub::LabelModel l : labels) {
                const QRect box(l.geo.left, l.geo.top, l.geo.width, l.geo.height);
                // Repainted areas beside the label or across it: what falls in
                // them is the same whether characters are left out or not.
                const QRegion areas[] = {
                    {},
                    QRegion(box.adjusted(-3, -3, 3, 3)),
                    QRegion(box.left() - 3, box.top() - 3, box.width() + 6, 3),
                    QRegion(box.right() + 1, box.top(), 3, box.height()),
                    QRegion(box.left() - 3, box.top(), 3, box.height()) + QRect(box.left(), box.bottom() + 1, 4, 3),
                    QRegion(box.left() + box.width() / 2, box.top() + box.height() / 2, 2, 2),
                };
                for (const QRegion& area : areas) {
                hub::Rgb colours[] = {hub::colour::Black, hub::colour::White, 0x0000FFu};
                for (hub::Rgb colour : colours) {
                    if (!area.isEmpty() && colour != hub::colour::Black) continue;
                    l.colour = colour;
                    // The label's box with room for overhanging glyphs.
                    QImage a(l.geo.width + 16, l.geo.height + 16, QImage::Format_RGB32), b = a;
                    a.fill(0xFFC0C0C0);
                    b.fill(0xFFC0C0C0);
                    QPainter pa(&a), pb(&b);
                    for (QPainter* p : {&pa, &pb}) {
                        p->translate(8 - l.geo.left, 8 - l.geo.top);
                        p->setRenderHint(QPainter::Antialiasing, true);
                        p->setRenderHint(QPainter::TextAntialiasing, true);
                    }
                    if (!area.isEmpty()) {
                        pa.setClipRegion(area);
                        pb.setClipRegion(area);
                    }
                    hub::paintLabel(pa, l, area.isEmpty() ? nullptr : &area);
                    byText(pb, l);
                    pa.end();
                    pb.end();
                    EXPECT_EQ(a, b) << "\"" << l.caption.toStdString() << "\" at LED size " << dime
                                    << (italian ? " (Italian)" : "");
                    QImage blank(a.size(), a.format());
                    blank.fill(0xFFC0C0C0);
                    drawn += a != blank;
                }
                }
            }
            EXPECT_GT(drawn, 60) << dime;
        }
    }
}
