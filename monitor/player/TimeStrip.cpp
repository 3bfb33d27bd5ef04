#include "monitor/player/TimeStrip.h"

#include "common/tdatetime.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QResizeEvent>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace hub {

namespace {

constexpr double kSecond = 1.0 / 86400.0;

// Each kind has a band of its own in a lane, a hue of its own and a pattern
// of its own: an alarm is a solid red block at the top; a tamper a purple
// double line; a fault an amber checker. No two of them can be taken for
// each other in colour or in form.
struct KindStyle {
    int top, height;
    QColor colour;
    enum class Form { Solid, DoubleLine, Checker } form;
};

KindStyle styleOf(EventKind k) {
    switch (k) {
    case EventKind::Alarm: return {1, 7, QColor(0xE0, 0x00, 0x00), KindStyle::Form::Solid};
    case EventKind::Tamper: return {9, 5, QColor(0x80, 0x00, 0xC0), KindStyle::Form::DoubleLine};
    case EventKind::Fault: return {15, 5, QColor(0xE0, 0x90, 0x00), KindStyle::Form::Checker};
    case EventKind::Disq: return {21, 2, QColor(0x80, 0x80, 0x00), KindStyle::Form::Solid};
    case EventKind::Stb: return {23, 2, QColor(0x00, 0x80, 0x80), KindStyle::Form::Solid};
    case EventKind::Blind: return {25, 2, QColor(0x20, 0x20, 0x20), KindStyle::Form::Solid};
    case EventKind::Power: return {27, 2, QColor(0x00, 0x40, 0xFF), KindStyle::Form::Checker};
    case EventKind::Beam: break;
    }
    return {29, 2, QColor(0x00, 0xA0, 0x00), KindStyle::Form::Solid};
}

// Tick steps for the axis, in seconds.
constexpr double kSteps[] = {1,    2,    5,     10,    15,    30,    60,     120,    300,
                             600,  900,  1800,  3600,  7200,  10800, 21600,  43200,  86400,
                             172800, 604800, 2592000};

} // namespace

TTimeStrip::TTimeStrip(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("TimeStrip"));
    setMouseTracking(false);
    setFocusPolicy(Qt::NoFocus);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0xF4, 0xF4, 0xF4));
    setPalette(pal);
}

void TTimeStrip::setTimeline(const PlayerTimeline* timeline) {
    timeline_ = timeline;
    redraw();
}

void TTimeStrip::setView(double t0, double t1) {
    if (t0 == t0_ && t1 == t1_) return;
    t0_ = t0;
    t1_ = std::max(t1, t0 + kSecond / 1000.0);
    redraw();
}

void TTimeStrip::redraw() {
    lanes_ = QPixmap();
    update();
}

void TTimeStrip::setCursorTime(std::optional<double> t) {
    if (cursor_ == t) return;
    // Only the old and the new cursor's columns change.
    const int h = height();
    if (cursor_) update(QRect(xAt(*cursor_) - 6, 0, 13, h));
    cursor_ = t;
    if (cursor_) update(QRect(xAt(*cursor_) - 6, 0, 13, h));
}

void TTimeStrip::setMarksCaption(const QString& caption) {
    marksCaption_ = caption;
    redraw();
}

int TTimeStrip::plotWidth() const { return std::max(1, width() - plotLeft() - 4); }
int TTimeStrip::columns() const { return std::max(1, plotWidth() / kColumnWidth); }

double TTimeStrip::timeAt(int x) const {
    const double f = static_cast<double>(x - plotLeft()) / (columns() * kColumnWidth);
    return t0_ + std::clamp(f, 0.0, 1.0) * (t1_ - t0_);
}

int TTimeStrip::xAt(double t) const {
    const double f = (t - t0_) / (t1_ - t0_);
    return plotLeft() + static_cast<int>(std::lround(f * columns() * kColumnWidth));
}

QRect TTimeStrip::laneRect(int lane) const {
    return QRect(plotLeft(), kAxisHeight + lane * kLaneHeight, columns() * kColumnWidth, kLaneHeight);
}

QRect TTimeStrip::kindBand(const QRect& lane, EventKind k) {
    const KindStyle s = styleOf(k);
    return QRect(lane.left(), lane.top() + s.top, lane.width(), s.height);
}

void TTimeStrip::paintKind(QPainter& p, EventKind k, const QRect& r) {
    const KindStyle s = styleOf(k);
    switch (s.form) {
    case KindStyle::Form::Solid: p.fillRect(r, s.colour); break;
    case KindStyle::Form::DoubleLine:
        p.fillRect(QRect(r.left(), r.top(), r.width(), 2), s.colour);
        p.fillRect(QRect(r.left(), r.bottom() - 1, r.width(), 2), s.colour);
        break;
    case KindStyle::Form::Checker: p.fillRect(r, QBrush(s.colour, Qt::Dense4Pattern)); break;
    }
}

