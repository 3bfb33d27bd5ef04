// The acquisition dialog's port list, opened for real from the main window:
// the list follows the machine while the dialog is up.
#include "common/DialogSeam.h"
#include "fakesys.h"
#include "printing.h"
#include "mainwindow.h"
#include "monitor/FRicevi.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

using namespace hub_fakesys;

namespace {

// Runs `inside` on the modal dialog that `open` shows, then closes it. A
// guard closes a dialog that `inside` left open, so the test cannot hang.
template <class D>
bool whileModal(const std::function<void()>& open, const std::function<void(D*)>& inside) {
    bool ran = false;
    QTimer::singleShot(0, [&] {
        if (auto* d = qobject_cast<D*>(QApplication::activeModalWidget())) {
            ran = true;
            inside(d);
        }
    });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] {
        if (QWidget* m = QApplication::activeModalWidget()) m->close();
    });
    guard.start(10000);
    open();
    return ran;
}

} // namespace

TEST(RiceviPorts, TheListIsReadAgainEachTimeItOpens) {
    FakeSys s;
    ftdi(s, "FT232R USB UART\n", "FTDI\n", "A50285BI\n");
    s.dir("sims");
    qputenv("HUB_SYS_CLASS_TTY", s.classTty().toLocal8Bit());
    qputenv("HUBSIM_DIR", s.path("sims").toLocal8Bit());
    hub::DialogSeam::clear();

    mainwin_test::LiveWindow w;
    w.hub.lastPort = "/dev/ttyUSB0";
    const QString sim = s.path("sims/bench");
    const QString adapter = QStringLiteral("FT232R USB UART \u2014 FTDI, serial A50285BI");
    const bool ran = whileModal<hub::TRicevi>([&] { w.SBRiceviClick(); }, [&](hub::TRicevi* d) {
        hub::PortComboBox* box = d->ElPorte;
        EXPECT_EQ(box->geometry(), QRect(40, 56, 477, 28));
        EXPECT_EQ(box->entries(), QStringList{"/dev/ttyUSB0"});
        EXPECT_EQ(box->currentText(), "/dev/ttyUSB0");
        EXPECT_EQ(box->toolTip(), adapter);

        s.link("sims/bench", "/dev/null"); // a simulated hub starts
        box->showPopup();
        EXPECT_EQ(box->entries(), (QStringList{"/dev/ttyUSB0", sim}));
        EXPECT_EQ(box->currentText(), "/dev/ttyUSB0");
        EXPECT_EQ(box->itemData(1, Qt::ToolTipRole).toString(), "Simulated hub (hubsim) on /dev/null");
        box->hidePopup();

        QDir(s.path("class/tty/ttyUSB0")).removeRecursively(); // adapter pulled
        box->showPopup();
        EXPECT_EQ(box->entries(), QStringList{sim});
        EXPECT_EQ(box->currentText(), "");
        EXPECT_EQ(box->toolTip(), "");
        box->hidePopup();

        QFile::remove(sim);
        box->showPopup();
        EXPECT_EQ(box->entries(), QStringList{"NESSUNA PORTA SERIALE DISPONIBILE"});
        box->hidePopup();
        d->Button2->click();
    });
    EXPECT_TRUE(ran);
    EXPECT_FALSE(w.state().acquiring());
    EXPECT_EQ(w.hub.lastPort, ""); // the port shown when the dialog closed
    qunsetenv("HUB_SYS_CLASS_TTY");
    qunsetenv("HUBSIM_DIR");
}
