#include "common/RxSwitch.h"

#include <QPainter>

namespace hub {

TRxSwitch::TRxSwitch(QWidget* parent) : QAbstractButton(parent) {
    setCheckable(true);
    resize(38, 22);
}

void TRxSwitch::setOn(bool on) {
    if (isChecked() != on) setChecked(on);
}

void TRxSwitch::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(1, 1, -1, -1);
    const bool on = isChecked();
    const qreal radius = r.height() / 2;
    // Track: dark when off, red when on; greyed when disabled.
    QColor track = on ? QColor(0xC0, 0x20, 0x20) : QColor(0x40, 0x40, 0x40);
    if (!isEnabled()) track = track.lighter(130);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(track);
    p.drawRoundedRect(r, radius, radius);
    // Knob: left when off, right when on.
    const qreal d = r.height() - 4;
    const qreal x = on ? r.right() - 2 - d : r.left() + 2;
    p.setBrush(isEnabled() ? QColor(0xF0, 0xF0, 0xF0) : QColor(0xD0, 0xD0, 0xD0));
    p.drawEllipse(QRectF(x, r.top() + 2, d, d));
}

} // namespace hub
