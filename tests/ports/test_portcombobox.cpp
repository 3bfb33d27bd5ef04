// PortComboBox: re-listing on every opening, the choice kept, tool tips.
#include "common/PortComboBox.h"
#include "printing.h"

#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

using hub::PortComboBox;
using hub::PortInfo;

namespace {

const QString NoPort = QStringLiteral("NESSUNA PORTA SERIALE DISPONIBILE");

// A combo box over a port list the test changes between openings.
struct Box {
    QList<PortInfo> ports;
    int asked = 0;
    PortComboBox box;
    explicit Box(bool editable = true) {
        box.setEditable(editable);
        box.setInsertPolicy(QComboBox::NoInsert);
        box.setNoPortText(NoPort);
        box.setLister([this] {
            ++asked;
            return ports;
        });
    }
    void set(const QStringList& names) {
        ports.clear();
        for (const QString& n : names) ports.append(PortInfo{n, QStringLiteral("about ") + n});
    }
    void open() {
        box.showPopup();
        box.hidePopup();
    }
};

} // namespace

TEST(PortComboBox, EveryOpeningListsThePortsAgain) {
    Box b;
    b.set({"/dev/ttyS0"});
    b.box.relist();
    EXPECT_EQ(b.box.entries(), QStringList{"/dev/ttyS0"});
    EXPECT_EQ(b.asked, 1);

    b.set({"/dev/ttyS0", "/dev/ttyUSB0"}); // an adapter plugged in while the dialog is up
    b.box.show();
    b.box.showPopup();
    EXPECT_EQ(b.asked, 2);
    EXPECT_EQ(b.box.entries(), (QStringList{"/dev/ttyS0", "/dev/ttyUSB0"}));
    b.box.hidePopup();

    b.set({"/dev/ttyUSB0"});
    b.open();
    EXPECT_EQ(b.asked, 3);
    EXPECT_EQ(b.box.entries(), QStringList{"/dev/ttyUSB0"});

    b.ports.clear(); // all gone: the placeholder entry, as when the dialog opened without ports
    b.open();
    EXPECT_EQ(b.box.entries(), QStringList{NoPort});
}

TEST(PortComboBox, TheChoiceStaysWhileItsPortIsListed) {
    const struct {
        const char* what;
        bool editable;
        QStringList before;
        int pick;          // entry chosen before the opening, -1: type `typed`
        const char* typed;
        QStringList after;
        QString text;      // shown after the opening
        int index;
    } cases[] = {
        {"still listed, moved", true, {"A", "B"}, 1, "", {"C", "B", "A"}, "B", 1},
        {"vanished: the field empties", true, {"A", "B"}, 1, "", {"A"}, "", -1},
        {"typed name stays as typed", true, {"A", "B"}, -1, "/dev/pts/9", {"A"}, "/dev/pts/9", -1},
        {"typed name that is now listed is selected", true, {"A"}, -1, "B", {"A", "B"}, "B", 1},
        {"typed in another case: the listed name, as elsewhere", true, {"A"}, -1, "/dev/ttyusb0",
         {"A", "/dev/ttyUSB0"}, "/dev/ttyUSB0", 1},
        {"empty field stays empty", true, {"A"}, -1, "", {"A", "B"}, "", -1},
        {"placeholder gives way to a real port", true, {}, 0, "", {"A"}, "", -1},
        {"placeholder stays while there is no port", true, {}, 0, "", {}, NoPort, 0},
        {"fixed list: kept", false, {"A", "B"}, 1, "", {"B", "C"}, "B", 0},
        {"fixed list: vanished falls back to the first entry", false, {"A", "B"}, 1, "", {"C", "A"}, "C", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Box b(c.editable);
        b.set(c.before);
        b.box.relist();
        if (c.pick >= 0) b.box.setCurrentIndex(c.pick);
        else b.box.setEditText(QString::fromUtf8(c.typed));
        b.set(c.after);
        b.open();
        EXPECT_EQ(b.box.currentText().toStdString(), c.text.toStdString());
        EXPECT_EQ(b.box.currentIndex(), c.index);
    }
}

TEST(PortComboBox, EachEntryCarriesItsDescriptionAndTheBoxShowsTheCurrentOne) {
    Box b;
    b.ports = {PortInfo{"/dev/ttyS0", "serial (PNP0501)"},
               PortInfo{"/dev/ttyUSB0", "FT232R USB UART \u2014 FTDI, serial A50285BI"},
               PortInfo{"/dev/ttyS4", ""}};
    b.box.relist();
    const struct { int entry; QVariant tip; } items[] = {
        {0, QStringLiteral("serial (PNP0501)")},
        {1, QStringLiteral("FT232R USB UART \u2014 FTDI, serial A50285BI")},
        {2, QVariant()}, // nothing known: no tool tip at all
    };
    for (const auto& i : items) EXPECT_EQ(b.box.itemData(i.entry, Qt::ToolTipRole), i.tip) << i.entry;

    const struct { const char* what; std::function<void()> act; QString tip; } steps[] = {
        {"nothing chosen yet", [] {}, ""},
        {"entry picked", [&] { b.box.setCurrentIndex(1); }, "FT232R USB UART \u2014 FTDI, serial A50285BI"},
        {"entry without description", [&] { b.box.setCurrentIndex(2); }, ""},
        {"name typed that is listed", [&] { b.box.setEditText("/dev/ttyS0"); }, "serial (PNP0501)"},
        {"name typed key by key", [&] {
             b.box.lineEdit()->clear();
             QTest::keyClicks(b.box.lineEdit(), "/dev/ttyUSB0");
         }, "FT232R USB UART \u2014 FTDI, serial A50285BI"},
        {"unknown name typed", [&] { QTest::keyClicks(b.box.lineEdit(), "9"); }, ""},
        {"the port's description changed by the next opening", [&] {
             b.box.setEditText("/dev/ttyS0");
             b.ports[0].description = "serial8250";
             b.open();
         }, "serial8250"},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.what);
        s.act();
        EXPECT_EQ(b.box.toolTip().toStdString(), s.tip.toStdString());
        EXPECT_EQ(b.box.currentDescription(), s.tip);
    }
}
