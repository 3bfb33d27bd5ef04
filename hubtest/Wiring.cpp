#include "hubtest/Wiring.h"

#include <QPainter>
#include <QPainterPath>

namespace hub {

TBoard::TBoard(QColor colour, QWidget* parent) : QWidget(parent), colour_(colour) {}

void TBoard::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), colour_);
    p.setPen(QPen(Qt::black, 1));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    p.setPen(QPen(Qt::black, 2, Qt::SolidLine, Qt::SquareCap));
    for (const QLine& l : lines_) p.drawLine(l);
}

TTerminal::TTerminal(QWidget* parent) : QWidget(parent), colour_(0x00, 0xFF, 0x00) {
    resize(22, 37);
}

void TTerminal::setColour(QColor c) {
    if (c == colour_) return;
    colour_ = c;
    update();
}

void TTerminal::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), colour_);
    p.setRenderHint(QPainter::Antialiasing);
    // Clamp body with the wire hole at the bottom and the screw on top.
    const QRectF body(3.5, 3.5, width() - 7, height() - 7);
    p.setPen(QPen(QColor(0x40, 0x40, 0x40), 1));
    p.setBrush(QColor(0xB0, 0xB0, 0xB0));
    p.drawRect(body);
    p.setBrush(Qt::black);
    p.drawRect(QRectF(body.left() + 4, body.bottom() - 9, body.width() - 8, 6));
    const QPointF c(width() / 2.0, body.top() + 8);
    p.setBrush(QColor(0xE0, 0xE0, 0xE0));
    p.drawEllipse(c, 6, 6);
    p.setPen(QPen(QColor(0x30, 0x30, 0x30), 2));
    p.drawLine(c + QPointF(-4, 4), c + QPointF(4, -4));
}

TCaption::TCaption(const QString& text, QWidget* parent) : QWidget(parent), text_(text) {}

void TCaption::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(0x00, 0x80, 0x00));
    p.setPen(QPen(Qt::white, 1));
    if (text_.isEmpty()) {
        // Earth: a stem and three shrinking bars.
        const int cx = width() / 2;
        p.drawLine(cx, 1, cx, 7);
        p.drawLine(cx - 7, 8, cx + 7, 8);
        p.drawLine(cx - 4, 11, cx + 4, 11);
        p.drawLine(cx - 1, 14, cx + 1, 14);
        return;
    }
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(11);
    f.setBold(true);
    p.setFont(f);
    p.drawText(rect(), Qt::AlignCenter, text_);
}

TWire::TWire(QWidget* parent, QColor pen) : QWidget(parent), pen_(pen) {}

void TWire::setPenColour(QColor c) {
    if (c == pen_) return;
    pen_ = c;
    update();
}

void TWire::paintEvent(QPaintEvent*) {
    QPainter p(this);
    // Rectangle shape, pen 2 px: on a 4-px wire the pen covers it all.
    p.fillRect(rect(), Qt::white);
    p.setPen(QPen(pen_, 2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
}

TArrow::TArrow(Direction d, QWidget* parent) : QWidget(parent), dir_(d), colour_(Qt::black) {
    resize(19, 22);
}

void TArrow::setColour(QColor c) {
    if (c == colour_) return;
    colour_ = c;
    update();
}

void TArrow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal w = width(), h = height();
    const qreal shaft = w * 0.34;
    const qreal headLen = h * 0.48;
    QPainterPath path;
    // Drawn pointing down, flipped for inputs.
    path.moveTo((w - shaft) / 2, 1);
    path.lineTo((w + shaft) / 2, 1);
    path.lineTo((w + shaft) / 2, h - headLen);
    path.lineTo(w - 1, h - headLen);
    path.lineTo(w / 2, h - 1);
    path.lineTo(1, h - headLen);
    path.lineTo((w - shaft) / 2, h - headLen);
    path.closeSubpath();
    if (dir_ == Up) {
        QTransform t;
        t.translate(0, h);
        t.scale(1, -1);
        path = t.map(path);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(colour_);
    p.drawPath(path);
}

TBarPicture::TBarPicture(QWidget* parent) : QWidget(parent) { resize(190, 14); }

void TBarPicture::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    // Aluminium column with dark caps and the beam lenses along it.
    p.setPen(QPen(QColor(0x30, 0x30, 0x30), 1));
    p.setBrush(QColor(0xD8, 0xD8, 0xD8));
    p.drawRoundedRect(r, 3, 3);
    p.setBrush(QColor(0x30, 0x30, 0x30));
    p.drawRect(QRectF(r.left(), r.top(), 10, r.height()));
    p.drawRect(QRectF(r.right() - 10, r.top(), 10, r.height()));
    p.setBrush(QColor(0x80, 0x00, 0x00));
    for (int i = 0; i < 8; ++i) p.drawEllipse(QPointF(24 + i * 20.5, r.center().y()), 3.5, 3.5);
}

TLogo::TLogo(QWidget* parent) : QWidget(parent) {}

void TLogo::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x00, 0x00, 0x80), 2));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 6, 6);
    // Beam mark: two posts and the rays between them.
    p.setBrush(QColor(0x00, 0x00, 0x80));
    p.drawRect(QRectF(8, 10, 6, height() - 20));
    p.drawRect(QRectF(44, 10, 6, height() - 20));
    p.setPen(QPen(QColor(0xFF, 0x00, 0x00), 1.5));
    for (int i = 0; i < 4; ++i) {
        const qreal y = 14 + i * (height() - 28) / 3.0;
        p.drawLine(QPointF(14, y), QPointF(44, y));
    }
}

} // namespace hub
