// The counters' label places the digits itself: every caption must come out
// pixel for pixel as a plain QLabel draws it, on the backgrounds, fonts and
// heights the window uses, and its measured width must be QLabel's.
#include "monitor/NumberLabel.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <gtest/gtest.h>

namespace {

struct Look {
    const char* name;
    int pixelSize; // 0: the application's font
    bool bold;
    QColor text;
    QColor background;
    int height;
};

template <class L> QImage draw(const Look& look, const QString& caption, QWidget& parent) {
    auto* l = new L(caption, &parent);
    QFont f = QApplication::font();
    if (look.pixelSize > 0) f.setPixelSize(look.pixelSize);
    f.setBold(look.bold);
    l->setFont(f);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, look.text);
    pal.setColor(QPalette::Window, look.background);
    l->setPalette(pal);
    l->setAutoFillBackground(true);
    l->setGeometry(3, 2, 140, look.height);
    QImage img = l->grab().toImage();
    delete l;
    return img;
}

} // namespace

TEST(NumberLabel, DrawsEveryCaptionAsAPlainLabel) {
    const Look looks[] = {
        {"window font, navy on silver", 0, false, QColor(0x00, 0x00, 0x80), QColor(0xC0, 0xC0, 0xC0), 13},
        {"window font, taller box", 0, false, QColor(0x00, 0x00, 0x80), QColor(0xC0, 0xC0, 0xC0), 20},
        {"odd height", 0, false, QColor(0x00, 0x00, 0x80), QColor(0xC0, 0xC0, 0xC0), 16},
        {"bold 13 px, red on white", 13, true, QColor(0xFF, 0x00, 0x00), QColor(0xFF, 0xFF, 0xFF), 17},
        {"11 px on gray", 11, false, QColor(0x00, 0x00, 0x00), QColor(0x80, 0x80, 0x80), 14},
        {"19 px", 19, false, QColor(0x00, 0x00, 0x80), QColor(0xC0, 0xC0, 0xC0), 24},
    };
    const QString captions[] = {
        QStringLiteral("0"), QStringLiteral("7"), QStringLiteral("11"), QStringLiteral("41"),
        QStringLiteral("0123456789"), QStringLiteral("9876543210"), QStringLiteral("1111111"),
        QStringLiteral("17471"), QStringLiteral("2147483648"), QStringLiteral("18446744073709551615"),
        // Not digits: QLabel's own painting.
        QStringLiteral("-5"), QStringLiteral("//"), QStringLiteral(""),
        // Wider than the label: clipped as QLabel clips it.
        QStringLiteral("123456789012345678901234567890"),
    };
    QWidget parent;
    parent.resize(200, 40);
    for (const Look& look : looks) {
        for (const QString& c : captions) {
            const QImage plain = draw<QLabel>(look, c, parent);
            const QImage fast = draw<hub::NumberLabel>(look, c, parent);
            EXPECT_EQ(fast, plain) << look.name << ": \"" << c.toStdString() << "\"";
        }
    }
}

TEST(NumberLabel, PlacesDigitsItselfAndMeasuresAsTheFontDoes) {
    // Placing the digits must be the path taken with the window's fonts, or
    // the test above compares QLabel with itself.
    for (int px : {0, 11, 13, 19}) {
        hub::NumberLabel l;
        QFont f = QApplication::font();
        if (px > 0) f.setPixelSize(px);
        l.setFont(f);
        EXPECT_TRUE(l.placesDigits()) << px;
        for (const QString& c : {QStringLiteral("0"), QStringLiteral("1234567890"), QStringLiteral("88811"),
                                 QStringLiteral("x1"), QStringLiteral("")})
            EXPECT_EQ(l.textWidth(c), l.fontMetrics().horizontalAdvance(c)) << px << " " << c.toStdString();
    }
}
