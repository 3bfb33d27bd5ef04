// The heartbeat panel's caption keeps its painted picture for each colour of
// the panel: what shows on the screen must be what a plain QLabel gives
// there, whatever the colour, language and number of flips, and a flip must
// paint the panel once.
#include "monitor/CachedLabel.h"

#include <QApplication>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
};

struct Panel {
    QWidget top;
    QFrame* frame;
    QLabel* caption;
    PaintCounter counter;
    template <class L> static Panel* make(const QString& text, bool buttonShown) {
        auto* p = new Panel;
        p->top.resize(160, 60);
        p->frame = new QFrame(&p->top);
        p->frame->setGeometry(4, 4, 152, 52);
        p->frame->setFrameShape(QFrame::Panel);
        p->frame->setFrameShadow(QFrame::Raised);
        p->frame->setLineWidth(1);
        p->frame->setAutoFillBackground(true);
        auto* button = new QPushButton(QStringLiteral("RECEIVE DATA"), p->frame);
        button->setGeometry(4, 4, 144, 44);
        button->setVisible(buttonShown);
        p->caption = new L(text, p->frame);
        p->caption->setGeometry(4, 4, 144, 44);
        p->caption->setAlignment(Qt::AlignCenter);
        p->caption->setWordWrap(true);
        QPalette pal = p->caption->palette();
        pal.setColor(QPalette::WindowText, QColor(0x80, 0x00, 0x00));
        p->caption->setPalette(pal);
        p->frame->installEventFilter(&p->counter);
        p->top.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&p->top));
        return p;
    }
    void setColour(QRgb colour) {
        QPalette pal = frame->palette();
        pal.setColor(QPalette::Window, QColor::fromRgb(colour));
        frame->setPalette(pal);
    }
    // What the window system was given, partial repaints and all.
    QImage shown() {
        QApplication::processEvents();
        return top.screen()->grabWindow(top.winId()).toImage().convertToFormat(QImage::Format_RGB32);
    }
};

} // namespace

TEST(CachedLabel, ShowsWhatAPlainLabelShowsOnEveryColourOfItsPanel) {
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
        for (QRgb colour : flips) {
            kept->counter.paints = 0;
            plain->setColour(colour);
            kept->setColour(colour);
            const QImage want = plain->shown();
            EXPECT_EQ(kept->shown(), want) << c.name << " on #" << std::hex << colour;
            // The flip painted the panel once (a plain label has it painted twice).
            if (!c.buttonShown) {
                EXPECT_EQ(kept->counter.paints, 1) << c.name << " on #" << std::hex << colour;
            }
        }
        // Three colours seen; the picture path was the one compared.
        EXPECT_EQ(static_cast<hub::CachedLabel*>(kept->caption)->pictures(), c.buttonShown ? 0 : 3) << c.name;
        // A new text is painted anew, not taken from a picture of the old one.
        kept->caption->setText(QStringLiteral("Other"));
        plain->caption->setText(QStringLiteral("Other"));
        plain->setColour(0x808080);
        kept->setColour(0x808080);
        EXPECT_EQ(kept->shown(), plain->shown()) << c.name;
    }
}
