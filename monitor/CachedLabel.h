#pragma once
// A QLabel that keeps what it painted, one picture for each background it
// has been painted on. Meant for a fixed text on a panel whose colour
// flips (the acquisition's heartbeat): a plain label breaks its text into
// lines and shapes it again at each flip. The picture is used only where
// the label lies on the plain colour of the panel under it; anywhere else
// QLabel paints as usual, and also for a colour not seen before: the
// picture for it is made when the colour changes.
#include <QColor>
#include <QFont>
#include <QLabel>
#include <QPixmap>
#include <vector>

namespace hub {

class CachedLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
    // Pictures kept (tests).
    int pictures() const { return static_cast<int>(kept_.size()); }

protected:
    void paintEvent(QPaintEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    // The plain colour this label is painted on, if it lies on one.
    bool plainBackground(QColor* colour) const;

    struct Picture {
        QString text;
        QSize size;
        qreal dpr = 1;
        QFont font;
        QRgb background = 0, foreground = 0;
        bool enabled = true;
        int alignment = 0;
        bool wordWrap = false;
        QPixmap pixmap;
    };
    const Picture* find(const QColor& under) const;
    std::vector<Picture> kept_;
    bool rendering_ = false;
};

} // namespace hub
