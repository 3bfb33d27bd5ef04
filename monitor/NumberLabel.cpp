#include "monitor/NumberLabel.h"

#include <QEvent>
#include <QPainter>
#include <QStyle>
#include <QTextLayout>
#include <cmath>

namespace hub {

namespace {
bool allDigits(const QString& s) {
    if (s.isEmpty()) return false;
    for (QChar c : s)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
    return true;
}
} // namespace

void NumberLabel::changeEvent(QEvent* e) {
    if (e->type() == QEvent::FontChange || e->type() == QEvent::StyleChange) prepared_ = false;
    QLabel::changeEvent(e);
}

bool NumberLabel::prepare() {
    if (prepared_) return usable_;
    prepared_ = true;
    usable_ = false;
    const QString digits = QStringLiteral("0123456789");
    QTextLayout layout(digits, font(), this);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLineWidth(1e6);
    layout.endLayout();
    const QList<QGlyphRun> runs = layout.glyphRuns();
    if (runs.size() != 1) return false;
    const QGlyphRun& run = runs.front();
    const QList<quint32> glyphs = run.glyphIndexes();
    const QList<QPointF> at = run.positions();
    if (glyphs.size() != 10 || at.size() != 10) return false;
    for (int d = 0; d < 10; ++d) {
        glyph_[d] = glyphs[d];
        const qreal next = d < 9 ? at[d + 1].x() : line.naturalTextWidth();
        advance_[d] = next - at[d].x();
        if (at[d].y() != at[0].y()) return false;
    }
    // Each digit again on its own: the same glyph and advance, or the font
    // changes them by their neighbours and the digits cannot be placed alone.
    for (int d = 0; d < 10; ++d) {
        QTextLayout one(QString(QChar(u'0' + d)), font(), this);
        one.beginLayout();
        QTextLine l = one.createLine();
        l.setLineWidth(1e6);
        one.endLayout();
        const QList<QGlyphRun> r = one.glyphRuns();
        if (r.size() != 1 || r.front().glyphIndexes() != QList<quint32>{glyph_[d]} ||
            l.naturalTextWidth() != advance_[d] || r.front().rawFont() != run.rawFont())
            return false;
    }
    raw_ = run.rawFont();
    ascent_ = line.ascent();
    height_ = line.ascent() + line.descent(); // unrounded, as drawText centres it
    usable_ = true;
    return true;
}

bool NumberLabel::fastPathApplies() const {
    return frameShape() == QFrame::NoFrame && margin() == 0 && indent() <= 0 && !wordWrap() &&
           alignment() == (Qt::AlignLeft | Qt::AlignVCenter) && layoutDirection() == Qt::LeftToRight &&
           pixmap().isNull() && allDigits(text());
}

int NumberLabel::textWidth(const QString& text) {
    if (!allDigits(text) || !prepare()) return fontMetrics().horizontalAdvance(text);
    qreal w = 0;
    for (QChar c : text) w += advance_[c.unicode() - u'0'];
    return qRound(w);
}

void NumberLabel::paintEvent(QPaintEvent* e) {
    if (!fastPathApplies() || !prepare()) return QLabel::paintEvent(e);
    const QString s = text();
    const QRect r = contentsRect();
    qreal width = 0;
    QList<quint32> glyphs;
    QList<QPointF> positions;
    glyphs.reserve(s.size());
    positions.reserve(s.size());
    // As QPainter::drawText lays out one line: centred by the line's height,
    // the glyphs from the rectangle's left at their advances.
    const qreal baseline = (r.height() - height_) / 2 + ascent_;
    for (QChar c : s) {
        const int d = c.unicode() - u'0';
        glyphs.append(glyph_[d]);
        positions.append(QPointF(width, baseline));
        width += advance_[d];
    }
    // A number wider than the label is clipped by QLabel's own painting.
    if (width > r.width()) return QLabel::paintEvent(e);
    QGlyphRun run;
    run.setRawFont(raw_);
    run.setGlyphIndexes(glyphs);
    run.setPositions(positions);
    QPainter p(this);
    p.setPen(QPen(palette().brush(foregroundRole()), p.pen().widthF()));
    p.drawGlyphRun(QPointF(r.x(), r.y()), run);
}

} // namespace hub
