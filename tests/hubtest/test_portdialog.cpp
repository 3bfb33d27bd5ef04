// hubtest's port dialog opened for real: the list is read again from the
// port each time it opens, with the descriptions as tool tips.
#include "common/DialogSeam.h"
#include "fakehub.h"
#include "hubtest/FPort.h"
#include "hubtest/Test.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace hubtest_fake;

TEST(PortDialog, TheListIsReadAgainEachTimeItOpens) {
    hub::DialogSeam::clear();
    FakeClock clock;
    FakePort port{clock};
    port.ports = QStringList{"ttyS0"};
    port.descriptions = {{"ttyS0", "serial (PNP0501)"}, {"ttyUSB0", "FT232R USB UART"}};
    hub::TFTest w{port, clock};
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));

    bool ran = false;
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<hub::TPort*>(QApplication::activeModalWidget());
        if (!d) return;
        ran = true;
        hub::PortComboBox* box = d->ElPorte;
        EXPECT_EQ(box->geometry(), QRect(40, 82, 420, 30));
        EXPECT_EQ(box->entries(), QStringList{"ttyS0"});
        EXPECT_EQ(box->itemData(0, Qt::ToolTipRole).toString(), "serial (PNP0501)");
        box->setCurrentIndex(0);
        EXPECT_EQ(box->toolTip(), "serial (PNP0501)");

        port.ports = QStringList{"ttyS0", "ttyUSB0"};
        box->showPopup();
        EXPECT_EQ(box->entries(), (QStringList{"ttyS0", "ttyUSB0"}));
        EXPECT_EQ(box->currentText(), "ttyS0");
        EXPECT_EQ(box->itemData(1, Qt::ToolTipRole).toString(), "FT232R USB UART");
        box->hidePopup();

        port.ports.clear();
        box->showPopup();
        EXPECT_EQ(box->entries(), QStringList{"NESSUNA PORTA SERIALE DISPONIBILE"});
        EXPECT_EQ(box->currentText(), "");
        box->hidePopup();
        d->Button2->click();
    });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] {
        if (QWidget* m = QApplication::activeModalWidget()) m->close();
    });
    guard.start(10000);
    QTest::mouseClick(w.findChild<QWidget*>("SbConnect"), Qt::LeftButton);
    EXPECT_TRUE(ran);
    EXPECT_EQ(port.opens, 0);
    EXPECT_FALSE(port.connected());
    w.close();
}
