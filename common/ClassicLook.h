#pragma once
// Helpers for the classic window look: raised or lowered panels with a colour,
// labels with a fixed pixel font and a colour that stays the same inside a
// disabled panel.
#include <QColor>
#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QPalette>
#include <QRect>

namespace hub::look {

inline void setColour(QWidget* w, QPalette::ColorRole role, const QColor& c) {
    QPalette p = w->palette();
    for (auto g : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) p.setColor(g, role, c);
    w->setPalette(p);
}

inline QFont pixelFont(const QString& family, int px, bool bold = false) {
    QFont f(family);
    f.setPixelSize(px);
    f.setBold(bold);
    return f;
}

// The grey background and 11-pixel Arial of the program's main windows.
inline void greyWindow(QWidget* w) {
    w->setAutoFillBackground(true);
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, QColor(0x80, 0x80, 0x80));
    w->setPalette(pal);
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(11);
    w->setFont(f);
}

enum class Bevel { None, Raised, Lowered };

inline QFrame* panel(QWidget* parent, const char* name, const QRect& r, Bevel bevel = Bevel::Raised,
                     const QColor& colour = QColor(0xC0, 0xC0, 0xC0)) {
    auto* p = new QFrame(parent);
    p->setObjectName(QLatin1String(name));
    p->setGeometry(r);
    if (bevel != Bevel::None) {
        p->setFrameStyle(QFrame::Panel | (bevel == Bevel::Raised ? QFrame::Raised : QFrame::Sunken));
        p->setLineWidth(1);
    }
    p->setAutoFillBackground(true);
    setColour(p, QPalette::Window, colour);
    // A disabled panel keeps its bevel.
    QPalette pal = p->palette();
    for (auto role : {QPalette::Light, QPalette::Midlight, QPalette::Mid, QPalette::Dark,
                      QPalette::Shadow})
        pal.setColor(QPalette::Disabled, role, pal.color(QPalette::Active, role));
    p->setPalette(pal);
    return p;
}

inline QLabel* label(QWidget* parent, const char* name, const QString& text, const QRect& r,
                     const QFont& font, const QColor& colour,
                     Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    l->setGeometry(r);
    l->setFont(font);
    l->setAlignment(align);
    setColour(l, QPalette::WindowText, colour);
    return l;
}

} // namespace hub::look
