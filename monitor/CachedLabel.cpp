#include "monitor/CachedLabel.h"

#include <QEvent>
#include <QFrame>
#include <QPainter>

namespace hub {

namespace {
constexpr size_t kMaxPictures = 4; // the heartbeat's two colours, with room for a language change
}

bool CachedLabel::plainBackground(QColor* colour) const {
    const QWidget* parent = parentWidget();
    if (!parent || autoFillBackground() || frameShape() != QFrame::NoFrame || !pixmap().isNull()) return false;
    if (!parent->autoFillBackground()) return false;
    const QBrush& under = parent->palette().brush(parent->backgroundRole());
    if (under.style() != Qt::SolidPattern || under.color().alpha() != 255) return false;
    // Inside the panel's frame, and nothing visible beneath it.
    if (const auto* frame = qobject_cast<const QFrame*>(parent); frame && !frame->contentsRect().contains(geometry()))
        return false;
    for (const QObject* o : parent->children()) {
        if (o == this) break; // the later ones lie above
        const auto* w = qobject_cast<const QWidget*>(o);
        if (w && w->isVisible() && w->geometry().intersects(geometry())) return false;
    }
    *colour = under.color();
    return true;
}

const CachedLabel::Picture* CachedLabel::find(const QColor& under) const {
    const qreal dpr = devicePixelRatioF();
    const QRgb fore = palette().color(foregroundRole()).rgba();
    for (const Picture& p : kept_)
        if (p.text == text() && p.size == size() && p.dpr == dpr && p.background == under.rgba() &&
            p.foreground == fore && p.enabled == isEnabled() && p.alignment == int(alignment()) &&
            p.wordWrap == wordWrap() && p.font == font())
            return &p;
    return nullptr;
}

void CachedLabel::changeEvent(QEvent* e) {
    QLabel::changeEvent(e);
    if (e->type() != QEvent::PaletteChange) return;
    // A new colour of the panel: the picture for it is made here, by QLabel
    // painting into it, as a widget cannot be rendered from its own paint event.
    QColor under;
    const bool plain = isVisible() && plainBackground(&under);
    if (plain && !find(under)) {
        const qreal dpr = devicePixelRatioF();
        Picture p{text(), size(), dpr, font(), under.rgba(), palette().color(foregroundRole()).rgba(),
                  isEnabled(), int(alignment()), wordWrap(), QPixmap(size() * dpr)};
        p.pixmap.setDevicePixelRatio(dpr);
        p.pixmap.fill(under);
        rendering_ = true;
        render(&p.pixmap, QPoint(), QRegion(), {});
        rendering_ = false;
        if (kept_.size() >= kMaxPictures) kept_.erase(kept_.begin());
        kept_.push_back(std::move(p));
    }
    // Painted from a picture, the label covers its rectangle: its repaint
    // at a flip is then its own, and does not have the panel painted a
    // second time beneath it.
    setAttribute(Qt::WA_OpaquePaintEvent, plain);
}

void CachedLabel::paintEvent(QPaintEvent* e) {
    QColor under;
    const bool plain = !rendering_ && plainBackground(&under);
    if (const Picture* p = plain ? find(under) : nullptr) {
        QPainter painter(this);
        painter.drawPixmap(0, 0, p->pixmap);
        return;
    }
    if (!rendering_ && testAttribute(Qt::WA_OpaquePaintEvent)) {
        // No picture for this text yet, and nothing was painted beneath.
        if (!plain) {
            setAttribute(Qt::WA_OpaquePaintEvent, false);
            if (parentWidget()) parentWidget()->update(geometry());
            return;
        }
        QPainter(this).fillRect(rect(), under);
    }
    QLabel::paintEvent(e);
}

} // namespace hub
