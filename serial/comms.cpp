#include "serial/comms.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace hub {

int setCustomBaud(int fd, int bitsPerSecond); // custombaud.cpp

std::string LastErrorText(int code) { return std::to_string(code); }

namespace {

std::string withCode(const char* prefix, int code) { return prefix + LastErrorText(code); }

// Milliseconds until the deadline, rounded up so that a wake-up is never early
// (an early wake-up would turn the caller's wait into a spin).
int msUntil(SteadyTime deadline) {
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<int>(std::min<long long>(ms, 1 << 30));
}

speed_t standardSpeed(TBaudRate b) {
    switch (b) {
    case br110: return B110;
    case br300: return B300;
    case br600: return B600;
    case br1200: return B1200;
    case br2400: return B2400;
    case br4800: return B4800;
    case br9600: return B9600;
    case br19200: return B19200;
    case br38400: return B38400;
    case br57600: return B57600;
    case br115200: return B115200;
    default: return 0; // 14400 and 56000 have no constant
    }
}

// The group owning the device, for the permission hint.
std::string groupHint(const QByteArray& path) {
    struct stat st;
    if (::stat(path.constData(), &st) != 0) return {};
    std::string name;
    if (const group* g = ::getgrgid(st.st_gid)) name = g->gr_name;
    else name = std::to_string(st.st_gid);
    return " (" + path.toStdString() + " belongs to group \"" + name +
           "\": the user must be a member of that group)";
}

} // namespace

int baudRateBits(TBaudRate b) {
    static const int bits[] = {110,   300,   600,   1200,  2400,  4800,  9600,
                               14400, 19200, 38400, 56000, 57600, 115200};
    return bits[b];
}

std::uint32_t eventMask(TEvents events) {
    static const std::uint32_t platform[] = {EV_RXCHAR, EV_TXEMPTY, EV_RXFLAG, EV_RING, EV_BREAK,
                                             EV_CTS,    EV_DSR,     EV_ERR,    EV_RLSD};
    std::uint32_t m = 0;
    for (int e = 0; e < 9; ++e)
        if (events & (1u << e)) m |= platform[e];
    return m;
}

// ---------------------------------------------------------------- TComPort

TComPort::TComPort(QObject* parent) : QObject(parent) {}

TComPort::~TComPort() { Close(); }

void TComPort::SetDataBits(int value) { dataBits_ = static_cast<std::uint8_t>(std::clamp(value, 5, 8)); }

void TComPort::setHubLine() {
    BaudRate = br4800;
    Parity = prNone;
    StopBits = sbOneStopBit;
    FlowControl = fcNone;
    SetDataBits(8);
    Events = kAllEvents;
    EnableDTR = false;
    WriteBufSize = 2048;
    ReadBufSize = 2048;
}

QString TComPort::devicePath(const QString& portName) {
    return portName.contains(QLatin1Char('/')) ? portName : QStringLiteral("/dev/") + portName;
}

void TComPort::Open() {
    Close();
    CreateHandle();
    try {
        ApplySettings();
    } catch (...) {
        DestroyHandle(); // a refused port stays closed
        throw;
    }
    thread_ = std::make_unique<TComThread>(this);
    connected_ = true;
    if (OnOpen) OnOpen(this);
}

void TComPort::Close() {
    if (!connected_) return;
    if (thread_) {
        thread_->Stop();
        // A dispatch the thread already asked for still runs here, on the main
        // thread; then the thread can end and be joined.
        thread_->runPendingDispatch();
        thread_.reset();
    }
    DestroyHandle();
    connected_ = false;
    if (OnClose) OnClose(this);
}

void TComPort::CreateHandle() {
    const QByteArray path = QFile::encodeName(devicePath(PortName));
    int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        std::string msg = withCode(kOpenErrorPrefix, e);
        if (e == EACCES) msg += groupHint(path);
        throw EComHandle(msg, e);
    }
    // Exclusive: TIOCEXCL keeps other users out, flock also keeps out root and
    // this very process. Both refusals read as "busy".
    if (::ioctl(fd, TIOCEXCL) != 0) {
        const int e = errno;
        ::close(fd);
        throw EComHandle(withCode(kOpenErrorPrefix, e), e);
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int e = (errno == EWOULDBLOCK) ? EBUSY : errno;
        ::close(fd); // the exclusive flag belongs to the holder: leave it set
        throw EComHandle(withCode(kOpenErrorPrefix, e), e);
    }
    fd_ = fd;
}

void TComPort::DestroyHandle() {
    if (fd_ == -1) return;
    // The exclusive flag outlives us while anybody else keeps the tty open.
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
}

