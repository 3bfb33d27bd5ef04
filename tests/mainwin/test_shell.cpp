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
#include <cstring>
#include <QTest>
#include <gtest/gtest.h>

using mainwin_test::control;

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
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QApplication::processEvents();
    EXPECT_EQ(w.windowTitle(), QLatin1String("ZEMBRA MONITOR HUB Vers. 1.8"));
    EXPECT_TRUE(control<QFrame>(w, "PanelRicevi")->isVisible());
    EXPECT_TRUE(control<QPushButton>(w, "BOpenFile")->isVisible());
    EXPECT_TRUE(control<QFrame>(w, "PStat")->isVisible());
    EXPECT_FALSE(control<QPushButton>(w, "SBClear")->isVisible());
    EXPECT_FALSE(control<QLabel>(w, "TextNomeArch")->isVisible());
    EXPECT_EQ(w.state().language, hub::MainWindowState::Language::English);
    EXPECT_FALSE(control<QLabel>(w, "LRicCorso")->isVisible());
    EXPECT_EQ(control<QPushButton>(w, "SBRicevi")->text(), QLatin1String("RECEIVE DATA"));
    EXPECT_EQ(loads.count, 0);
    // Panels follow the monitor's panel.
    EXPECT_EQ(control<QFrame>(w, "PanelTit")->y(), control<QFrame>(w, "PanelFlag")->y() + control<QFrame>(w, "PanelFlag")->height() + 2);
    EXPECT_EQ(control<QFrame>(w, "PanelCom")->x(), control<QFrame>(w, "PanelTit")->x() + control<QFrame>(w, "PanelTit")->width() + 2);
    EXPECT_EQ(control<QFrame>(w, "PanelCom")->height(), control<QFrame>(w, "PanelFlag")->height());
    EXPECT_EQ(control<QPushButton>(w, "SBEXIT")->y(), control<QFrame>(w, "PanelCom")->height() - 45);
}

