// The port list (sysfs and the simulated hubs' links) and what is known of
// the device behind each port.
#include "serial/comms.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/stat.h>
#include <unistd.h>

namespace hub {

QString TComPort::sysClassTtyDir() {
    const QString over = qEnvironmentVariable("HUB_SYS_CLASS_TTY");
    return over.isEmpty() ? QStringLiteral("/sys/class/tty") : over;
}

QString TComPort::serialByIdDir() {
    const QString over = qEnvironmentVariable("HUB_SERIAL_BY_ID");
    return over.isEmpty() ? QStringLiteral("/dev/serial/by-id") : over;
}

QString TComPort::simulatedHubDir() {
    QString dir = qEnvironmentVariable("HUBSIM_DIR");
    if (!dir.isEmpty()) return dir;
    dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!dir.isEmpty()) return dir + QStringLiteral("/hubsim");
    return QStringLiteral("/tmp/hubsim-%1").arg(::getuid());
}

bool TComPort::EnumPorts(QStringList& list) {
    int added = 0;
    QDir sys(sysClassTtyDir());
    QStringList names = sys.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System, QDir::Name);
    for (const QString& name : names) {
        const QString entry = sys.filePath(name);
        if (!QFileInfo::exists(entry + QStringLiteral("/device"))) continue; // no hardware
        if (name.startsWith(QStringLiteral("ttyS"))) {
            // The 8250 driver registers placeholders; type 0 is PORT_UNKNOWN.
            QFile type(entry + QStringLiteral("/type"));
            if (type.open(QIODevice::ReadOnly) && type.readAll().trimmed().toInt() == PORT_UNKNOWN)
                continue;
        }
        list << QStringLiteral("/dev/") + name;
        ++added;
    }
    QDir sim(simulatedHubDir());
    for (const QFileInfo& fi : sim.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name)) {
        if (!fi.isSymLink() || !QFileInfo::exists(fi.symLinkTarget())) continue; // stale link
        list << fi.absoluteFilePath();
        ++added;
    }
    return added > 0;
}