void TComPort::fillTermios(termios* tp) const {
    termios& t = *tp;
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= sizes[dataBits_ - 5];
    switch (Parity) {
    case prNone: break;
    case prOdd: t.c_cflag |= PARENB | PARODD; break;
    case prEven: t.c_cflag |= PARENB; break;
    case prMark: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case prSpace: t.c_cflag |= PARENB | CMSPAR; break;
    }
    if (StopBits != sbOneStopBit) t.c_cflag |= CSTOPB; // 1.5 with 5 data bits
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (FlowControl == fcRtsCts) t.c_cflag |= CRTSCTS;
    if (FlowControl == fcXonXoff) t.c_iflag |= IXON | IXOFF;
    t.c_cc[VSTART] = 0x11;
    t.c_cc[VSTOP] = 0x13;
    // Reads return at once with what is waiting.
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (const speed_t sp = standardSpeed(BaudRate)) cfsetspeed(&t, sp);
}

void TComPort::ApplySettings() {
    termios t{};
    if (::tcgetattr(fd_, &t) != 0) throw EComState(withCode(kStateErrorPrefix, errno), errno);
    fillTermios(&t);
    if (::tcsetattr(fd_, TCSANOW, &t) != 0) throw EComState(withCode(kStateErrorPrefix, errno), errno);
    if (standardSpeed(BaudRate) == 0) {
        if (const int e = setCustomBaud(fd_, baudRateBits(BaudRate)))
            throw EComState(withCode(kStateErrorPrefix, e), e);
    }
    int dtr = TIOCM_DTR;
    if (::ioctl(fd_, EnableDTR ? TIOCMBIS : TIOCMBIC, &dtr) != 0) {
        // A pseudo-terminal has no modem lines; anything else is a refusal.
        if (errno != ENOTTY && errno != EINVAL)
            throw EComState(withCode(kStateErrorPrefix, errno), errno);
    }
    // The queue sizes have no termios counterpart: the kernel's are larger.
}

int TComPort::InQueCount() {
    int n = 0;
    if (::ioctl(fd_, FIONREAD, &n) != 0) throw EComStatus(withCode(kStatusErrorPrefix, errno), errno);
    return n;
}

int TComPort::WriteStr(const QByteArray& data) {
    return WriteStr(reinterpret_cast<const std::uint8_t*>(data.constData()), static_cast<int>(data.size()));
}

int TComPort::WriteStr(const std::uint8_t* data, int count) {
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(1000LL * count + 1500);
    int written = 0;
    while (written < count) {
        const ssize_t w = ::write(fd_, data + written, static_cast<size_t>(count - written));
        if (w > 0) {
            written += static_cast<int>(w);
            continue;
        }
        if (w < 0 && errno == EINTR) continue;
        if (w < 0 && errno != EAGAIN) throw EWriteError(withCode(kWriteErrorPrefix, errno), errno);
        pollfd p{fd_, POLLOUT, 0};
        const int ms = msUntil(deadline);
        if (ms == 0) throw EWriteError(withCode(kWriteErrorPrefix, ETIMEDOUT), ETIMEDOUT);
        if (::poll(&p, 1, ms) < 0 && errno != EINTR)
            throw EWriteError(withCode(kWriteErrorPrefix, errno), errno);
    }
    if (thread_ && thread_->wantsTxEmpty()) thread_->kick(); // lets it see the queue drain
    return written;
}

int TComPort::ReadStr(QByteArray& data, int count) {
    data.resize(count);
    const int n = ReadStr(reinterpret_cast<std::uint8_t*>(data.data()), count);
    data.resize(n);
    return n;
}

int TComPort::ReadStr(std::uint8_t* data, int count) { return readWaiting(data, count, true); }

int TComPort::readWaiting(std::uint8_t* data, int count, bool checkHangUp) {
    if (count <= 0) return 0;
    for (;;) {
        const ssize_t r = ::read(fd_, data, static_cast<size_t>(count));
        if (r > 0) return static_cast<int>(r);
        if (r == 0) {
            if (!checkHangUp) return 0;
            // Nothing waiting, or a device that hung up (which also reads 0).
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)))
                throw EComRead(withCode(kReadErrorPrefix, EIO), EIO);
            return 0;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN) return 0;
        throw EComRead(withCode(kReadErrorPrefix, errno), errno);
    }
}

void TComPort::PurgeIn() {
    if (::tcflush(fd_, TCIFLUSH) != 0) throw EComPurge(withCode(kPurgeErrorPrefix, errno), errno);
}

void TComPort::PurgeOut() {
    if (::tcflush(fd_, TCOFLUSH) != 0) throw EComPurge(withCode(kPurgeErrorPrefix, errno), errno);
}