void TTimeStrip::paintMark(QPainter& p, MarkKind k, const QRect& r) {
    const int cx = r.center().x();
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    switch (k) {
    case MarkKind::Start: // a green flag
        p.fillRect(QRect(cx, r.top() + 2, 2, r.height() - 4), QColor(0x00, 0x80, 0x00));
        p.setBrush(QColor(0x00, 0xB0, 0x00));
        p.setPen(Qt::NoPen);
        p.drawPolygon(QPolygon({QPoint(cx + 2, r.top() + 2), QPoint(cx + 9, r.top() + 6),
                                QPoint(cx + 2, r.top() + 10)}));
        break;
    case MarkKind::Settings: { // a blue diamond
        p.setBrush(QColor(0x00, 0x40, 0xFF));
        p.setPen(Qt::NoPen);
        const int cy = r.center().y();
        p.drawPolygon(QPolygon({QPoint(cx, cy - 6), QPoint(cx + 5, cy), QPoint(cx, cy + 6),
                                QPoint(cx - 5, cy)}));
        break;
    }
    case MarkKind::End: // a dark bar with a foot
        p.fillRect(QRect(cx - 1, r.top() + 2, 3, r.height() - 4), QColor(0x60, 0x00, 0x00));
        p.fillRect(QRect(cx - 5, r.bottom() - 4, 11, 3), QColor(0x60, 0x00, 0x00));
        break;
    case MarkKind::ClockBack: { // an orange chevron pointing back
        QPen pen(QColor(0xE0, 0x70, 0x00), 3);
        p.setPen(pen);
        const int cy = r.center().y();
        p.drawPolyline(QPolygon({QPoint(cx + 4, cy - 7), QPoint(cx - 4, cy), QPoint(cx + 4, cy + 7)}));
        break;
    }
    }
    p.restore();
}

void TTimeStrip::paintAxis(QPainter& p) {
    const double span = (t1_ - t0_) / kSecond;
    const double perPixel = span / std::max(1, columns() * kColumnWidth);
    double step = kSteps[std::size(kSteps) - 1];
    for (double s : kSteps)
        if (s / perPixel >= 90) {
            step = s;
            break;
        }
    const double stepDays = step * kSecond;
    p.setPen(QColor(0x40, 0x40, 0x40));
    const QRect plot = laneRect(0).united(laneRect(8));
    for (double t = std::ceil(t0_ / stepDays) * stepDays; t <= t1_; t += stepDays) {
        const int x = xAt(t);
        p.setPen(QColor(0xD0, 0xD0, 0xD0));
        p.drawLine(x, plot.top(), x, plot.bottom());
        p.setPen(QColor(0x40, 0x40, 0x40));
        p.drawLine(x, kAxisHeight - 4, x, kAxisHeight - 1);
        QDate d;
        QTime tm;
        if (!splitTDateTime(t + kSecond / 2000.0, d, tm)) continue;
        QString text;
        if (step >= 86400)
            text = shortDateText(d);
        else if (tm == QTime(0, 0))
            text = shortDateText(d);
        else
            text = tm.toString(step >= 60 ? QStringLiteral("HH:mm") : QStringLiteral("HH:mm:ss"));
        p.drawText(QRect(x + 2, 0, 120, kAxisHeight - 3), Qt::AlignLeft | Qt::AlignVCenter, text);
    }
}

void TTimeStrip::paintEvent(QPaintEvent* e) {
    // The lanes change with the view only; a moving cursor repaints its own
    // columns over the picture kept of them.
    const qreal dpr = devicePixelRatioF();
    if (lanes_.isNull() || lanes_.size() != size() * dpr) {
        lanes_ = QPixmap(size() * dpr);
        lanes_.setDevicePixelRatio(dpr);
        lanes_.fill(palette().color(QPalette::Window));
        QPainter lp(&lanes_);
        paintLanes(lp);
    }
    QPainter p(this);
    p.drawPixmap(e->rect(), lanes_, QRectF(QPointF(e->rect().topLeft()) * dpr, QSizeF(e->rect().size()) * dpr));
    if (cursor_ && *cursor_ >= t0_ && *cursor_ <= t1_) {
        const int x = xAt(*cursor_);
        p.fillRect(QRect(x - 1, kAxisHeight, 2, 9 * kLaneHeight), QColor(0x00, 0x00, 0x00));
        p.setBrush(Qt::black);
        p.setPen(Qt::NoPen);
        p.drawPolygon(QPolygon({QPoint(x - 6, 0), QPoint(x + 6, 0), QPoint(x, kAxisHeight)}));
    }
}

void TTimeStrip::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    lanes_ = QPixmap();
}

