#include "monitor/display/Barra.h"

#include <QHash>
#include <array>
#include <QHelpEvent>
#include <QPixmap>
#include <algorithm>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QGlyphRun>
#include <QRawFont>
#include <QTextLayout>
#include <QToolTip>

namespace hub {

namespace {

QColor qc(Rgb c) { return QColor::fromRgb(QRgb(0xFF000000u | c)); }

// A circle drawn like a shape control: the pen lies inside the bounds.
void circle(QPainter& p, const Geometry& g, Rgb brush, Rgb pen, int penWidth) {
    if (g.width <= 0 || g.height <= 0) return;
    const int s = std::min(g.width, g.height);
    p.setPen(penWidth > 0 ? QPen(qc(pen), penWidth) : QPen(Qt::NoPen));
    p.setBrush(qc(brush));
    const qreal half = penWidth / 2.0;
    p.drawEllipse(QRectF(g.left + half, g.top + half, s - penWidth, s - penWidth));
}

// The glyph drawText gives a character of a label's font, found once: the
// labels beside the LEDs are repainted with them many times a second, and
// shaping a character costs far more than drawing it.
struct CharGlyph {
    QRawFont font;
    quint32 index = 0;
    qreal offset = 0; // from the pen position
    QRect ink;        // what it can paint, from the pen position
    bool placed = false; // false: more than one glyph, or none; drawText draws it
};

QFont labelFont(const LabelModel& l, int px) {
    QFont f(fontFamily(l.face));
    f.setPixelSize(px);
    f.setBold(l.bold);
    f.setKerning(false);
    return f;
}

// The label's face, pixel size and weight make the key.
const CharGlyph& charGlyph(const LabelModel& l, int px, QChar c, const QPaintDevice* device) {
    static QHash<quint64, CharGlyph> kept;
    const quint64 key = (quint64(px) << 24) | (quint64(l.bold) << 20) | (quint64(l.face) << 17) | c.unicode();
    auto it = kept.find(key);
    if (it != kept.end()) return *it;
    CharGlyph g;
    QTextLayout layout(QString(c), labelFont(l, px), device);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLineWidth(1e6);
    layout.endLayout();
    const QList<QGlyphRun> runs = layout.glyphRuns();
    if (runs.size() == 1 && runs.front().glyphIndexes().size() == 1) {
        g.font = runs.front().rawFont();
        g.index = runs.front().glyphIndexes().front();
        g.offset = runs.front().positions().front().x();
        // The outline's box, widened for hinting and antialiasing.
        g.ink = g.font.boundingRect(g.index).translated(g.offset, 0).toAlignedRect().adjusted(-2, -2, 2, 2);
        g.placed = true;
    }
    return *kept.insert(key, g);
}

} // namespace

void paintLabel(QPainter& p, const LabelModel& l, const QRegion* area) {
    const int px = fontPixelSize(l.fontSize);
    if (!l.visible || px <= 0 || l.caption.isEmpty()) return;
    // Each character at the model's offset, so the text fills exactly the
    // label box that the layout and the hit test use.
    const TextBox box = measureText(l.face, l.fontSize, l.caption);
    const std::vector<int> at = charOffsets(l.face, l.fontSize, l.caption);
    auto pen = [&](int c) { return QPoint(l.geo.left + at[c], l.geo.top + box.ascent); };
    if (area) {
        // Beside a repainted LED or head the label's box is often reached
        // while none of its characters is: then nothing of it is painted.
        bool reached = false;
        for (int c = 0; c < l.caption.size() && !reached; ++c) {
            const CharGlyph& g = charGlyph(l, px, l.caption[c], p.device());
            reached = !g.placed || area->intersects(g.ink.translated(pen(c)));
        }
        if (!reached) return;
    }
    p.setFont(labelFont(l, px));
    p.setPen(qc(l.colour));
    for (int c = 0; c < l.caption.size(); ++c) {
        const CharGlyph& g = charGlyph(l, px, l.caption[c], p.device());
        if (!g.placed) {
            p.drawText(QPointF(pen(c)), QString(l.caption[c]));
            continue;
        }
        QGlyphRun run;
        run.setRawFont(g.font);
        run.setGlyphIndexes({g.index});
        run.setPositions({QPointF(g.offset, 0)});
        p.drawGlyphRun(QPointF(pen(c)), run);
    }
}

namespace {

void label(QPainter& p, const LabelModel& l, const QRegion& area) { paintLabel(p, l, &area); }

void bevel(QPainter& p, QRect r, Rgb topLeft, Rgb bottomRight) {
    p.setPen(qc(topLeft));
    p.drawLine(r.left(), r.top(), r.right(), r.top());
    p.drawLine(r.left(), r.top(), r.left(), r.bottom());
    p.setPen(qc(bottomRight));
    p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
    p.drawLine(r.right(), r.top(), r.right(), r.bottom());
}

void soundSwitch(QPainter& p, const SoundSwitchModel& s) {
    if (!s.visible || s.geo.width <= 0) return;
    const QRect r(s.geo.left, s.geo.top, s.geo.width, s.geo.height);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(r, qc(colour::Silver));
    bevel(p, r, colour::White, colour::Black);
    bevel(p, r.adjusted(1, 1, -1, -1), colour::Silver, colour::Gray);
    QFont f(fontFamily(FontFace::Sans));
    // "Arial" 8, smaller where the switch is narrower than its caption (the
    // small LED sizes), so the caption is never cut.
    for (int px = fontPixelSize(8); px >= 6; --px) {
        f.setPixelSize(px);
        if (QFontMetrics(f).horizontalAdvance(s.caption) <= s.geo.width - 4) break;
    }
    p.setFont(f);
    p.setPen(qc(s.fontColour));
    p.drawText(r, Qt::AlignCenter, s.caption);
}

void powerBar(QPainter& p, const PowerBarModel& b) {
    if (!b.visible || b.geo.width <= 0) return;
    const QRect r(b.geo.left, b.geo.top, b.geo.width, b.geo.height);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(r, qc(colour::Silver));
    const int inner = std::max(0, b.geo.width - 2);
    const int fill = inner * std::clamp(b.progress, 0, 100) / 100;
    const QRect filled(r.left() + 1, r.top() + 1, fill, r.height() - 2);
    if (fill > 0) p.fillRect(filled, Qt::black);
    // The gauge's percentage, inverted where it crosses the filled part.
    QFont f(fontFamily(FontFace::Sans));
    f.setPixelSize(fontPixelSize(7));
    p.setFont(f);
    const QString pct = QString::number(std::clamp(b.progress, 0, 100)) + QLatin1Char('%');
    p.save();
    p.setClipRect(r.adjusted(1, 1, -1, -1));
    p.setPen(Qt::black);
    p.drawText(r, Qt::AlignCenter, pct);
    if (fill > 0) {
        p.setClipRect(filled);
        p.setPen(qc(colour::Silver));
        p.drawText(r, Qt::AlignCenter, pct);
    }
    p.restore();
    p.setPen(Qt::black);
    p.setBrush(Qt::NoBrush);
    p.drawRect(r.adjusted(0, 0, -1, -1));
}

// One LED drawn at 0,0: ring, lens, three glints.
void drawLed(QPainter& p, const LedModel& l) {
    const Geometry g{0, 0, l.geo.width, l.geo.height};
    p.fillRect(QRect(0, 0, g.width, g.height), qc(colour::Gray));
    circle(p, g, l.ring, colour::Black, 1);
    circle(p, l.lensGeo, l.lens, colour::Black, 2);
    for (const Geometry& gl : l.glint) circle(p, gl, colour::White, colour::White, 0);
}

// Antialiased circles are most of the monitor's painting cost and a live
// acquisition repaints it many times a second, yet an LED only ever shows a
// few looks: each look is drawn once and reused.
struct LedLook {
    Geometry geo, lens, g0, g1, g2;
    Rgb lensColour, ring;
    int dpr100;
    bool operator==(const LedLook& o) const {
        auto same = [](const Geometry& a, const Geometry& b) {
            return a.left == b.left && a.top == b.top && a.width == b.width && a.height == b.height;
        };
        return same(geo, o.geo) && same(lens, o.lens) && same(g0, o.g0) && same(g1, o.g1) &&
               same(g2, o.g2) && lensColour == o.lensColour && ring == o.ring && dpr100 == o.dpr100;
    }
};

size_t qHash(const LedLook& k, size_t seed = 0) {
    auto h = [](const Geometry& g) { return qHashMulti(0, g.left, g.top, g.width, g.height); };
    return qHashMulti(seed, k.geo.width, k.geo.height, h(k.lens), h(k.g0), h(k.g1), h(k.g2),
                      k.lensColour, k.ring, k.dpr100);
}

const QPixmap& ledPixmap(const LedModel& l, qreal dpr) {
    static QHash<LedLook, QPixmap> cache;
    const LedLook key{{0, 0, l.geo.width, l.geo.height}, l.lensGeo, l.glint[0], l.glint[1], l.glint[2],
                      l.lens, l.ring, qRound(dpr * 100)};
    auto it = cache.find(key);
    if (it != cache.end()) return *it;
    if (cache.size() > 4096) cache.clear(); // sizes and colours are few; never grow without bound
    QPixmap pm(qMax(1, qRound(l.geo.width * dpr)), qMax(1, qRound(l.geo.height * dpr)));
    pm.setDevicePixelRatio(dpr);
    // Opaque, as drawLed fills it whole: copied without blending.
    pm.fill(qc(colour::Gray));
    {
        QPainter pp(&pm);
        pp.setRenderHint(QPainter::Antialiasing, true);
        drawLed(pp, l);
    }
    return *cache.insert(key, pm);
}

void paintLed(QPainter& p, const LedModel& l, QPoint origin, qreal dpr) {
    if (!l.visible || l.geo.width <= 0 || l.geo.height <= 0) return;
    p.drawPixmap(origin.x() + l.geo.left, origin.y() + l.geo.top, ledPixmap(l, dpr));
}

void paintBarrier(QPainter& p, const BarrierModel& b, const QRegion& area, qreal dpr) {
    if (!b.visible) return;
    const QRect r(b.geo.left, b.geo.top, b.geo.width, b.geo.height);
    p.save();
    p.setClipRect(r);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(r, qc(b.colour));
    p.setPen(qc(colour::White));
    p.drawLine(r.left(), r.top(), r.left(), r.bottom());
    p.drawLine(r.right(), r.top(), r.right(), r.bottom());
    p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
    // A record mostly repaints a few LEDs: the others are left out.
    for (const LedModel& l : b.leds)
        if (area.intersects(QRect(r.left() + l.geo.left, r.top() + l.geo.top, l.geo.width, l.geo.height)))
            paintLed(p, l, r.topLeft(), dpr);
    p.restore();
}

void paintHead(QPainter& p, const ShapeModel& cap) {
    p.setPen(QPen(qc(cap.pen), 1));
    p.setBrush(qc(cap.brush));
    p.drawEllipse(QRectF(cap.geo.left + 0.5, cap.geo.top + 0.5, cap.geo.width - 1, cap.geo.height - 1));
}

// A blinking head is repainted on every record, with the barrier number on
// it, and both cost far more to draw than to copy: like the LEDs, each look
// is drawn once and reused. Only the panel lies under a head, so the copy
// carries the panel's colour around the half-disc.
struct HeadLook {
    int width, height;
    Rgb brush, pen, panel;
    QString caption; // the number label, at (dx, dy) inside the head
    int dx, dy, fontSize;
    Rgb colour;
    FontFace face;
    bool bold;
    int dpr100;
    bool operator==(const HeadLook&) const = default;
};

size_t qHash(const HeadLook& k, size_t seed = 0) {
    return qHashMulti(seed, k.width, k.height, k.brush, k.pen, k.panel, k.caption, k.dx, k.dy,
                      k.fontSize, k.colour, int(k.face), k.bold, k.dpr100);
}

// The head with its number label when the label lies well inside it (glyphs
// may overhang their box by 2 px); else nullptr and both are drawn directly.
const QPixmap* headPixmap(const ShapeModel& cap, const LabelModel& number, Rgb panel, qreal dpr) {
    const Geometry& g = cap.geo;
    const Geometry& n = number.geo;
    if (g.width <= 0 || g.height <= 0 || n.left - 2 < g.left || n.top - 2 < g.top ||
        n.left + n.width + 2 > g.left + g.width || n.top + n.height + 2 > g.top + g.height)
        return nullptr;
    static QHash<HeadLook, QPixmap> cache;
    const HeadLook key{g.width, g.height, cap.brush, cap.pen, panel, number.visible ? number.caption : QString(),
                       n.left - g.left, n.top - g.top, number.fontSize, number.colour, number.face,
                       number.bold, qRound(dpr * 100)};
    auto it = cache.find(key);
    if (it != cache.end()) return &*it;
    if (cache.size() > 1024) cache.clear(); // sizes and numbers are few; never grow without bound
    QPixmap pm(qMax(1, qRound(g.width * dpr)), qMax(1, qRound(g.height * dpr)));
    pm.setDevicePixelRatio(dpr);
    {
        QPainter pp(&pm);
        pp.fillRect(QRect(0, 0, g.width, g.height), qc(panel));
        pp.setRenderHint(QPainter::Antialiasing, true);
        pp.setRenderHint(QPainter::TextAntialiasing, true);
        pp.translate(-g.left, -g.top); // the same coordinates as on the monitor
        paintHead(pp, cap);
        paintLabel(pp, number);
    }
    return &*cache.insert(key, pm);
}

} // namespace

TMonitor::TMonitor(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(false);
    refresh();
}

void TMonitor::SetDimeLed(int v) {
    model_.SetDimeLed(v);
    refresh();
}

void TMonitor::setItalian(bool italian) {
    model_.setItalian(italian);
    refresh();
}

void TMonitor::refresh() {
    // Records change only LEDs and heads, many times a second during a live
    // acquisition: repaint just what of them changed. Any other change
    // repaints the whole monitor. The barriers and heads are compared apart,
    // without copying the whole model, as this runs for every record.
    bool whole = !requestedValid_;
    QRegion dirty;
    if (!whole) {
        // Barrier by barrier against what was last requested; only the ones
        // that changed are copied over, before the rest of the model is
        // compared.
        auto rect = [](const Geometry& r) { return QRect(r.left, r.top, r.width, r.height); };
        for (size_t k = 0; k < model_.barre.size(); ++k) {
            BarrierModel& was = requested_.barre[k];
            const BarrierModel& now = model_.barre[k];
            ShapeModel& wasCap = requested_.caps[k];
            const ShapeModel& nowCap = model_.caps[k];
            const bool barrierChanged = !(was == now);
            const bool capChanged = !(wasCap == nowCap);
            if (!barrierChanged && !capChanged) continue;
            // A record changes LEDs' colours and counters: the squares of
            // those that changed are enough, not their whole barrier.
            const bool sameFrame = was.geo == now.geo && was.visible == now.visible && was.colour == now.colour;
            if (barrierChanged && sameFrame) {
                QRect leds;
                for (size_t n = 0; n < now.leds.size(); ++n)
                    if (!(was.leds[n] == now.leds[n]))
                        leds |= rect(was.leds[n].geo.moved(was.geo.left, was.geo.top)) |
                                rect(now.leds[n].geo.moved(now.geo.left, now.geo.top));
                if (!leds.isEmpty()) dirty += leds;
            } else if (barrierChanged) {
                dirty += rect(was.geo) | rect(now.geo);
            }
            // A blinking head changes on every record: its own rectangle, less
            // the lower half that its barrier covers.
            if (capChanged) {
                const QRect head = rect(wasCap.geo) | rect(nowCap.geo);
                const QRect bar = rect(now.geo);
                if (!sameFrame || !now.visible)
                    dirty += head;
                else if (head.left() >= bar.left() && head.right() <= bar.right() && head.bottom() >= bar.top())
                    dirty += QRect(head.left(), head.top(), head.width(), bar.top() - head.top());
                else
                    dirty += QRegion(head) - bar;
            }
            if (barrierChanged) was = now;
            if (capChanged) wasCap = nowCap;
        }
        whole = !(requested_ == model_);
    }
    // The labels were measured when last shown, unless something else changed.
    if (whole) model_.autoSize();
    const Geometry& g = model_.geo;
    if (geometry() != QRect(g.left, g.top, g.width, g.height)) setGeometry(g.left, g.top, g.width, g.height);
    if (whole) requested_ = model_;
    requestedValid_ = true;
    if (whole)
        update();
    else if (!dirty.isEmpty())
        update(dirty);
}

void TMonitor::moveEvent(QMoveEvent* e) {
    model_.geo.left = pos().x();
    model_.geo.top = pos().y();
    QWidget::moveEvent(e);
}

void TMonitor::paintEvent(QPaintEvent* e) {
    QPainter p(this);
    // Elements outside the area being repainted are not drawn at all. The
    // region, not its bounding rectangle: heads blinking at both ends of the
    // monitor would otherwise have everything between them drawn.
    const QRegion area = e->region();
    auto needed = [&area](const Geometry& g) {
        return area.intersects(QRect(g.left - 2, g.top - 2, g.width + 4, g.height + 4)); // glyph overhang
    };
    const qreal dpr = devicePixelRatioF();
    const MonitorModel& m = model_;
    const QRect all = rect();
    // The panel: silver, lowered outer and raised inner bevel. Barriers and
    // the heads drawn from a copy cover their rectangles whole, so a record's
    // repaint, which lies within them, leaves the panel alone.
    std::array<QRect, 16> opaque;
    size_t opaqueCount = 0;
    for (size_t k = 0; k < m.barre.size(); ++k) {
        const Geometry& b = m.barre[k].geo;
        const Geometry& c = m.caps[k].geo;
        if (m.barre[k].visible) opaque[opaqueCount++] = QRect(b.left, b.top, b.width, b.height);
        if (m.caps[k].visible && headPixmap(m.caps[k], m.labBarre[k], m.colour, dpr))
            opaque[opaqueCount++] = QRect(c.left, c.top, c.width, c.height);
    }
    for (const QRect& r : area) {
        bool covered = false;
        for (size_t i = 0; i < opaqueCount && !covered; ++i) covered = opaque[i].contains(r);
        if (!covered) p.fillRect(r & all, qc(m.colour));
    }
    if (!all.adjusted(2, 2, -2, -2).contains(area.boundingRect())) {
        bevel(p, all, colour::Gray, colour::White);
        bevel(p, all.adjusted(1, 1, -1, -1), colour::White, colour::Gray);
    }

    // Shapes, labels, gauges and buttons first, in order of creation; the
    // barrier panels and beam indicators lie above them (so the lower half of
    // every head is hidden behind its barrier).
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    for (int k = 1; k <= 8; ++k) {
        if (needed(m.labVers[k - 1].geo)) label(p, m.labVers[k - 1], area);
        const ShapeModel& cap = m.caps[k - 1];
        const LabelModel& number = m.labBarre[k - 1];
        const QPixmap* head = cap.visible && needed(cap.geo) ? headPixmap(cap, number, m.colour, dpr) : nullptr;
        if (head) {
            p.drawPixmap(cap.geo.left, cap.geo.top, *head);
            continue;
        }
        if (cap.visible && needed(cap.geo)) paintHead(p, cap);
        if (needed(number.geo)) label(p, number, area);
    }
    for (int i = 1; i <= 4; ++i) {
        if (needed(m.labGruppi[i - 1].geo)) label(p, m.labGruppi[i - 1], area);
        if (needed(m.bars[i - 1].geo)) powerBar(p, m.bars[i - 1]);
    }
    p.setRenderHint(QPainter::Antialiasing, false);
    for (int i = 1; i <= 4; ++i) {
        for (const ShapeModel* s : {&m.sepDark[i - 1], &m.sepLight[i - 1]}) {
            if (!s->visible || s->geo.height <= 0 || !area.intersects(QRect(s->geo.left, s->geo.top, 1, s->geo.height)))
                continue;
            p.fillRect(QRect(s->geo.left, s->geo.top, 1, s->geo.height), qc(s->pen));
        }
    }
    for (const LabelModel& l : m.labRaggi)
        if (needed(l.geo)) label(p, l, area);
    for (const LabelModel* l : {&m.labAlarm, &m.labTamp, &m.labFail, &m.labDisq, &m.labStb, &m.labBlind, &m.labPower})
        if (needed(l->geo)) label(p, *l, area);
    for (const LabelModel& l : m.labLetters)
        if (needed(l.geo)) label(p, l, area);
    if (needed(m.soundBeams.geo)) soundSwitch(p, m.soundBeams);
    if (needed(m.soundLeds.geo)) soundSwitch(p, m.soundLeds);

    for (const BarrierModel& b : m.barre) // nothing of a barrier lies outside its rectangle
        if (area.intersects(QRect(b.geo.left, b.geo.top, b.geo.width, b.geo.height))) paintBarrier(p, b, area, dpr);
    p.setRenderHint(QPainter::Antialiasing, false);
    for (const auto& couple : m.raggi)
        for (const BeamIndicatorModel& r : couple)
            if (r.visible && area.intersects(QRect(r.geo.left, r.geo.top, r.geo.width, r.geo.height)))
                p.fillRect(QRect(r.geo.left, r.geo.top, r.geo.width, r.geo.height), qc(r.colour));
}

void TMonitor::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) {
        pressed_ = model_.hitTest(e->position().toPoint());
        pressValid_ = true;
    }
    QWidget::mousePressEvent(e);
}

void TMonitor::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !pressValid_) return QWidget::mouseReleaseEvent(e);
    pressValid_ = false;
    const MonitorHit hit = model_.hitTest(e->position().toPoint());
    // A click is a press and a release on the same element.
    if (hit.kind != pressed_.kind || hit.barrier != pressed_.barrier || hit.led != pressed_.led ||
        hit.couple != pressed_.couple || hit.beam != pressed_.beam)
        return;
    const bool notify = model_.applyClick(hit);
    if (hit.kind == MonitorHit::SoundBeams || hit.kind == MonitorHit::SoundLeds) update();
    if (notify) emit clicked();
}

bool TMonitor::event(QEvent* e) {
    if (e->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(e);
        const MonitorHit hit = model_.hitTest(help->pos());
        if (hit.kind == MonitorHit::Led) {
            const Geometry g = model_.ledRect(hit.barrier, hit.led);
            // Tied to the LED's square, so it goes when the mouse leaves it.
            QToolTip::showText(help->globalPos(), model_.led(hit.barrier, hit.led).hint(), this,
                               QRect(g.left, g.top, g.width, g.height));
        } else {
            QToolTip::hideText();
            e->ignore();
        }
        return true;
    }
    return QWidget::event(e);
}

} // namespace hub
