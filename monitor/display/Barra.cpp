#include "monitor/display/Barra.h"

#include <QHash>
#include <QHelpEvent>
#include <QPixmap>
#include <algorithm>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
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

void label(QPainter& p, const LabelModel& l) {
    const int px = fontPixelSize(l.fontSize);
    if (!l.visible || px <= 0 || l.caption.isEmpty()) return;
    QFont f(fontFamily(l.face));
    f.setPixelSize(px);
    f.setBold(l.bold);
    f.setKerning(false);
    p.setFont(f);
    p.setPen(qc(l.colour));
    // Each character at the model's offset, so the text fills exactly the
    // label box that the layout and the hit test use.
    const TextBox box = measureText(l.face, l.fontSize, l.caption);
    const std::vector<int> at = charOffsets(l.face, l.fontSize, l.caption);
    for (int c = 0; c < l.caption.size(); ++c)
        p.drawText(QPointF(l.geo.left + at[c], l.geo.top + box.ascent), QString(l.caption[c]));
}

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
    pm.fill(Qt::transparent);
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

void paintBarrier(QPainter& p, const BarrierModel& b, qreal dpr) {
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
    for (const LedModel& l : b.leds) paintLed(p, l, r.topLeft(), dpr);
    p.restore();
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
    model_.autoSize();
    const Geometry& g = model_.geo;
    if (geometry() != QRect(g.left, g.top, g.width, g.height)) setGeometry(g.left, g.top, g.width, g.height);
    // Records change only LEDs and heads, many times a second during a live
    // acquisition: repaint just the barriers that changed. Any other change
    // repaints the whole monitor.
    bool whole = !requestedValid_;
    QRegion dirty;
    if (!whole) {
        MonitorModel rest = requested_;
        for (size_t k = 0; k < rest.barre.size(); ++k) {
            rest.barre[k] = model_.barre[k];
            rest.caps[k] = model_.caps[k];
        }
        whole = !(rest == model_);
        if (!whole) {
            auto rect = [](const Geometry& r) { return QRect(r.left, r.top, r.width, r.height); };
            for (size_t k = 0; k < model_.barre.size(); ++k) {
                // A blinking head changes on every record: its own rectangle
                // is enough, not its whole barrier.
                if (!(requested_.barre[k] == model_.barre[k]))
                    dirty += rect(requested_.barre[k].geo) | rect(model_.barre[k].geo);
                if (!(requested_.caps[k] == model_.caps[k]))
                    dirty += rect(requested_.caps[k].geo) | rect(model_.caps[k].geo);
            }
        }
    }
    requested_ = model_;
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
    const MonitorModel& m = model_;
    const QRect all = rect();
    // The panel: silver, lowered outer and raised inner bevel.
    p.fillRect(all, qc(m.colour));
    bevel(p, all, colour::Gray, colour::White);
    bevel(p, all.adjusted(1, 1, -1, -1), colour::White, colour::Gray);

    // Shapes, labels, gauges and buttons first, in order of creation; the
    // barrier panels and beam indicators lie above them (so the lower half of
    // every head is hidden behind its barrier).
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    for (int k = 1; k <= 8; ++k) {
        if (needed(m.labVers[k - 1].geo)) label(p, m.labVers[k - 1]);
        const ShapeModel& cap = m.caps[k - 1];
        if (cap.visible && needed(cap.geo)) {
            p.setPen(QPen(qc(cap.pen), 1));
            p.setBrush(qc(cap.brush));
            p.drawEllipse(QRectF(cap.geo.left + 0.5, cap.geo.top + 0.5, cap.geo.width - 1, cap.geo.height - 1));
        }
        if (needed(m.labBarre[k - 1].geo)) label(p, m.labBarre[k - 1]);
    }
    for (int i = 1; i <= 4; ++i) {
        if (needed(m.labGruppi[i - 1].geo)) label(p, m.labGruppi[i - 1]);
        if (needed(m.bars[i - 1].geo)) powerBar(p, m.bars[i - 1]);
    }
    p.setRenderHint(QPainter::Antialiasing, false);
    for (int i = 1; i <= 4; ++i) {
        for (const ShapeModel* s : {&m.sepDark[i - 1], &m.sepLight[i - 1]}) {
            if (!s->visible || s->geo.height <= 0) continue;
            p.fillRect(QRect(s->geo.left, s->geo.top, 1, s->geo.height), qc(s->pen));
        }
    }
    for (const LabelModel& l : m.labRaggi)
        if (needed(l.geo)) label(p, l);
    for (const LabelModel* l : {&m.labAlarm, &m.labTamp, &m.labFail, &m.labDisq, &m.labStb, &m.labBlind, &m.labPower})
        if (needed(l->geo)) label(p, *l);
    for (const LabelModel& l : m.labLetters)
        if (needed(l.geo)) label(p, l);
    if (needed(m.soundBeams.geo)) soundSwitch(p, m.soundBeams);
    if (needed(m.soundLeds.geo)) soundSwitch(p, m.soundLeds);

    for (const BarrierModel& b : m.barre)
        if (needed(b.geo)) paintBarrier(p, b, devicePixelRatioF());
    p.setRenderHint(QPainter::Antialiasing, false);
    for (const auto& couple : m.raggi)
        for (const BeamIndicatorModel& r : couple)
            if (r.visible) p.fillRect(QRect(r.geo.left, r.geo.top, r.geo.width, r.geo.height), qc(r.colour));
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