void TComPort::waitReadable(SteadyTime deadline) {
    for (;;) {
        pollfd p{fd_, POLLIN, 0};
        const int r = ::poll(&p, 1, msUntil(deadline));
        if (r < 0) {
            if (errno == EINTR) {
                if (msUntil(deadline) == 0) return;
                continue;
            }
            throw EComRead(withCode(kReadErrorPrefix, errno), errno);
        }
        if (r > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) && InQueCount() == 0) {
            // The device is gone: nothing will ever arrive, and polling it
            // again would return at once for ever.
            throw EComRead(withCode(kReadErrorPrefix, EIO), EIO);
        }
        return;
    }
}

void TComPort::waitForBytes(int wanted, SteadyTime deadline) {
    waitReadable(deadline);
    if (wanted <= 1) return;
    const int waiting = InQueCount();
    if (waiting == 0 || waiting >= wanted) return;
    // The rest follows at the line rate (10 bits a byte): one sleep for it
    // rather than a wake-up for each byte.
    const auto rest = std::chrono::microseconds(10'000'000LL * (wanted - waiting) / baudRateBits(BaudRate));
    std::this_thread::sleep_until(std::min<SteadyTime>(deadline, std::chrono::steady_clock::now() + rest));
}

QString TComPort::sysClassTtyDir() {
    const QString over = qEnvironmentVariable("HUB_SYS_CLASS_TTY");
    return over.isEmpty() ? QStringLiteral("/sys/class/tty") : over;
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
    return portDescription(portName, sysClassTtyDir(), simulatedHubDir());
}

QString TComPort::portDescription(const QString& portName, const QString& sysClassTty,
                                  const QString& simDir) {
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
    return hardwareDescription(QDir(sysClassTty).filePath(name));
}

bool TComPort::EnumPortInfos(QList<PortInfo>& list) {
    QStringList names;
    if (!EnumPorts(names)) return false;
    for (const QString& n : names) list.append(PortInfo{n, portDescription(n)});
    return true;
}

// -------------------------------------------------------------- TComThread

namespace {
std::uint32_t assignedMask(const TComPort* p) {
    std::uint32_t m = 0;
    if (p->OnRxChar) m |= EV_RXCHAR;
    if (p->OnTxEmpty) m |= EV_TXEMPTY;
    if (p->OnRxFlag) m |= EV_RXFLAG;
    if (p->OnRing) m |= EV_RING;
    if (p->OnBreak) m |= EV_BREAK;
    if (p->OnCTS) m |= EV_CTS;
    if (p->OnDSR) m |= EV_DSR;
    if (p->OnError) m |= EV_ERR;
    if (p->OnRLSD) m |= EV_RLSD;
    return m;
}
} // namespace

TComThread::TComThread(TComPort* port)
    : port_(port), fd_(port->fd_), hand_(std::make_shared<Hand>()) {
    stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    // Only events somebody listens to are waited for: with no handlers (as
    // in both programs) the thread sleeps until it is stopped.
    mask_ = eventMask(port->Events) & assignedMask(port);
    thread_ = std::thread([this] { Execute(); });
}

TComThread::~TComThread() {
    Stop();
    if (thread_.joinable()) thread_.join();
    if (stopFd_ >= 0) ::close(stopFd_);
}

void TComThread::Stop() {
    {
        std::lock_guard<std::mutex> l(hand_->m);
        hand_->stopping = true;
    }
    hand_->cv.notify_all();
    kick();
}

void TComThread::kick() {
    const std::uint64_t one = 1;
    if (stopFd_ >= 0) [[maybe_unused]] auto r = ::write(stopFd_, &one, sizeof one);
}

bool TComThread::requestDispatch(std::uint32_t mask) {
    std::unique_lock<std::mutex> l(hand_->m);
    if (hand_->stopping) return false;
    hand_->pending = true;
    hand_->mask = mask;
    const std::uint64_t target = hand_->done + 1;
    std::shared_ptr<Hand> hand = hand_;
    TComPort* port = port_;
    QMetaObject::invokeMethod(
        port, [port, hand] { dispatchOnMain(port, hand); }, Qt::QueuedConnection);
    hand_->cv.wait(l, [&] { return hand_->done >= target || hand_->stopping; });
    return !hand_->stopping;
}

void TComThread::runPendingDispatch() { dispatchOnMain(port_, hand_); }

void TComThread::dispatchOnMain(TComPort* port, const std::shared_ptr<Hand>& hand) {
    std::uint32_t mask;
    {
        std::lock_guard<std::mutex> l(hand->m);
        if (!hand->pending) return; // already run, or nothing asked for
        hand->pending = false;
        hand->running = true;
        mask = hand->mask;
    }
    DispatchEvents(port, hand, mask);
    {
        std::lock_guard<std::mutex> l(hand->m);
        hand->running = false;
        ++hand->done;
    }
    hand->cv.notify_all();
}