TEST_F(Shell, ItalianStartTranslatesTheReceiveTexts) {
    mainwin_test::QuietWindow w;
    w.startAs(hub::MainWindowState::Language::Italian);
    w.show();
    EXPECT_EQ(control<QPushButton>(w, "SBRicevi")->text(), QLatin1String("RICEZIONE DATI"));
    // Two lines, broken where the caption has its line break.
    EXPECT_EQ(control<QLabel>(w, "LRicCorso")->text().split(QLatin1Char('\n')),
              (QStringList{"Ricezione in corso", "premere \"ESC\" per STOP"}));
    // The acquiring look, for a look at the two-line caption.
    control<QPushButton>(w, "SBRicevi")->hide();
    control<QLabel>(w, "LRicCorso")->show();
    QString dir = qEnvironmentVariable("HUB_BUILD_DIR");
    if (!dir.isEmpty()) {
        QDir().mkpath(dir + QStringLiteral("/screens"));
        EXPECT_TRUE(control<QFrame>(w, "PanelRicevi")->grab().save(dir + QStringLiteral("/screens/mainwin-receiving-it.png")));
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
        w.startAs(QLatin1String(lang) == QLatin1String("ITA") ? hub::MainWindowState::Language::Italian
                                                              : hub::MainWindowState::Language::English,
                  path);
        w.show();
        EXPECT_FALSE(control<QFrame>(w, "PanelRicevi")->isVisible());
        EXPECT_FALSE(control<QPushButton>(w, "BOpenFile")->isVisible());
        EXPECT_FALSE(control<QFrame>(w, "PStat")->isVisible());
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

// The load is not told by the caption: a hub name that puts a dot where
// "LOADING ........." had one must not load the file again on every paint,
// in a viewer nor in a live window showing a recording.
TEST_F(Shell, ACaptionWithADotNeverLoadsAgain) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tc.dat"));
    {
        std::uint8_t tc[70] = {};
        std::memcpy(tc + 44, "ABCDE.XY", 8);
        hub::DataFileWriter wr;
        ASSERT_TRUE(wr.create(path));
        ASSERT_TRUE(wr.writeStartEnd(46000.5));
        ASSERT_TRUE(wr.writeSettings(46000.5, 0x02, tc));
    }
    for (bool viewer : {true, false}) {
        mainwin_test::QuietWindow w;
        mainwin_test::LoadCounter loads(w);
        w.startAs(hub::MainWindowState::Language::English, viewer ? path : QString());
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
        QApplication::processEvents();
        if (!viewer) {
            DialogSeam::push(QStringLiteral("open-file"), path);
            w.BOpenFileClick();
        }
        ASSERT_EQ(w.windowTitle().mid(0, 9), QLatin1String("TC:ABCDE.")) << viewer;
        for (int i = 0; i < 5; ++i) {
            w.repaint();
            QApplication::processEvents();
        }
        EXPECT_EQ(loads.count, 1) << viewer;
        EXPECT_TRUE(DialogSeam::shown().isEmpty()) << viewer;
    }
}

TEST_F(Shell, LiveWindowNeverLoadsOnPaint) {
    mainwin_test::QuietWindow w;
    mainwin_test::LoadCounter loads(w);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.repaint();
    QApplication::processEvents();
    EXPECT_EQ(loads.count, 0);
    EXPECT_EQ(w.windowTitle(), QLatin1String("ZEMBRA MONITOR HUB Vers. 1.8"));
}

TEST_F(Shell, EscapeWithoutAcquisitionAsksNothing) {
    mainwin_test::QuietWindow w;
    w.show();
    DialogSeam::push(QStringLiteral("stop"), hub::TStop::ResultSI);
    QTest::keyClick(control<QPushButton>(w, "SBEXIT"), Qt::Key_Escape);
    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_EQ(DialogSeam::pending(), 1); // the question was never asked
    EXPECT_TRUE(w.isVisible());
}

TEST_F(Shell, ExitClosesAnIdleWindow) {
    mainwin_test::QuietWindow w;
    w.show();
    QTest::mouseClick(control<QPushButton>(w, "SBEXIT"), Qt::LeftButton);
    EXPECT_FALSE(w.isVisible());
}

TEST_F(Shell, CloseIsRefusedWhileAcquiringAndTheAnswerIsNo) {
    mainwin_test::QuietWindow w;
    w.show();
    mainwin_test::startAcquisition(w);
    ASSERT_TRUE(w.state().acquiring());
    DialogSeam::push(QStringLiteral("stop"), hub::TStop::ResultNO);
    EXPECT_FALSE(w.close());
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.state().stop, hub::MainWindowState::StopAnswer::No);
    w.FermaRic(false); // let the window go
    EXPECT_TRUE(w.close());
}

// With the link's stop behind FermaRic: what the answer to the question does
// to ESC and to closing the window.
TEST_F(Shell, AnswersDecideWhetherEscAndCloseStop) {
    using Answer = hub::MainWindowState::StopAnswer;
    struct Case {
        const char* answer;
        int result;
        Answer stored;
        bool stops;
    } cases[] = {{"NO", hub::TStop::ResultNO, Answer::No, false},
                 {"SI", hub::TStop::ResultSI, Answer::Yes, true},
                 {"KO", hub::TStop::ResultKO, Answer::Closed, true}};
    for (const auto& c : cases) {
        for (const char* how : {"esc", "close"}) {
            mainwin_test::QuietWindow w;
            w.show();
            mainwin_test::startAcquisition(w); // on a port that never answers
            DialogSeam::push(QStringLiteral("stop"), c.result);
            DialogSeam::push(QStringLiteral("error"), QString()); // in case closing reports
            bool closed = false;
            if (QLatin1String(how) == QLatin1String("esc"))
                QTest::keyClick(control<QPushButton>(w, "SBEXIT"), Qt::Key_Escape);
            else
                closed = w.close();
            const std::string at = std::string(c.answer) + " / " + how;
            EXPECT_EQ(w.state().stop, c.stored) << at;
            EXPECT_EQ(w.state().acquiring(), !c.stops) << at;
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
