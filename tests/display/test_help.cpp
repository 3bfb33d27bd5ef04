#include "common/DialogSeam.h"
#include "monitor/display/FHelp.h"

#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

using namespace hub;

namespace {

QString text(const THelp& h, const char* name) {
    const auto* l = h.findChild<QLabel*>(QString::fromLatin1(name));
    return l ? l->text() : QStringLiteral("<missing>");
}

void save(THelp& h, const char* name) {
    const QString dir = qEnvironmentVariable("HUB_BUILD_DIR", QDir::tempPath()) + QStringLiteral("/screenshots");
    QDir().mkpath(dir);
    EXPECT_TRUE(h.grab().save(dir + QLatin1Char('/') + QLatin1String(name)));
}

struct Texts {
    const char* name;
    const char* english;
    const char* italian;
};

const Texts kTexts[] = {
    {"LRaggioOff", "Bean disabled", "Raggio disattivato"},
    {"LRaggioON", "Bean enabled", "Raggio attivo"},
    {"LRaggioFail", "Bean fail", "Raggio fallito"},
    {"LAlarmOff", "Alarm, Tamper, Failure and Blinded", "Allarme - Tamper - Failure - Accecato"},
    {"LAlarmOn", "Alarms ON", "Allarmi in corso"},
    {"LDisqOff", "Disqualify led", "Led di disqualifica"},
    {"LDisqOn", "Disqualify ON", "Disqualifica in corso"},
    {"LStbOff", "Standby led", "Led di standby"},
    {"LStbOn", "Standby ON", "Standby in corso"},
    {"LLeds",
     "If led's border is white it means that the led has been on a 'ON' status. To know how many times has gone  "
     "'ON' move the mouse over the led and leave it for few seconds..",
     "Qualora un led ha il contorno bianco significa che tale led si \xC3\xA8 acceso. Per sapere quante volte "
     "\xC3\xA8 sufficiente posizionarvisi sopra con il mouse e dopo due secondi apparir\xC3\xA0 il quantitativo."},
    {"LClickLeds", "Click here to show led's changes",
     "Cliccando sul led interessato si visualizza l' elenco dei cambiamenti di stato di quel led"},
    {"LClickRaggio",
     "Click here to show the changes of the couple of leds. \nIf red = 50mt, if blue 25 mt, if green not exist.",
     "Cliccando sul raggio si visualizzano i cambiamenti di quella coppia di led. Se \xC3\xA8 rosso la portata "
     "\xC3\xA8 50mt, se \xC3\xA8 blue 25mt e se \xC3\xA8 verde la portata non \xC3\xA8 indicata"},
    {"LClickNum", "Click here to show barrier's changes",
     "Cliccando sul numero si visualizzano i cambiamenti di stato di tutti i led della barra interessata"},
    {"LClickLet", "Click here to show the changes of the couple of barriers ",
     "Cliccando sulla lettera della coppia si visualizzano tutti i cambiamenti di stato di tutti i led della coppia"},
};

} // namespace

TEST(THelpWindow, TextsInBothLanguages) {
    for (bool italian : {false, true}) {
        SCOPED_TRACE(italian);
        std::unique_ptr<THelp> h(makeHelp(nullptr, italian, false));
        for (const Texts& t : kTexts)
            EXPECT_EQ(text(*h, t.name), QString::fromUtf8(italian ? t.italian : t.english)) << t.name;
        // These stay as designed in both languages.
        EXPECT_EQ(h->windowTitle(), QStringLiteral("TALVIRE ZEMBRA ---- Vers 1.7"));
        EXPECT_EQ(text(*h, "Panel3Caption"), QStringLiteral("1 - 2 - 3 - 4 - 5 - 6 - 7 - 8"));
        EXPECT_EQ(text(*h, "Panel1Caption"), QStringLiteral("A - B - C - D"));
        auto* exit = h->findChild<QPushButton*>(QStringLiteral("SBExit"));
        ASSERT_NE(exit, nullptr);
        EXPECT_EQ(exit->text(), QStringLiteral("EXIT"));
        EXPECT_EQ(h->size(), QSize(657, 494));
        h->show();
        save(*h, italian ? "help-ita.png" : "help-int.png");
    }
}

TEST(THelpWindow, EveryExplanationFitsItsPanel) {
    for (bool italian : {false, true}) {
        std::unique_ptr<THelp> h(makeHelp(nullptr, italian, false));
        for (const char* name : {"LClickLeds", "LClickRaggio", "LClickNum", "LClickLet"}) {
            const auto* l = h->findChild<QLabel*>(QString::fromLatin1(name));
            ASSERT_NE(l, nullptr);
            const QRect need = l->fontMetrics().boundingRect(QRect(0, 0, l->width(), 10000),
                                                             Qt::TextWordWrap | Qt::AlignHCenter, l->text());
            EXPECT_LE(need.height(), l->height()) << name << " italian " << italian;
            EXPECT_GE(l->font().pixelSize(), 9) << name;
            // Inside its panel, below the samples and captions.
            EXPECT_TRUE(l->parentWidget()->rect().contains(l->geometry())) << name;
        }
        // The English texts keep the designed 15 px.
        if (!italian) {
            EXPECT_EQ(h->findChild<QLabel*>(QStringLiteral("LClickLet"))->font().pixelSize(), 15);
        }
    }
}

TEST(THelpWindow, BeamLegendOnlyOutsideCompact) {
    for (bool compact : {false, true}) {
        std::unique_ptr<THelp> h(makeHelp(nullptr, false, compact));
        h->show();
        auto* beans = h->findChild<QFrame*>(QStringLiteral("PBeans"));
        ASSERT_NE(beans, nullptr);
        EXPECT_EQ(beans->isVisible(), !compact);
        EXPECT_EQ(h->findChild<QLabel*>(QStringLiteral("LRaggioFail"))->isVisible(), !compact);
        EXPECT_TRUE(h->findChild<QLabel*>(QStringLiteral("LAlarmOn"))->isVisible());
        if (compact) save(*h, "help-compact.png");
    }
}

TEST(THelpWindow, ExitClosesAndTheButtonGoesThroughTheSeam) {
    std::unique_ptr<THelp> h(makeHelp(nullptr, false, false));
    h->show();
    QTest::mouseClick(h->findChild<QPushButton*>(QStringLiteral("SBExit")), Qt::LeftButton);
    EXPECT_FALSE(h->isVisible());
    EXPECT_EQ(h->result(), QDialog::Accepted);

    DialogSeam::clear();
    DialogSeam::push(QStringLiteral("help"), 1);
    BtnHelpShow(nullptr, true, true); // answered by the seam: returns at once
    EXPECT_EQ(DialogSeam::pending(), 0);
}
