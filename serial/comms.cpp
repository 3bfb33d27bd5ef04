// TComPort: opening, line settings, reads, writes, purges and waits.
#include "serial/comms.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
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
    // The caller has just emptied the queue: the bytes it wants take this
    // long at the line rate (10 bits a byte), so it sleeps that long once
    // instead of waking for the first byte and again for the rest. A hub
    // streaming records back to back has the next one whole by then.
    const auto byteTime = [this](int bytes) {
        return std::chrono::microseconds(10'000'000LL * bytes / baudRateBits(BaudRate));
    };
    if (wanted > 1)
        std::this_thread::sleep_until(std::min<SteadyTime>(deadline, std::chrono::steady_clock::now() + byteTime(wanted)));
    waitReadable(deadline);
    if (wanted <= 1) return;
    const int waiting = InQueCount();
    if (waiting == 0 || waiting >= wanted) return;
    // The rest is still on its way: one sleep for it.
    std::this_thread::sleep_until(std::min<SteadyTime>(deadline, std::chrono::steady_clock::now() + byteTime(wanted - waiting)));
}

} // namespace hub
