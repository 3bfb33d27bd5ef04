#pragma once
// A sysfs-like tree in a temporary folder, for the port descriptions.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <unistd.h>

namespace hub_fakesys {

// A sysfs-like tree: root/devices/..., root/bus/..., root/class/tty/<name>/device.
struct FakeSys {
    QTemporaryDir root;
    QString classTty() const { return root.filePath(QStringLiteral("class/tty")); }
    QString path(const QString& rel) const { return root.filePath(rel); }

    void dir(const QString& rel) { ASSERT_TRUE(QDir().mkpath(path(rel))) << rel.toStdString(); }
    void file(const QString& rel, const QByteArray& bytes) {
        dir(QFileInfo(path(rel)).path().mid(root.path().size() + 1));
        QFile f(path(rel));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << rel.toStdString();
        f.write(bytes);
    }
    void link(const QString& rel, const QString& target) {
        dir(QFileInfo(path(rel)).path().mid(root.path().size() + 1));
        ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(path(rel)).constData()), 0)
            << rel.toStdString();
    }
    // A device's driver and bus, as symbolic links the way the kernel makes them.
    void driver(const QString& dev, const QString& bus, const QString& name) {
        dir(QStringLiteral("bus/%1/drivers/%2").arg(bus, name));
        link(dev + QStringLiteral("/driver"), path(QStringLiteral("bus/%1/drivers/%2").arg(bus, name)));
        link(dev + QStringLiteral("/subsystem"), path(QStringLiteral("bus/") + bus));
    }
    void tty(const QString& name, const QString& device) {
        dir(QStringLiteral("class/tty/") + name);
        link(QStringLiteral("class/tty/%1/device").arg(name), path(device));
    }
    // A USB device whose attribute files hold the given bytes (null: no file).
    void usbDevice(const QString& dev, const char* vid, const char* pid, const char* product,
                   const char* maker, const char* serial) {
        dir(dev);
        const struct { const char* name; const char* bytes; } attrs[] = {
            {"idVendor", vid}, {"idProduct", pid}, {"product", product}, {"manufacturer", maker}, {"serial", serial}};
        for (const auto& a : attrs)
            if (a.bytes) file(dev + QLatin1Char('/') + QLatin1String(a.name), QByteArray(a.bytes));
    }
};

inline const QString FtdiDev = QStringLiteral("devices/pci0000:00/0000:00:14.0/usb1/1-1");

// An FTDI adapter as usb-serial shows it: device, interface, usb-serial port, tty.
inline void ftdi(FakeSys& s, const char* product, const char* maker, const char* serial) {
    s.usbDevice(FtdiDev, "0403\n", "6001\n", product, maker, serial);
    s.dir(FtdiDev + QStringLiteral("/1-1:1.0/ttyUSB0/tty/ttyUSB0"));
    s.driver(FtdiDev + QStringLiteral("/1-1:1.0"), QStringLiteral("usb"), QStringLiteral("ftdi_sio"));
    s.driver(FtdiDev + QStringLiteral("/1-1:1.0/ttyUSB0"), QStringLiteral("usb-serial"), QStringLiteral("ftdi_sio"));
    s.tty(QStringLiteral("ttyUSB0"), FtdiDev + QStringLiteral("/1-1:1.0/ttyUSB0"));
}

} // namespace hub_fakesys
