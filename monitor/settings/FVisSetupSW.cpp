#include "monitor/settings/FVisSetupSW.h"

#include "common/ClassicLook.h"
#include "common/DialogSeam.h"
#include "common/RxSwitch.h"
#include "monitor/settings/settingstexts.h"

#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>

using namespace hub;

namespace {
const QColor kHighlight(0x80, 0x00, 0x00);
const QColor kGrey(0x80, 0x80, 0x80);

void setHighlighted(QLabel* l, bool on) {
    QFont f = l->font();
    f.setBold(on);
    l->setFont(f);
    look::setColour(l, QPalette::WindowText, on ? kHighlight : kGrey);
}

void centreOnScreen(QWidget* w) {
    if (QScreen* s = QGuiApplication::primaryScreen())
        w->move(s->availableGeometry().center() - w->rect().center());
}
} // namespace

TVisSetupSW::TVisSetupSW(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("VisSetupSW"));
    setWindowTitle(QStringLiteral("SETUP"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(435, 425);
    setAutoFillBackground(true);
    look::setColour(this, QPalette::Window, QColor(0xC0, 0xC0, 0xC0));

    PName = look::label(this, "PName", QString(), QRect(8, 8, 419, 40),
                        look::pixelFont(QStringLiteral("Arial"), 19, true), kHighlight,
                        Qt::AlignCenter);
    PName->setFrameStyle(QFrame::Panel | QFrame::Raised);
    PName->setAutoFillBackground(true);
    look::setColour(PName, QPalette::Window, QColor(0xC0, 0xC0, 0xC0));

    PA = look::panel(this, "PA", QRect(8, 56, 419, 310));
    // The switches only show the hub's settings; nothing here can change them.
    PA->setEnabled(false);

    const QFont labelFont = look::pixelFont(QStringLiteral("Arial"), 11);
    for (size_t i = 0; i < rows.size(); ++i) {
        const SwSwitchRow& r = kSwSwitchRows[i];
        const int y = 12 + static_cast<int>(i) * 37;
        Row& row = rows[i];
        row.off = look::label(PA, r.leftName, QLatin1String(r.leftText), QRect(16, y, 150, 26),
                              labelFont, kGrey, Qt::AlignRight | Qt::AlignVCenter);
        row.sw = new TRxSwitch(PA);
        row.sw->setObjectName(QLatin1String(r.switchName));
        row.sw->setGeometry(184, y + 1, 50, 24);
        row.on = look::label(PA, r.rightName, QLatin1String(r.rightText), QRect(252, y, 150, 26),
                             labelFont, kGrey);
        connect(row.sw, &TRxSwitch::toggled, this, [this, i] { showRowState(static_cast<int>(i)); });
        showRowState(static_cast<int>(i));
    }

    SBEXIT = new QPushButton(QStringLiteral("EXIT"), this);
    SBEXIT->setObjectName(QStringLiteral("SBEXIT"));
    SBEXIT->setGeometry(170, 380, 95, 33);
    SBEXIT->setAutoDefault(false);
    connect(SBEXIT, &QPushButton::clicked, this, &TVisSetupSW::SBEXITClick);
    centreOnScreen(this);
}

void TVisSetupSW::showRowState(int row) {
    const Row& r = rows[static_cast<size_t>(row)];
    const bool on = r.sw->isOn();
    setHighlighted(r.on, on);
    setHighlighted(r.off, !on);
}

void TVisSetupSW::fill(const std::array<std::uint8_t, 9>& sw, const QString& versHub) {
    const SwSetupTexts t = swSetupTexts(sw, versHub);
    PName->setText(t.name);
    for (size_t i = 0; i < rows.size(); ++i) rows[i].sw->setOn(t.on[i]);
}

void TVisSetupSW::SBEXITClick() { reject(); }

void VisuaSetup_SW(QWidget* parent, const std::array<std::uint8_t, 9>& sw, const QString& versHub) {
    TVisSetupSW d(parent);
    d.fill(sw, versHub);
    execDialog(&d, QStringLiteral("setup-sw"));
}
