// Port descriptions read from a fake sysfs tree built in a temporary folder.
#include "fakesys.h"
#include "printing.h"
#include "serial/comms.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace hub;

namespace {

using namespace hub_fakesys;

struct DescriptionCase {
    const char* what;
    void (*build)(FakeSys&);
    const char* port; // "@" stands for the fake root
    QString want;
};

} // namespace

TEST(PortDescription, FromTheDeviceTree) {
    const DescriptionCase cases[] = {
        {"USB adapter with product, maker and serial number",
         [](FakeSys& s) { ftdi(s, "FT232R USB UART\n", "FTDI\n", "A50285BI\n"); }, "/dev/ttyUSB0",
         QStringLiteral("FT232R USB UART \u2014 FTDI, serial A50285BI")},
        {"a bare name means /dev/NAME",
         [](FakeSys& s) { ftdi(s, "FT232R USB UART\n", "FTDI\n", "A50285BI\n"); }, "ttyUSB0",
         QStringLiteral("FT232R USB UART \u2014 FTDI, serial A50285BI")},
        {"USB modem (ACM) with only a product: the interface hangs right below the device",
         [](FakeSys& s) {
             s.usbDevice("devices/pci0/usb2/2-3", "2341\n", "0043\n", "Hub Programmer\n", nullptr, nullptr);
             s.driver("devices/pci0/usb2/2-3/2-3:1.0", "usb", "cdc_acm");
             s.tty("ttyACM0", "devices/pci0/usb2/2-3/2-3:1.0");
         },
         "/dev/ttyACM0", QStringLiteral("Hub Programmer")},
        {"USB device without strings: ids and the driver",
         [](FakeSys& s) { ftdi(s, nullptr, nullptr, nullptr); }, "/dev/ttyUSB0",
         QStringLiteral("USB device 0403:6001 (ftdi_sio)")},
        {"maker already named by the product, serial number only",
         [](FakeSys& s) { ftdi(s, "FTDI FT232R\n", "ftdi\n", "X1\n"); }, "/dev/ttyUSB0",
         QStringLiteral("FTDI FT232R, serial X1")},
        {"control characters, stray blanks and bytes that are no UTF-8",
         [](FakeSys& s) {
             ftdi(s, "\t  Hub\x01Link \r\n\n", nullptr, " 12  34 \n");
             static const char maker[] = "\xff" "ACME\x00" "Z\xc3\xbcrich";
             s.file(FtdiDev + "/manufacturer", QByteArray(maker, sizeof maker - 1));
         },
         "/dev/ttyUSB0", QStringLiteral("Hub Link \u2014 ?ACME Z\u00fcrich, serial 12 34")},
        {"attributes that cannot be read: a folder, a FIFO, a dangling link",
         [](FakeSys& s) {
             ftdi(s, nullptr, nullptr, nullptr);
             s.dir(FtdiDev + "/product");
             ASSERT_EQ(::mkfifo(QFile::encodeName(s.path(FtdiDev + "/manufacturer")).constData(), 0644), 0);
             s.link(FtdiDev + "/serial", s.path("nowhere"));
         },
         "/dev/ttyUSB0", QStringLiteral("USB device 0403:6001 (ftdi_sio)")},
        {"only blanks in the product",
         [](FakeSys& s) { ftdi(s, " \n\t", nullptr, "\n"); }, "/dev/ttyUSB0",
         QStringLiteral("USB device 0403:6001 (ftdi_sio)")},
        {"PNP port behind the serial core's port and controller devices",
         [](FakeSys& s) {
             s.file("devices/pnp0/00:01/id", "PNP0501\n");
             s.driver("devices/pnp0/00:01", "pnp", "serial");
             s.driver("devices/pnp0/00:01/00:01:0", "serial-base", "ctrl");
             s.driver("devices/pnp0/00:01/00:01:0/00:01:0.0", "serial-base", "port");
             s.tty("ttyS0", "devices/pnp0/00:01/00:01:0/00:01:0.0");
         },
         "/dev/ttyS0", QStringLiteral("serial (PNP0501)")},
        {"platform UART linked directly",
         [](FakeSys& s) {
             s.driver("devices/platform/serial8250", "platform", "serial8250");
             s.tty("ttyS1", "devices/platform/serial8250");
         },
         "/dev/ttyS1", QStringLiteral("serial8250")},
        {"hardware without a driver: nothing known",
         [](FakeSys& s) {
             s.dir("devices/platform/mystery");
             s.tty("ttyS2", "devices/platform/mystery");
         },
         "/dev/ttyS2", QString()},
        {"virtual terminal: no device", [](FakeSys& s) { s.dir("class/tty/tty1"); }, "/dev/tty1", QString()},
        {"device link pointing nowhere",
         [](FakeSys& s) { s.tty("ttyUSB3", "devices/gone/ttyUSB3"); }, "/dev/ttyUSB3", QString()},
        {"name the machine does not know", [](FakeSys&) {}, "/dev/ttyNOTHING", QString()},
        {"empty name", [](FakeSys&) {}, "", QString()},
        {"parent-folder name", [](FakeSys& s) { ftdi(s, "P\n", nullptr, nullptr); }, "/dev/..", QString()},
        {"a by-id link names the tty it points to",
         [](FakeSys& s) {
             ftdi(s, "FT232R USB UART\n", "FTDI\n", "A50285BI\n");
             s.file("dev/ttyUSB0", "");
             s.link("dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", s.path("dev/ttyUSB0"));
         },
         "@/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
         QStringLiteral("FT232R USB UART \u2014 FTDI, serial A50285BI")},
        {"a USB adapter's stable link, as udev makes it, on a line of its own",
         [](FakeSys& s) {
             ftdi(s, "FT232R USB UART\n", "FTDI\n", "A50285BI\n");
             s.file("dev/ttyUSB0", "");
             s.link("dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "../../ttyUSB0");
         },
         "@/dev/ttyUSB0",
         QStringLiteral("FT232R USB UART \u2014 FTDI, serial A50285BI\n@/dev/serial/by-id/"
                        "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0")},
        {"the stable link of a listed name that is not there at this moment",
         [](FakeSys& s) {
             s.driver("devices/platform/serial8250", "platform", "serial8250");
             s.tty("ttyUSB7", "devices/platform/serial8250");
             s.link("dev/serial/by-id/usb-other-if00-port0", "/dev/ttyUSB6");
             s.link("dev/serial/by-id/usb-this-if00-port0", "/dev/ttyUSB7");
         },
         "/dev/ttyUSB7", QStringLiteral("serial8250\n@/dev/serial/by-id/usb-this-if00-port0")},
        {"links to other ttys, dangling links and plain files are no stable name",
         [](FakeSys& s) {
             ftdi(s, "FT232R USB UART\n", nullptr, nullptr);
             s.file("dev/ttyUSB0", "");
             s.file("dev/ttyUSB1", "");
             s.link("dev/serial/by-id/usb-a-if00-port0", "../../ttyUSB1");
             s.link("dev/serial/by-id/usb-b-if00-port0", "../../gone");
             s.file("dev/serial/by-id/usb-c-if00-port0", "");
         },
         "@/dev/ttyUSB0", QStringLiteral("FT232R USB UART")},
        {"simulated hub's link",
         [](FakeSys& s) { s.link("sims/hub-1", "/dev/pts/7"); }, "@/sims/hub-1",
         QStringLiteral("Simulated hub (hubsim) on /dev/pts/7")},
        {"a link outside the simulated hubs' folder is no simulated hub",
         [](FakeSys& s) { s.link("elsewhere/hub-1", "/dev/pts/7"); }, "@/elsewhere/hub-1", QString()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeSys s;
        ASSERT_TRUE(s.root.isValid());
        s.dir("class/tty");
        s.dir("sims");
        c.build(s);
        QString port = QString::fromUtf8(c.port);
        if (port.startsWith(QLatin1Char('@'))) port = s.root.path() + port.mid(1);
        const QString want = QString(c.want).replace(QLatin1Char('@'), s.root.path());
        EXPECT_EQ(TComPort::portDescription(port, s.classTty(), s.path("sims"), s.path("dev/serial/by-id")).toStdString(),
                  want.toStdString());
    }
}

// The list with descriptions holds exactly the ports of the plain list.
TEST(PortDescription, EnumPortInfosDescribesEveryListedPort) {
    FakeSys s;
    ftdi(s, "FT232R USB UART\n", "FTDI\n", "A50285BI\n");
    s.driver("devices/platform/serial8250", "platform", "serial8250");
    s.tty("ttyS1", "devices/platform/serial8250");
    s.file("class/tty/ttyS1/type", "4\n");
    s.dir("class/tty/tty1"); // not listed: no hardware
    s.link("sims/bench", "/dev/null");
    s.link("by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "/dev/ttyUSB0");
    qputenv("HUB_SYS_CLASS_TTY", s.classTty().toLocal8Bit());
    qputenv("HUBSIM_DIR", s.path("sims").toLocal8Bit());
    qputenv("HUB_SERIAL_BY_ID", s.path("by-id").toLocal8Bit());

    QStringList names;
    ASSERT_TRUE(TComPort::EnumPorts(names));
    QList<PortInfo> infos{PortInfo{QStringLiteral("kept"), QString()}};
    ASSERT_TRUE(TComPort::EnumPortInfos(infos));
    ASSERT_EQ(infos.size(), names.size() + 1);
    EXPECT_EQ(infos[0].name, "kept");
    const QString want[] = {QStringLiteral("serial8250"),
                            QStringLiteral("FT232R USB UART \u2014 FTDI, serial A50285BI\n") +
                                s.path("by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"),
                            QStringLiteral("Simulated hub (hubsim) on /dev/null")};
    ASSERT_EQ(names.size(), 3);
    for (int i = 0; i < names.size(); ++i) {
        EXPECT_EQ(infos[i + 1].name, names[i]);
        EXPECT_EQ(infos[i + 1].description, want[i]) << names[i].toStdString();
    }

    QTemporaryDir empty;
    qputenv("HUB_SYS_CLASS_TTY", empty.path().toLocal8Bit());
    qputenv("HUBSIM_DIR", empty.filePath("none").toLocal8Bit());
    QList<PortInfo> none;
    EXPECT_FALSE(TComPort::EnumPortInfos(none));
    EXPECT_TRUE(none.isEmpty());
    qunsetenv("HUB_SYS_CLASS_TTY");
    qunsetenv("HUBSIM_DIR");
    qunsetenv("HUB_SERIAL_BY_ID");
}
