// The heartbeat panel's caption keeps its painted picture for each colour of
// the panel: what shows must be what a plain QLabel draws there, whatever
// the colour, language and number of flips.
#include "monitor/CachedLabel.h"

#include <QApplication>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

struct Panel {
    QFrame frame;
    QPushButton* button;
    QLabel* caption;
    template <class L> static Panel* make(const QString& text, bool buttonShown) {
        auto* p = new Panel;
        p->frame.setGeometry(0, 0, 152, 52);
        p->frame.setFrameShape(QFrame::Panel);
        p->frame.setFrameShadow(QFrame::Raised);
        p->frame.setLineWidth(1);
        p->frame.setAutoFillBackground(true);
        p->button = new QPushButton(QStringLiteral("RECEIVE DATA"), &p->frame);
        p->button->setGeometry(4, 4, 144, 44);
        p->button->setVisible(buttonShown);
        p->caption = new L(text, &p->frame);
        p->caption->setGeometry(4, 4, 144, 44);
        p->caption->setAlignment(Qt::AlignCenter);
        p->caption->setWordWrap(true);
        QPalette pal = p->caption->palette();
        pal.setColor(QPalette::WindowText, QColor(0x80, 0x00, 0x00));
        p->caption->setPalette(pal);
        p->frame.show();
        return p;
    }
    QImage shot(QRgb colour) {
        QPalette pal = frame.palette();
        pal.setColor(QPalette::Window, QColor::fromRgb(colour));
        frame.setPalette(pal);
        return frame.grab().toImage();
    }
};

} // namespace

TEST(CachedLabel, ShowsWhatAPlainLabelDrawsOnEveryColourOfItsPanel) {
    struct Case {
        const char* name;
        QString text;
        bool buttonShown; // a visible control beneath: no picture is kept
    };
    const Case cases[] = {
        {"English", QStringLiteral("Receiving...\nPress 'ESC' to stop"), false},
        {"Italian", QStringLiteral("Ricezione in corso\npremere \"ESC\" per STOP"), false},
        {"a button beneath", QStringLiteral("Receiving...\nPress 'ESC' to stop"), true},
    };
    const QRgb flips[] = {0xC0C0C0, 0x808080, 0xC0C0C0, 0x808080, 0xFFFFFF, 0xC0C0C0};
    for (const Case& c : cases) {
        std::unique_ptr<Panel> plain(Panel::make<QLabel>(c.text, c.buttonShown));
        std::unique_ptr<Panel> kept(Panel::make<hub::CachedLabel>(c.text, c.buttonShown));
        for (QRgb colour : flips)
            EXPECT_EQ(kept->shot(colour), plain->shot(colour)) << c.name << " on #" << std::hex << colour;
        // Three colours seen; the picture path was the one compared.
        EXPECT_EQ(static_cast<hub::CachedLabel*>(kept->caption)->pictures(), c.buttonShown ? 0 : 3) << c.name;
        // A new text is painted anew, not taken from a picture of the old one.
        kept->caption->setText(QStringLiteral("Other"));
        plain->caption->setText(QStringLiteral("Other"));
        EXPECT_EQ(kept->shot(0x808080), plain->shot(0x808080)) << c.name;
    }
}
