// Details of the windows as the user sees them: the toolkit's own texts in the
// window's language, and the focus mark on "Exit" at start-up.
#include "common/DialogSeam.h"
#include "mainwindow.h"
#include "monitor/FAnaBarre.h"
#include "monitor/language.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTranslator>
#include <gtest/gtest.h>

TEST(ToolkitTexts, ItalianLoadsTheToolkitsOwnTranslationsEnglishNone) {
    const struct {
        const char* language;
        bool loaded;
        const char* context;
        const char* source;
        const char* want; // "" : left to the toolkit's English
    } cases[] = {
        {"ITA", true, "QFileDialog", "Open", "Apri"},
        {"ITA", true, "QPlatformTheme", "&Yes", "&S\u00ec"},
        {"INT", false, "QFileDialog", "Open", ""},
        {"", false, "QFileDialog", "Open", ""},
    };
    for (const auto& c : cases) {
        QTranslator t;
        EXPECT_EQ(hub::loadToolkitTranslation(t, QLatin1String(c.language)), c.loaded) << c.language;
        EXPECT_EQ(t.translate(c.context, c.source).toStdString(), c.want) << c.language << " " << c.source;
    }
}

TEST(MainWindow, ExitShowsItsFocusMarkAtStartUp) {
    hub::DialogSeam::clear();
    mainwin_test::QuietWindow w; // live and idle
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    auto* exit = w.findChild<QPushButton*>(QStringLiteral("SBEXIT"));
    ASSERT_NE(exit, nullptr);
    ASSERT_TRUE(exit->hasFocus());
    const QImage focused = exit->grab().toImage();
    w.findChild<QPushButton*>(QStringLiteral("BOpenFile"))->setFocus();
    ASSERT_FALSE(exit->hasFocus());
    EXPECT_NE(exit->grab().toImage(), focused); // the mark went with the focus
}