void TTimeStrip::paintLanes(QPainter& p) {
    QFont f = font();
    f.setPixelSize(11);
    p.setFont(f);
    for (int lane = 0; lane < 9; ++lane) {
        const QRect r = laneRect(lane);
        p.fillRect(r, lane % 2 ? QColor(0xFF, 0xFF, 0xFF) : QColor(0xEC, 0xEC, 0xF4));
        p.setPen(lane == 8 ? QColor(0x60, 0x00, 0x00) : QColor(0x00, 0x00, 0x80));
        QFont lf = f;
        lf.setBold(true);
        p.setFont(lf);
        p.drawText(QRect(0, r.top(), kLabelWidth - 4, r.height()), Qt::AlignRight | Qt::AlignVCenter,
                   lane == 8 ? marksCaption_ : QString::number(lane + 1));
        p.setFont(f);
    }
    paintAxis(p);
    // Marks at the very start stay off the lane captions.
    p.setClipRect(QRect(plotLeft(), 0, width() - plotLeft(), height()));
    if (timeline_) {
        const int n = columns();
        timeline_->laneSummary(t0_, t1_, n, summary_);
        for (int c = 0; c < n && c < static_cast<int>(summary_.size()); ++c) {
            const LaneColumn& col = summary_[static_cast<size_t>(c)];
            const int x = plotLeft() + c * kColumnWidth;
            for (int lane = 0; lane < 8; ++lane) {
                if (!col[static_cast<size_t>(lane)]) continue;
                const QRect lr = laneRect(lane);
                for (int k = 0; k < kEventKinds; ++k)
                    if (col[static_cast<size_t>(lane)] & (1u << k)) {
                        const QRect band = kindBand(lr, static_cast<EventKind>(k));
                        paintKind(p, static_cast<EventKind>(k),
                                  QRect(x, band.top(), kColumnWidth, band.height()));
                    }
            }
            if (const std::uint16_t m = col[8]) {
                const QRect lr = laneRect(8);
                for (int k = 0; k < kMarkKinds; ++k)
                    if (m & (1u << k))
                        paintMark(p, static_cast<MarkKind>(k),
                                  QRect(x - 5, lr.top(), kColumnWidth + 10, lr.height()));
            }
        }
    }
}

std::optional<std::int64_t> TTimeStrip::hitRecord(const QPoint& pos) const {
    if (!timeline_ || pos.y() < kAxisHeight || pos.x() < plotLeft()) return std::nullopt;
    const int lane = (pos.y() - kAxisHeight) / kLaneHeight;
    if (lane < 0 || lane > 8) return std::nullopt;
    // The column under the mouse and one on each side: marks are narrow.
    const double perColumn = (t1_ - t0_) / columns();
    const int c = (pos.x() - plotLeft()) / kColumnWidth;
    const double from = t0_ + (c - 1) * perColumn;
    const double to = t0_ + (c + 2) * perColumn;
    if (lane == 8) {
        std::optional<Mark> best;
        const double t = timeAt(pos.x());
        for (const Mark& m : timeline_->marks())
            if (m.time >= from && m.time < to &&
                (!best || std::abs(m.time - t) < std::abs(best->time - t)))
                best = m;
        if (best) return best->record;
        return std::nullopt;
    }
    const QRect lr = laneRect(lane);
    std::optional<EventKind> kind;
    for (int k = 0; k < kEventKinds; ++k)
        if (kindBand(lr, static_cast<EventKind>(k)).adjusted(0, -1, 0, 1).contains(lr.left(), pos.y()))
            kind = static_cast<EventKind>(k);
    if (!kind) return std::nullopt;
    // The first such event from the column before: records up to `from`
    // are before it in file order when the clock runs forwards.
    std::int64_t after = timeline_->recordsUntil(from);
    if (after > 0 && timeline_->timeOf(after) >= from) --after;
    const std::optional<PlayerEvent> e = timeline_->nextEvent(after, lane + 1, kind);
    if (e && e->time >= from && e->time < to) return e->record;
    return std::nullopt;
}

void TTimeStrip::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return QWidget::mousePressEvent(e);
    const QPoint pos = e->position().toPoint();
    // A press near the cursor grabs it; a press on a mark jumps there; anywhere
    // else the cursor comes to the press and follows the drag.
    const bool onCursor = cursor_ && std::abs(pos.x() - xAt(*cursor_)) <= 4;
    if (!onCursor) {
        if (const auto n = hitRecord(pos)) {
            emit seekRecord(*n);
            return;
        }
    }
    dragging_ = true;
    emit seekTime(timeAt(pos.x()));
}

void TTimeStrip::mouseMoveEvent(QMouseEvent* e) {
    if (dragging_) emit seekTime(timeAt(static_cast<int>(e->position().x())));
}

void TTimeStrip::mouseReleaseEvent(QMouseEvent*) { dragging_ = false; }

void TTimeStrip::wheelEvent(QWheelEvent* e) {
    const int d = e->angleDelta().y();
    if (d == 0) return;
    emit zoomBy(d > 0 ? 0.5 : 2.0, timeAt(static_cast<int>(e->position().x())));
    e->accept();
}

QSize TTimeStrip::sizeHint() const { return QSize(900, kAxisHeight + 9 * kLaneHeight + 2); }
QSize TTimeStrip::minimumSizeHint() const { return QSize(300, kAxisHeight + 9 * kLaneHeight + 2); }

} // namespace hub
