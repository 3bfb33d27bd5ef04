// The main window's shell: show, viewer load, ESC, close.
#include "common/DialogSeam.h"
#include "mainwindow.h"
#include "monitor/FStop.h"
#include "monitor/datafile.h"

#include <QApplication>
#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using hub::DialogSeam;

namespace {
class Shell : public ::testing::Test {
protected:
    void SetUp() override { DialogSeam::clear(); }
    void TearDown() override { DialogSeam::clear(); }
};
} // namespace

TEST_F(Shell, LiveStartShowsTheCommandsAndTheEnglishCaption) {
    mainwin_test::QuietWindow w;
    mainwin_test::LoadCounter loads(w);
    w.NomeArch->setText(QString());
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QApplication::processEvents();
    EXPECT_EQ(w.windowTitle(), QLatin1String("ZEMBRA MONITOR HUB Vers. 1.8"));
    EXPECT_TRUE(w.PanelRicevi->isVisible());
    EXPECT_TRUE(w.BOpenFile->isVisible());
    EXPECT_TRUE(w.PStat->isVisible());
    EXPECT_FALSE(w.SBClear->isVisible());
    EXPECT_FALSE(w.TextNomeArch->isVisible());
    EXPECT_FALSE(w.Language->isVisible());
    EXPECT_FALSE(w.LRicCorso->isVisible());
    EXPECT_EQ(w.SBRicevi->text(), QLatin1String("RECEIVE DATA"));
    EXPECT_EQ(loads.count, 0);
    // Panels follow the monitor's panel.
    EXPECT_EQ(w.PanelTit->y(), w.PanelFlag->y() + w.PanelFlag->height() + 2);
    EXPECT_EQ(w.PanelCom->x(), w.PanelTit->x() + w.PanelTit->width() + 2);
    EXPECT_EQ(w.PanelCom->height(), w.PanelFlag->height());
    EXPECT_EQ(w.SBEXIT->y(), w.PanelCom->height() - 45);
}

TEST_F(Shell, ItalianStartTranslatesTheReceiveTexts) {
    mainwin_test::QuietWindow w;
    w.Language->setText(QStringLiteral("ITA"));
    w.NomeArch->setText(QString());
    w.show();
    EXPECT_EQ(w.SBRicevi->text(), QLatin1String("RICEZIONE DATI"));
    // Two lines, broken where the caption has its line break.
    EXPECT_EQ(w.LRicCorso->text().split(QLatin1Char('\n')),
              (QStringList{"Ricezione in corso", "premere \"ESC\" per STOP"}));
    // The acquiring look, for a look at the two-line caption.
    w.SBRicevi->hide();
    w.LRicCorso->show();
    QString dir = qEnvironmentVariable("HUB_BUILD_DIR");
    if (!dir.isEmpty()) {
        QDir().mkpath(dir + QStringLiteral("/screens"));
        EXPECT_TRUE(w.PanelRicevi->grab().save(dir + QStringLiteral("/screens/mainwin-receiving-it.png")));
    }
}

TEST_F(Shell, ViewerLoadsItsFileOnceWhateverTheRepaints) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("rec.dat"));
    {
        hub::DataFileWriter wr;
        ASSERT_TRUE(wr.create(path));
        ASSERT_TRUE(wr.writeStartEnd(46000.5));
    }
    for (const char* lang : {"INT", "ITA"}) {
        mainwin_test::QuietWindow w;
        mainwin_test::LoadCounter loads(w);
        w.Language->setText(QLatin1String(lang));
        w.NomeArch->setText(path);
        w.show();
        EXPECT_FALSE(w.PanelRicevi->isVisible());
        EXPECT_FALSE(w.BOpenFile->isVisible());
        EXPECT_FALSE(w.PStat->isVisible());
        EXPECT_EQ(w.palette().color(QPalette::Window), QColor(0xC0, 0xC0, 0xC0));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
        for (int i = 0; i < 5; ++i) {
            w.repaint();
            QApplication::processEvents();
        }
        (void)w.grab();
        QApplication::processEvents();
        EXPECT_EQ(loads.count, 1) << lang;
        EXPECT_EQ(w.windowTitle(), QLatin1String(lang) == QLatin1String("ITA")
                                       ? QLatin1String("ZEMBRA ---- INTERROGAZIONE")
                                       : QLatin1String("ZEMBRA ---- INQUIRY"));
    }
}