int TComPort::PortIndex(const QStringList& list) const {
    for (int i = 0; i < list.size(); ++i)
        if (list[i].compare(PortName, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

// ------------------------------------------------------- port descriptions

namespace {

// One line of a sysfs attribute, made fit to show. Only regular files are
// read (a FIFO or a device node in a broken tree must not block the dialog),
// and only their start: attributes are short.
QString attributeText(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return {};
    struct stat st;
    char buf[256];
    ssize_t n = -1;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        do n = ::read(fd, buf, sizeof buf);
        while (n < 0 && errno == EINTR);
    }
    ::close(fd);
    if (n <= 0) return {};
    QString text = QString::fromUtf8(buf, n);
    // Control characters (line ends, tabs, NULs) become spaces; undecodable
    // bytes show as '?'.
    for (QChar& c : text) {
        if (c == QChar::ReplacementCharacter) c = QLatin1Char('?');
        else if (!c.isPrint()) c = QLatin1Char(' ');
    }
    return text.simplified();
}

// Last component of a symbolic link's target (a driver's or a bus's name).
QString linkTargetName(const QString& path) {
    char buf[512];
    const ssize_t n = ::readlink(QFile::encodeName(path).constData(), buf, sizeof buf);
    if (n <= 0 || n == static_cast<ssize_t>(sizeof buf)) return {};
    const QString target = QFile::decodeName(QByteArray(buf, static_cast<int>(n)));
    return target.mid(target.lastIndexOf(QLatin1Char('/')) + 1);
}

QString usbDescription(const QString& dir, const QString& driver) {
    const QString product = attributeText(dir + QStringLiteral("/product"));
    const QString maker = attributeText(dir + QStringLiteral("/manufacturer"));
    const QString serial = attributeText(dir + QStringLiteral("/serial"));
    QString text = product;
    if (text.isEmpty()) {
        text = QStringLiteral("USB device");
        const QString vid = attributeText(dir + QStringLiteral("/idVendor"));
        const QString pid = attributeText(dir + QStringLiteral("/idProduct"));
        if (!vid.isEmpty() && !pid.isEmpty()) text += QLatin1Char(' ') + vid + QLatin1Char(':') + pid;
        if (!driver.isEmpty()) text += QStringLiteral(" (") + driver + QLatin1Char(')');
    }
    if (!maker.isEmpty() && !text.contains(maker, Qt::CaseInsensitive))
        text += QStringLiteral(" \u2014 ") + maker;
    if (!serial.isEmpty()) text += QStringLiteral(", serial ") + serial;
    return text;
}

// The device behind a tty: the USB device it hangs from, if any, else the
// first driver above the serial core's own port and controller devices
// (which newer kernels put between the tty and the real device).
QString hardwareDescription(const QString& ttyDir) {
    QString dir = QFileInfo(ttyDir + QStringLiteral("/device")).canonicalFilePath();
    if (dir.isEmpty()) return {};
    QString driver;
    // A USB adapter's tty sits at most two levels below the USB device
    // (port, interface); a few more levels cover the serial core's devices.
    for (int level = 0; level < 5 && dir.size() > 1; ++level) {
        const QFileInfo here(dir);
        if (here.fileName() == QLatin1String("devices")) break;
        if (QFileInfo::exists(dir + QStringLiteral("/idVendor"))) return usbDescription(dir, driver);
        if (driver.isEmpty() &&
            linkTargetName(dir + QStringLiteral("/subsystem")) != QLatin1String("serial-base")) {
            driver = linkTargetName(dir + QStringLiteral("/driver"));
            if (!driver.isEmpty()) {
                const QString id = attributeText(dir + QStringLiteral("/id")); // PNP0501 and the like
                if (!id.isEmpty()) driver += QStringLiteral(" (") + id + QLatin1Char(')');
            }
        }
        dir = here.path();
    }
    return driver;
}

} // namespace

QString TComPort::portDescription(const QString& portName) {
    return portDescription(portName, sysClassTtyDir(), simulatedHubDir(), serialByIdDir());
}

QString TComPort::portDescription(const QString& portName, const QString& sysClassTty,
                                  const QString& simDir, const QString& byIdDir) {
    if (portName.trimmed().isEmpty()) return {};
    const QString path = QDir::cleanPath(devicePath(portName));
    const QFileInfo fi(path);
    if (fi.isSymLink() && fi.absolutePath() == QDir::cleanPath(QDir(simDir).absolutePath())) {
        const QString pty = fi.symLinkTarget();
        return pty.isEmpty() ? QStringLiteral("Simulated hub (hubsim)")
                             : QStringLiteral("Simulated hub (hubsim) on ") + pty;
    }
    // Links such as /dev/serial/by-id/... name the tty they point to.
    const QString real = fi.canonicalFilePath();
    const QString name = QFileInfo(real.isEmpty() ? path : real).fileName();
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")) return {};
    QString text = hardwareDescription(QDir(sysClassTty).filePath(name));
    const QString link = stableLink(portName, byIdDir);
    if (!link.isEmpty() && link != path) text += (text.isEmpty() ? QString() : QStringLiteral("\n")) + link;
    return text;
}

namespace {

// Where a path ends up: the file itself where it exists, else the path made
// plain (a port listed by name need not exist under that name right now).
QString landing(const QString& path) {
    const QString real = QFileInfo(path).canonicalFilePath();
    return real.isEmpty() ? QDir::cleanPath(path) : real;
}

} // namespace

QString TComPort::stableLink(const QString& portName) { return stableLink(portName, serialByIdDir()); }

QString TComPort::stableLink(const QString& portName, const QString& byIdDir) {
    if (portName.trimmed().isEmpty() || byIdDir.isEmpty()) return {};
    const QString device = landing(devicePath(portName));
    const QDir dir(byIdDir);
    for (const QFileInfo& fi : dir.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name)) {
        if (!fi.isSymLink()) continue;
        const QString target = fi.symLinkTarget();
        if (!target.isEmpty() && landing(target) == device) return QDir::cleanPath(fi.absoluteFilePath());
    }
    return {};
}

bool TComPort::EnumPortInfos(QList<PortInfo>& list) {
    QStringList names;
    if (!EnumPorts(names)) return false;
    for (const QString& n : names) list.append(PortInfo{n, portDescription(n)});
    return true;
}

} // namespace hub
