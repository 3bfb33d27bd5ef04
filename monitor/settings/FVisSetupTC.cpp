#include "monitor/settings/FVisSetupTC.h"

#include "common/ClassicLook.h"
#include "common/DialogSeam.h"
#include "monitor/settings/settingstexts.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

using namespace hub;

namespace {
const QColor kSilver(0xC0, 0xC0, 0xC0);
const QColor kMaroon(0x80, 0x00, 0x00);
const QColor kNavy(0x00, 0x00, 0x80);
const QColor kGrey(0x80, 0x80, 0x80);
const QColor kRed(0xFF, 0x00, 0x00);

QString objName(const char* pattern, char letter) {
    return QString::fromLatin1(pattern).replace(QLatin1Char('?'), QLatin1Char(letter));
}

QLabel* named(QLabel* l, const QString& name) {
    l->setObjectName(name);
    return l;
}
} // namespace

void TDisabledText::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setFont(font());
    // The narrow column makes each blank-separated letter a line of its own.
    const QStringList lines = text().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const int lh = fontMetrics().height();
    for (int i = 0; i < lines.size(); ++i) {
        const QRect r(0, i * lh, width() - 2, lh);
        p.setPen(Qt::black);
        p.drawText(r.translated(2, 2), Qt::AlignHCenter | Qt::AlignTop, lines[i]);
        p.setPen(kGrey);
        p.drawText(r, Qt::AlignHCenter | Qt::AlignTop, lines[i]);
    }
}