TEST_F(Shell, LiveWindowNeverLoadsOnPaint) {
    mainwin_test::QuietWindow w;
    mainwin_test::LoadCounter loads(w);
    w.NomeArch->setText(QString());
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.repaint();
    QApplication::processEvents();
    EXPECT_EQ(loads.count, 0);
    EXPECT_EQ(w.windowTitle(), QLatin1String("ZEMBRA MONITOR HUB Vers. 1.8"));
}

TEST_F(Shell, EscapeWithoutAcquisitionAsksNothing) {
    mainwin_test::QuietWindow w;
    w.NomeArch->setText(QString());
    w.show();
    DialogSeam::push(QStringLiteral("stop"), TStop::ResultSI);
    QTest::keyClick(w.SBEXIT, Qt::Key_Escape);
    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_EQ(DialogSeam::pending(), 1); // the question was never asked
    EXPECT_TRUE(w.isVisible());
}

TEST_F(Shell, ExitClosesAnIdleWindow) {
    mainwin_test::QuietWindow w;
    w.NomeArch->setText(QString());
    w.show();
    QTest::mouseClick(w.SBEXIT, Qt::LeftButton);
    EXPECT_FALSE(w.isVisible());
}

TEST_F(Shell, CloseIsRefusedWhileAcquiringAndTheAnswerIsNo) {
    mainwin_test::QuietWindow w;
    w.NomeArch->setText(QString());
    w.show();
    mainwin_test::startAcquisition(w);
    ASSERT_TRUE(w.acquisitionRunning());
    DialogSeam::push(QStringLiteral("stop"), TStop::ResultNO);
    EXPECT_FALSE(w.close());
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.LOK->text(), QLatin1String("NO"));
    w.FermaRic(false); // let the window go
    EXPECT_TRUE(w.close());
}

// With the link's stop behind FermaRic: what the answer to the question does
// to ESC and to closing the window.
TEST_F(Shell, AnswersDecideWhetherEscAndCloseStop) {
    struct Case {
        const char* answer;
        int result;
        bool stops;
    } cases[] = {{"NO", TStop::ResultNO, false}, {"SI", TStop::ResultSI, true}, {"KO", TStop::ResultKO, true}};
    for (const auto& c : cases) {
        for (const char* how : {"esc", "close"}) {
            mainwin_test::QuietWindow w;
            w.NomeArch->setText(QString());
            w.show();
            mainwin_test::startAcquisition(w); // on a port that never answers
            DialogSeam::push(QStringLiteral("stop"), c.result);
            DialogSeam::push(QStringLiteral("error"), QString()); // in case closing reports
            bool closed = false;
            if (QLatin1String(how) == QLatin1String("esc"))
                QTest::keyClick(w.SBEXIT, Qt::Key_Escape);
            else
                closed = w.close();
            const std::string at = std::string(c.answer) + " / " + how;
            EXPECT_EQ(w.LOK->text(), QLatin1String(c.answer)) << at;
            EXPECT_EQ(w.acquisitionRunning(), !c.stops) << at;
            if (QLatin1String(how) == QLatin1String("close")) {
                EXPECT_EQ(closed, c.stops) << at;
                EXPECT_EQ(w.isVisible(), !c.stops) << at;
            } else {
                EXPECT_TRUE(w.isVisible()) << at; // ESC stops, it does not close
            }
            w.FermaRic(false);
            DialogSeam::clear();
        }
    }
}