void TComThread::DispatchEvents(TComPort* port, const std::shared_ptr<Hand>& hand, std::uint32_t mask) {
    // A handler may close the port: stop as soon as this dispatch's thread is gone.
    auto live = [&] { return port->connected_ && port->thread_ && port->thread_->hand_ == hand; };
    auto raise = [&](std::uint32_t bit, const std::function<void(TComPort*)>& h) {
        if ((mask & bit) && h && live()) h(port);
    };
    if ((mask & EV_RXCHAR) && port->OnRxChar && live()) {
        int inQue = 0;
        try {
            inQue = port->InQueCount();
        } catch (const EComError&) {
        }
        port->OnRxChar(port, inQue);
    }
    raise(EV_TXEMPTY, port->OnTxEmpty);
    raise(EV_BREAK, port->OnBreak);
    raise(EV_RING, port->OnRing);
    raise(EV_CTS, port->OnCTS);
    raise(EV_DSR, port->OnDSR);
    raise(EV_RXFLAG, port->OnRxFlag);
    raise(EV_RLSD, port->OnRLSD);
    raise(EV_ERR, port->OnError);
}

void TComThread::Execute() {
    const int ep = ::epoll_create1(EPOLL_CLOEXEC);
    if (ep < 0) return;
    // Edge-triggered: each arrival of bytes is one event, like the line's
    // "character received", however long the bytes stay unread.
    epoll_event ev{};
    ev.events = EPOLLET | EPOLLHUP | EPOLLERR;
    if (mask_ & EV_RXCHAR) ev.events |= EPOLLIN;
    if (mask_ & EV_TXEMPTY) ev.events |= EPOLLOUT;
    ev.data.fd = fd_;
    bool watchingFd = ::epoll_ctl(ep, EPOLL_CTL_ADD, fd_, &ev) == 0;
    epoll_event sev{};
    sev.events = EPOLLIN;
    sev.data.fd = stopFd_;
    ::epoll_ctl(ep, EPOLL_CTL_ADD, stopFd_, &sev);

    // Modem lines, breaks and line errors come from the driver's counters,
    // where it keeps them (real UARTs and USB adapters; not pseudo-terminals).
    const std::uint32_t counted = EV_CTS | EV_DSR | EV_RING | EV_RLSD | EV_BREAK | EV_ERR;
    serial_icounter_struct last{};
    const bool haveCounters = (mask_ & counted) && ::ioctl(fd_, TIOCGICOUNT, &last) == 0;
    bool txPending = false;

    for (;;) {
        int timeout = -1;
        if (haveCounters) timeout = 100;
        if (txPending) timeout = 10;
        epoll_event got[2];
        const int n = ::epoll_wait(ep, got, 2, timeout);
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        std::uint32_t events = 0;
        for (int i = 0; i < n; ++i) {
            if (got[i].data.fd == stopFd_) {
                std::uint64_t v;
                [[maybe_unused]] auto r = ::read(stopFd_, &v, sizeof v);
                txPending = (mask_ & EV_TXEMPTY) != 0; // a write, or the stop
                continue;
            }
            if (got[i].events & EPOLLIN) events |= EV_RXCHAR;
            if (got[i].events & (EPOLLHUP | EPOLLERR)) {
                events |= EV_ERR;
                if (watchingFd) ::epoll_ctl(ep, EPOLL_CTL_DEL, fd_, nullptr);
                watchingFd = false;
            }
        }
        {
            std::lock_guard<std::mutex> l(hand_->m);
            if (hand_->stopping) break;
        }
        if (txPending) {
            int outq = 0;
            if (::ioctl(fd_, TIOCOUTQ, &outq) != 0 || outq == 0) {
                events |= EV_TXEMPTY;
                txPending = false;
            }
        }
        if (haveCounters) {
            serial_icounter_struct now{};
            if (::ioctl(fd_, TIOCGICOUNT, &now) == 0) {
                if (now.cts != last.cts) events |= EV_CTS;
                if (now.dsr != last.dsr) events |= EV_DSR;
                if (now.rng != last.rng) events |= EV_RING;
                if (now.dcd != last.dcd) events |= EV_RLSD;
                if (now.brk != last.brk) events |= EV_BREAK;
                if (now.frame != last.frame || now.overrun != last.overrun ||
                    now.parity != last.parity || now.buf_overrun != last.buf_overrun)
                    events |= EV_ERR;
                last = now;
            }
        }
        events &= mask_;
        if (events && !requestDispatch(events)) break;
    }
    // Ending the thread discards unread input and unsent output.
    ::tcflush(fd_, TCIOFLUSH);
    ::close(ep);
}

} // namespace hub
