#include "common/DialogSeam.h"
#include "monitor/FAnaBarre.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace hub;

TEST(MainWindowSetup, OpensTheWindowOfTheHubKindReceivedLast) {
    struct Case {
        const char* versHub;
        int swShown;
        int tcShown;
    } cases[] = {
        {"HUB", 0, 0}, // nothing received since the reset
        {"", 0, 0},
        {"SW: v.1 (TEST)", 1, 0},
        {"TC:AB (v.2)", 0, 1},
    };
    for (const Case& c : cases) {
        DialogSeam::clear();
        TAnalisiBarre w;
        w.LVersHUB->setText(QString::fromLatin1(c.versHub));
        DialogSeam::push("setup-sw", QDialog::Rejected);
        DialogSeam::push("setup-tc", QDialog::Rejected);
        QTest::mouseClick(w.BSetup, Qt::LeftButton);
        EXPECT_EQ(DialogSeam::take("setup-sw").has_value(), c.swShown == 0) << c.versHub;
        EXPECT_EQ(DialogSeam::take("setup-tc").has_value(), c.tcShown == 0) << c.versHub;
    }
    DialogSeam::clear();
}
