#pragma once
// A QLabel for a count that changes many times a second (the link's record
// counter and backlog). A plain label lays its text out again, through the
// font shaper, at every repaint; this one keeps the glyph and advance of each
// digit and places them itself, giving the same pixels. Anything other than
// plain decimal digits in a plain left-aligned label is painted by QLabel.
#include <QFont>
#include <QGlyphRun>
#include <QLabel>
#include <QRawFont>
#include <array>

namespace hub {

class NumberLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
    // The text's width as QFontMetrics::horizontalAdvance gives it, without
    // shaping when the text is all digits.
    int textWidth(const QString& text);
    // Whether digits are placed from the kept glyphs with the current font
    // (false: the font kerns or joins digits, and QLabel paints them).
    bool placesDigits() { return prepare(); }

protected:
    void paintEvent(QPaintEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    // Lays out "0123456789" once for the current font. False when the digits
    // do not sit side by side at their advances (the font kerns or joins
    // them), and then QLabel paints.
    bool prepare();
    bool fastPathApplies() const;

    bool prepared_ = false;
    bool usable_ = false;
    QRawFont raw_;
    std::array<quint32, 10> glyph_{};
    std::array<qreal, 10> advance_{};
    qreal ascent_ = 0;
    qreal height_ = 0;
};

} // namespace hub
