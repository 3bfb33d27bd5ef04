// Language choice, live vs viewer mode, and the stop question.
#include "common/DialogSeam.h"
#include "mainwindow.h"
#include "monitor/FStop.h"
#include "monitor/language.h"

#include <QLabel>
#include <QPushButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using hub::DialogSeam;

TEST(Language, OnlyItalianInItalyGetsItalianTexts) {
    struct Case {
        const char* locale;
        const char* expected;
    } cases[] = {
        {"it_IT", "ITA"}, {"it", "ITA"},    {"it_CH", "INT"}, {"it_SM", "INT"},
        {"en_US", "INT"}, {"en_GB", "INT"}, {"de_IT", "INT"}, {"fr_CH", "INT"},
        {"C", "INT"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(hub::interfaceLanguage(QLocale(QLatin1String(c.locale))),
                  QLatin1String(c.expected))
            << c.locale;
}

TEST(Arguments, ExactlyOneArgumentMakesAViewer) {
    struct Case {
        QStringList args;
        QString viewerFile;
    } cases[] = {
        {{"hubmonitor"}, ""},
        {{"hubmonitor", "/tmp/a b.dat"}, "/tmp/a b.dat"},
        // An unquoted path with a blank arrives as two arguments: live mode.
        {{"hubmonitor", "/tmp/a", "b.dat"}, ""},
        {{"hubmonitor", "x.dat", "y.dat", "z.dat"}, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(hub::viewerFileFromArguments(c.args), c.viewerFile) << c.args.join('|').toStdString();
}

class StopQuestion : public ::testing::Test {
protected:
    void SetUp() override { DialogSeam::clear(); }
    void TearDown() override { DialogSeam::clear(); }
};

TEST_F(StopQuestion, QueuedAnswersReachLOK) {
    using Answer = hub::MainWindowState::StopAnswer;
    const struct {
        int result;
        Answer a;
    } cases[] = {{hub::TStop::ResultNO, Answer::No}, {hub::TStop::ResultSI, Answer::Yes}, {hub::TStop::ResultKO, Answer::Closed}};
    for (const auto& c : cases) {
        mainwin_test::QuietWindow w;
        DialogSeam::push(QStringLiteral("stop"), c.result);
        w.DomandaStop();
        EXPECT_EQ(w.state().stop, c.a);
        EXPECT_EQ(DialogSeam::pending(), 0);
    }
}

TEST_F(StopQuestion, ButtonsAndWindowCloseAnswerInTheDialog) {
    struct Case {
        const char* action;
        const char* expected;
        int result;
    } cases[] = {
        {"BNO", "NO", hub::TStop::ResultNO},
        {"BSI", "SI", hub::TStop::ResultSI},
        {"close", "KO", hub::TStop::ResultKO},
    };
    for (const auto& c : cases) {
        hub::TStop dlg;
        const QString action = QLatin1String(c.action);
        QTimer::singleShot(20, &dlg, [&dlg, action] {
            if (action == QLatin1String("BNO"))
                QTest::mouseClick(dlg.BNO, Qt::LeftButton);
            else if (action == QLatin1String("BSI"))
                QTest::mouseClick(dlg.BSI, Qt::LeftButton);
            else
                dlg.close();
        });
        EXPECT_EQ(dlg.exec(), c.result) << c.action;
        EXPECT_EQ(dlg.LOK->text(), QLatin1String(c.expected)) << c.action;
    }
}

TEST_F(StopQuestion, EscapeDoesNotAnswer) {
    hub::TStop dlg;
    dlg.Timer1->setInterval(300);
    QTimer::singleShot(20, &dlg, [&dlg] { QTest::keyClick(&dlg, Qt::Key_Escape); });
    EXPECT_EQ(dlg.exec(), hub::TStop::ResultNO); // only the time-out ended it
    EXPECT_EQ(dlg.LOK->text(), QLatin1String("NO"));
}

TEST_F(StopQuestion, SilenceCountsAsNo) {
    hub::TStop dlg;
    EXPECT_EQ(dlg.Timer1->interval(), 5000);
    dlg.Timer1->setInterval(50);
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(dlg.exec(), hub::TStop::ResultNO); // nothing pressed: the dialog runs until its timer
    EXPECT_GE(t.elapsed(), 40);
    EXPECT_LT(t.elapsed(), 3000);
    // The window takes that result as "NO".
    mainwin_test::QuietWindow w;
    DialogSeam::push(QStringLiteral("stop"), hub::TStop::ResultNO);
    w.DomandaStop();
    EXPECT_EQ(w.state().stop, hub::MainWindowState::StopAnswer::No);
}

TEST_F(StopQuestion, ItalianYesButtonSaysSi) {
    mainwin_test::QuietWindow w;
    w.startAs(hub::MainWindowState::Language::Italian);
    QString seen;
    QTimer::singleShot(20, [&seen] {
        for (QWidget* tl : QApplication::topLevelWidgets())
            if (auto* s = qobject_cast<hub::TStop*>(tl); s && s->isVisible()) {
                seen = s->BSI->text();
                QTest::mouseClick(s->BSI, Qt::LeftButton);
            }
    });
    w.DomandaStop();
    EXPECT_EQ(seen, QLatin1String("SI"));
    EXPECT_EQ(w.state().stop, hub::MainWindowState::StopAnswer::Yes);
}