TVisSetupTC::TVisSetupTC(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("VisSetupTC"));
    setWindowTitle(QStringLiteral("SETUP"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(601, 463);
    setAutoFillBackground(true);
    look::setColour(this, QPalette::Window, kSilver);

    PName = look::label(this, "PName", QString(), QRect(4, 4, 593, 40),
                        look::pixelFont(QStringLiteral("Arial"), 19, true), kMaroon,
                        Qt::AlignCenter);
    PName->setFrameStyle(QFrame::Panel | QFrame::Raised);
    PName->setAutoFillBackground(true);
    look::setColour(PName, QPalette::Window, kSilver);

    const QFont text13 = look::pixelFont(QStringLiteral("Arial"), 13);
    const QFont head15 = look::pixelFont(QStringLiteral("Arial"), 15);
    for (int c = 0; c < 4; ++c) {
        const char L = static_cast<char>('A' + c);
        Couple& cp = couples[static_cast<size_t>(c)];
        cp.panel = look::panel(this, "", QRect(4 + c * 149, 50, 145, 360));
        cp.panel->setObjectName(objName("P?", L));
        QWidget* P = cp.panel;

        cp.letter = named(look::label(P, "", QString(QLatin1Char(L)), QRect(2, 3, 141, 30),
                                      look::pixelFont(QStringLiteral("Arial"), 24, true), kMaroon,
                                      Qt::AlignCenter),
                          objName("LCoppia?", L));

        // Created before the three panels so that they cover it.
        cp.disabled = new TDisabledText(QLatin1String(tctext::Disabled), P);
        cp.disabled->setObjectName(objName("LDisab?", L));
        cp.disabled->setFont(look::pixelFont(QStringLiteral("Courier New"), 33, true));
        cp.disabled->setGeometry((145 - 24) / 2, 38, 26, 318);

        cp.set1 = look::panel(P, "", QRect(4, 38, 137, 100), look::Bevel::Lowered);
        cp.set1->setObjectName(objName("PSet?1", L));
        auto opt = [&](const char* name, const char* text, int row) {
            return named(look::label(cp.set1, "", QLatin1String(text),
                                     QRect(6, 4 + row * 18, 128, 17), text13, kNavy),
                         objName(name, L));
        };
        cp.dir = opt("L?Dir", tctext::Direct, 0);
        cp.dis = opt("L?Dis", tctext::DisqOff, 1);
        cp.ald = opt("L?Ald", tctext::AlarmDisqOff, 2);
        cp.led = opt("L?Led", tctext::LedsOff, 3);
        cp.mem = opt("L?Mem", tctext::MemoryOff, 4);

        cp.set2 = look::panel(P, "", QRect(4, 138, 137, 112), look::Bevel::Lowered);
        cp.set2->setObjectName(objName("PSet?2", L));
        named(look::label(cp.set2, "", QStringLiteral("Delay of alarm \n  (Seconds)"),
                          QRect(2, 2, 133, 36), head15, kMaroon, Qt::AlignCenter),
              objName("L?DelayHead", L));
        named(look::label(cp.set2, "", QStringLiteral("One beam"), QRect(6, 44, 80, 17), text13,
                          kNavy),
              objName("L?OneText", L));
        named(look::label(cp.set2, "", QStringLiteral("More beams"), QRect(6, 64, 80, 17), text13,
                          kNavy),
              objName("L?MoreText", L));
        cp.one = named(look::label(cp.set2, "", QStringLiteral("0.000"), QRect(84, 44, 46, 17),
                                   text13, kNavy, Qt::AlignRight | Qt::AlignVCenter),
                       objName("L?One", L));
        cp.more = named(look::label(cp.set2, "", QStringLiteral("0.000"), QRect(84, 64, 46, 17),
                                    text13, kNavy, Qt::AlignRight | Qt::AlignVCenter),
                        objName("L?More", L));
        if (c < 2)
            cp.highSpeed = named(look::label(cp.set2, "", QLatin1String(tctext::HighSpeed),
                                             QRect(6, 90, 125, 17), text13, kRed, Qt::AlignCenter),
                                 objName("LHSpeed?", L));

        cp.set3 = look::panel(P, "", QRect(4, 250, 137, 106), look::Bevel::Lowered);
        cp.set3->setObjectName(objName("PSet?3", L));
        named(look::label(cp.set3, "", QStringLiteral("Time of alarm \n  (Seconds)"),
                          QRect(2, 2, 133, 36), head15, kMaroon, Qt::AlignCenter),
              objName("L?AlarmHead", L));
        cp.alarm = named(look::label(cp.set3, "", QStringLiteral("0.000"), QRect(6, 44, 124, 17),
                                     text13, kNavy, Qt::AlignCenter),
                         objName("L?Alarm", L));
        cp.dbe = named(look::label(cp.set3, "", QLatin1String(tctext::BeamsOff),
                                   QRect(4, 66, 128, 34), text13, kNavy,
                                   Qt::AlignRight | Qt::AlignVCenter),
                       objName("L?Dbe", L));
        // Too long for the panel on one line at this font.
        cp.dbe->setWordWrap(true);
    }

    SBEXIT = new QPushButton(QStringLiteral("EXIT"), this);
    SBEXIT->setObjectName(QStringLiteral("SBEXIT"));
    SBEXIT->setGeometry(253, 420, 95, 33);
    SBEXIT->setAutoDefault(false);
    connect(SBEXIT, &QPushButton::clicked, this, &TVisSetupTC::SBEXITClick);
    if (QScreen* s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
}

void TVisSetupTC::fill(const std::array<std::uint8_t, 70>& tc, const QString& versHub) {
    const TcSetupTexts t = tcSetupTexts(tc, versHub, QLocale());
    for (size_t c = 0; c < 4; ++c) {
        Couple& cp = couples[c];
        const TcCoupleTexts& ct = t.couples[c];
        cp.dir->setText(ct.dir);
        cp.dis->setText(ct.dis);
        cp.ald->setText(ct.ald);
        cp.led->setText(ct.led);
        cp.mem->setText(ct.mem);
        cp.dbe->setText(ct.dbe);
        cp.one->setText(ct.one);
        cp.more->setText(ct.more);
        cp.alarm->setText(ct.alarm);
        if (cp.highSpeed) cp.highSpeed->setVisible(t.highSpeedShown);
        // A couple that is not installed uncovers " D I S A B L E D "; its letter stays.
        cp.set1->setVisible(ct.present);
        cp.set2->setVisible(ct.present);
        cp.set3->setVisible(ct.present);
        cp.disabled->setVisible(!ct.present);
    }
    PName->setText(t.name);
}

void TVisSetupTC::SBEXITClick() { reject(); }

void VisuaSetup_TC(QWidget* parent, const std::array<std::uint8_t, 70>& tc,
                   const QString& versHub) {
    TVisSetupTC d(parent);
    d.fill(tc, versHub);
    execDialog(&d, QStringLiteral("setup-tc"));
}
