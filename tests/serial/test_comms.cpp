// TComPort over real pseudo-terminals.
#include "serial/comms.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace hub;

namespace {

struct Pty {
    int master = -1;
    QString slave;
    Pty() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        ::grantpt(master);
        ::unlockpt(master);
        slave = QString::fromLocal8Bit(::ptsname(master));
        ::fcntl(master, F_SETFL, O_NONBLOCK);
    }
    ~Pty() {
        if (master >= 0) ::close(master);
    }
    void put(const QByteArray& b) { ASSERT_EQ(::write(master, b.constData(), b.size()), b.size()); }
    QByteArray take() {
        QByteArray all;
        char buf[256];
        for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0;) all.append(buf, n);
        return all;
    }
};

std::string openError(TComPort& p) {
    try {
        p.Open();
    } catch (const EComHandle& e) {
        return e.what();
    }
    return "opened";
}

// Until the bytes written on the master side are visible on the slave side.
void settle() { std::this_thread::sleep_for(std::chrono::milliseconds(30)); }

} // namespace

TEST(TComPort, DefaultsAndDataBitsClamp) {
    TComPort p;
    EXPECT_FALSE(p.Connected());
    EXPECT_FALSE(p.ValidHandle());
    EXPECT_EQ(p.BaudRate, br9600);
    EXPECT_EQ(p.DataBits(), 8);
    EXPECT_TRUE(p.EnableDTR);
    EXPECT_EQ(p.ReadBufSize, 2048);
    const struct { int set, get; } cases[] = {{9, 8}, {4, 5}, {0, 5}, {255, 8}, {-3, 5}, {5, 5}, {6, 6}, {7, 7}, {8, 8}};
    for (auto c : cases) {
        p.SetDataBits(c.set);
        EXPECT_EQ(p.DataBits(), c.get) << "set " << c.set;
    }
}

TEST(TComPort, ReadStrReturnsWhatIsWaitingWithoutWaiting) {
    Pty pty;
    TComPort p;
    p.PortName = pty.slave;
    p.setHubLine();
    p.Open();
    ASSERT_TRUE(p.Connected());

    QElapsedTimer t;
    t.start();
    QByteArray got;
    EXPECT_EQ(p.ReadStr(got, 10), 0);
    EXPECT_TRUE(got.isEmpty());
    EXPECT_LT(t.elapsed(), 50);

    pty.put(QByteArray("\x82\x01\x02", 3));
    settle();
    EXPECT_EQ(p.InQueCount(), 3);
    t.restart();
    EXPECT_EQ(p.ReadStr(got, 10), 3);
    EXPECT_EQ(got, QByteArray("\x82\x01\x02", 3));
    EXPECT_LT(t.elapsed(), 50);
    EXPECT_EQ(p.InQueCount(), 0);

    // Bytes are passed through untouched (raw line: no CR/LF mapping, no XON/XOFF).
    const QByteArray all = [] {
        QByteArray b;
        for (int i = 0; i < 256; ++i) b.append(static_cast<char>(i));
        return b;
    }();
    pty.put(all);
    settle();
    QByteArray back;
    while (back.size() < 256) {
        QByteArray part;
        if (p.ReadStr(part, 300) == 0) break;
        back += part;
    }
    EXPECT_EQ(back, all);

    EXPECT_EQ(p.WriteStr(QByteArray("\x84\x83", 2)), 2);
    settle();
    EXPECT_EQ(pty.take(), QByteArray("\x84\x83", 2));
}

TEST(TComPort, PurgeInDiscardsWaitingInput) {
    Pty pty;
    TComPort p;
    p.PortName = pty.slave;
    p.Open();
    pty.put("abcdef");
    settle();
    ASSERT_EQ(p.InQueCount(), 6);
    p.PurgeIn();
    EXPECT_EQ(p.InQueCount(), 0);
    p.PurgeOut();
}

TEST(TComPort, HubLineReachesTheDevice) {
    Pty pty;
    TComPort p;
    p.PortName = pty.slave;
    p.setHubLine();
    p.Open();
    termios t{};
    ASSERT_EQ(::tcgetattr(p.handle(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), speed_t(B4800));
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8));
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | INLCR), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
}

// Pseudo-terminals force 8 bits without parity, so the mapping is checked on
// the termios that would be applied.
TEST(TComPort, LineSettingsMapOntoTermios) {
    const struct {
        TBaudRate baud;
        int bits;
        TParity parity;
        TStopBits stop;
        TFlowControl flow;
        speed_t speed;
        tcflag_t cflagSet, cflagClear;
        tcflag_t iflagSet;
    } cases[] = {
        {br4800, 8, prNone, sbOneStopBit, fcNone, B4800, CS8, PARENB | CSTOPB | CRTSCTS, 0},
        {br9600, 7, prEven, sbTwoStopBits, fcRtsCts, B9600, CS7 | PARENB | CSTOPB | CRTSCTS, PARODD | CMSPAR, 0},
        {br115200, 5, prOdd, sbOne5StopBits, fcXonXoff, B115200, CS5 | PARENB | PARODD | CSTOPB, CMSPAR | CRTSCTS, IXON | IXOFF},
        {br1200, 6, prMark, sbOneStopBit, fcNone, B1200, CS6 | PARENB | PARODD | CMSPAR, CSTOPB, 0},
        {br2400, 8, prSpace, sbOneStopBit, fcNone, B2400, CS8 | PARENB | CMSPAR, PARODD, 0},
    };
    for (const auto& c : cases) {
        TComPort p;
        p.BaudRate = c.baud;
        p.SetDataBits(c.bits);
        p.Parity = c.parity;
        p.StopBits = c.stop;
        p.FlowControl = c.flow;
        termios t{};
        t.c_cflag = CSTOPB | PARENB | CRTSCTS | CMSPAR | PARODD; // leftovers of an earlier user
        p.fillTermios(&t);
        EXPECT_EQ(cfgetospeed(&t), c.speed) << baudRateBits(c.baud);
        EXPECT_EQ(t.c_cflag & c.cflagSet, c.cflagSet) << baudRateBits(c.baud);
        EXPECT_EQ(t.c_cflag & c.cflagClear, 0u) << baudRateBits(c.baud);
        EXPECT_EQ(t.c_iflag & (IXON | IXOFF), c.iflagSet) << baudRateBits(c.baud);
        EXPECT_EQ(t.c_cc[VMIN], 0);
        EXPECT_EQ(t.c_cc[VTIME], 0);
    }
}

TEST(TComPort, SpeedsWithoutATermiosConstantOpen) {
    Pty pty;
    for (TBaudRate b : {br14400, br56000}) {
        TComPort p;
        p.PortName = pty.slave;
        p.BaudRate = b;
        EXPECT_NO_THROW(p.Open()) << baudRateBits(b);
        EXPECT_TRUE(p.Connected());
    }
}

TEST(TComPort, OpenFailuresCarryThePrefixAndErrno) {
    QTemporaryDir dir;
    QFile plain(dir.filePath("plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    const struct { QString name; std::string message; } cases[] = {
        {dir.filePath("missing"), "Unable to open com port: 2"},
        {dir.filePath("plain"), "Unable to open com port: 25"}, // not a terminal
        {QString(), "Unable to open com port: 21"},             // "/dev/" is a folder
    };
    for (const auto& c : cases) {
        TComPort p;
        p.PortName = c.name;
        int opened = 0;
        p.OnOpen = [&](TComPort*) { ++opened; };
        EXPECT_EQ(openError(p), c.message) << c.name.toStdString();
        EXPECT_FALSE(p.Connected());
        EXPECT_FALSE(p.ValidHandle());
        EXPECT_EQ(opened, 0);
    }
}

TEST(TComPort, PermissionRefusalNamesTheOwningGroup) {
    Pty pty;
    const QByteArray path = QFile::encodeName(pty.slave);
    ASSERT_EQ(::chmod(path.constData(), 0600), 0);
    // Root opens every device: the refused user is played by a child that
    // drops to "nobody" when we run as root.
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) _exit(3);
        TComPort p;
        p.PortName = pty.slave;
        const std::string msg = openError(p);
        [[maybe_unused]] auto w = ::write(fds[1], msg.data(), msg.size());
        _exit(0);
    }
    ::close(fds[1]);
    char buf[512];
    const ssize_t n = ::read(fds[0], buf, sizeof buf);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "could not drop privileges";
    const std::string msg(buf, n > 0 ? static_cast<size_t>(n) : 0);
    EXPECT_EQ(msg.rfind("Unable to open com port: 13 (", 0), 0u) << msg;
    EXPECT_NE(msg.find("group \""), std::string::npos) << msg;
    EXPECT_NE(msg.find("must be a member"), std::string::npos) << msg;
}

TEST(TComPort, SecondOpenIsRefusedUntilTheFirstCloses) {
    Pty pty;
    TComPort first, second;
    first.PortName = second.PortName = pty.slave;
    first.Open();
    EXPECT_EQ(openError(second), "Unable to open com port: 16");
    EXPECT_FALSE(second.Connected());

    // Another process is refused too.
    const pid_t child = ::fork();
    if (child == 0) {
        TComPort other;
        other.PortName = pty.slave;
        _exit(openError(other) == "Unable to open com port: 16" ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    first.Close();
    EXPECT_EQ(openError(second), "opened");
    // Closing leaves the device shareable again for a later, separate open.
    second.Close();
    EXPECT_EQ(openError(first), "opened");
}

TEST(TComPort, OpenAndCloseEventsAndCloseOnAClosedPort) {
    Pty pty;
    TComPort p;
    int opens = 0, closes = 0;
    p.OnOpen = [&](TComPort* s) { EXPECT_EQ(s, &p); ++opens; };
    p.OnClose = [&](TComPort*) { ++closes; };
    EXPECT_NO_THROW(p.Close());
    EXPECT_EQ(closes, 0);
    p.PortName = pty.slave;
    p.Open();
    p.Open(); // reopening closes first
    EXPECT_EQ(opens, 2);
    EXPECT_EQ(closes, 1);
    p.Close();
    p.Close();
    EXPECT_EQ(closes, 2);
    EXPECT_FALSE(p.ValidHandle());
}

TEST(TComPort, RxCharIsRaisedOnTheMainThreadOncePerArrival) {
    Pty pty;
    TComPort p;
    p.PortName = pty.slave;
    std::vector<int> queues;
    p.OnRxChar = [&](TComPort*, int inQue) {
        EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
        queues.push_back(inQue);
    };
    p.Open();
    pty.put("abc");
    QTest::qWait(200);
    ASSERT_EQ(queues.size(), 1u);
    EXPECT_EQ(queues[0], 3);
    // The bytes are still unread: no new event until new bytes arrive.
    QTest::qWait(100);
    EXPECT_EQ(queues.size(), 1u);
    pty.put("d");
    QTest::qWait(200);
    ASSERT_EQ(queues.size(), 2u);
    EXPECT_EQ(queues[1], 4);
}

TEST(TComPort, CloseRunsADispatchAlreadyRequestedAndDoesNotDeadlock) {
    Pty pty;
    TComPort p;
    p.PortName = pty.slave;
    int calls = 0;
    p.OnRxChar = [&](TComPort*, int) { ++calls; };
    p.Open();
    pty.put("x");
    // The thread now waits for the main thread, which is busy (not in its loop).
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    QElapsedTimer t;
    t.start();
    p.Close();
    EXPECT_LT(t.elapsed(), 1000);
    EXPECT_EQ(calls, 1);
    QTest::qWait(50); // the queued request finds nothing left to run
    EXPECT_EQ(calls, 1);
}

TEST(TComPort, CloseFromInsideAHandler) {
    Pty pty;
    TComPort p;
    p.PortName = pty.slave;
    int calls = 0, closes = 0;
    p.OnRxChar = [&](TComPort* s, int) {
        ++calls;
        s->Close();
    };
    p.OnClose = [&](TComPort*) { ++closes; };
    p.Open();
    pty.put("x");
    QTest::qWait(200);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(p.Connected());
}

TEST(TComPort, VanishedDeviceRaisesInsteadOfLookingSilent) {
    auto pty = std::make_unique<Pty>();
    TComPort p;
    p.PortName = pty->slave;
    p.Open();
    pty.reset(); // the other side is gone
    std::uint8_t b;
    try {
        p.ReadStr(&b, 1);
        FAIL() << "no error";
    } catch (const EComError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to read from port: 5");
    }
    // Waiting for data must not return at once for ever (a spin): it raises.
    QElapsedTimer t;
    t.start();
    EXPECT_THROW(p.waitReadable(std::chrono::steady_clock::now() + std::chrono::seconds(2)), EComError);
    EXPECT_LT(t.elapsed(), 500);
    EXPECT_THROW(p.WriteStr(QByteArray("\x84", 1)), EWriteError);
    p.Close(); // still closes
    EXPECT_FALSE(p.Connected());
}

TEST(TComPort, WaitReadableSleepsUntilDataOrDeadline) {
    Pty pty;
    TComPort p;
    p.PortName = pty.slave;
    p.Open();
    QElapsedTimer t;
    t.start();
    p.waitReadable(std::chrono::steady_clock::now() + std::chrono::milliseconds(150));
    EXPECT_GE(t.elapsed(), 145);
    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        pty.put("z");
    });
    t.restart();
    p.waitReadable(std::chrono::steady_clock::now() + std::chrono::seconds(5));
    EXPECT_LT(t.elapsed(), 1000);
    writer.join();
    EXPECT_EQ(p.InQueCount(), 1);
}

TEST(TComPort, EnumPortsListsHardwareAndRunningSimulatedHubs) {
    QTemporaryDir sys, sim;
    auto mk = [&](const QString& name, bool device, const char* type) {
        QDir(sys.path()).mkpath(name + (device ? "/device" : ""));
        if (type) {
            QFile f(sys.filePath(name + "/type"));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(type);
        }
    };
    mk("tty0", false, nullptr);     // virtual console: no hardware
    mk("ttyS0", true, "4\n");       // a real 16550A
    mk("ttyS1", true, "0\n");       // placeholder with nothing behind it
    mk("ttyUSB0", true, nullptr);
    mk("ptmx", false, nullptr);
    ASSERT_EQ(::symlink("/dev/null", QFile::encodeName(sim.filePath("hub-1")).constData()), 0);
    ASSERT_EQ(::symlink("/nonexistent/pts/9", QFile::encodeName(sim.filePath("hub-2")).constData()), 0);

    qputenv("HUB_SYS_CLASS_TTY", sys.path().toLocal8Bit());
    qputenv("HUBSIM_DIR", sim.path().toLocal8Bit());
    QStringList list{"kept"};
    EXPECT_TRUE(TComPort::EnumPorts(list));
    EXPECT_EQ(list, (QStringList{"kept", "/dev/ttyS0", "/dev/ttyUSB0", sim.filePath("hub-1")}));

    TComPort p;
    p.PortName = "/DEV/TTYusb0";
    EXPECT_EQ(p.PortIndex(list), 2);
    p.PortName = "ttyUSB0";
    EXPECT_EQ(p.PortIndex(list), -1);

    QTemporaryDir empty;
    qputenv("HUB_SYS_CLASS_TTY", empty.path().toLocal8Bit());
    qputenv("HUBSIM_DIR", empty.filePath("none").toLocal8Bit());
    QStringList none{"kept"};
    EXPECT_FALSE(TComPort::EnumPorts(none));
    EXPECT_EQ(none, QStringList{"kept"});
    qunsetenv("HUB_SYS_CLASS_TTY");
    qunsetenv("HUBSIM_DIR");
}

TEST(TComPort, DevicePathOfAPortName) {
    EXPECT_EQ(TComPort::devicePath("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(TComPort::devicePath("/run/user/1000/hubsim/hub-7"), "/run/user/1000/hubsim/hub-7");
}

// A stable name (/dev/serial/by-id/...) is a link with '/' in it: it is taken
// as given, the lock holds for the device whichever name opens it, and a
// reopening follows the link to wherever it points now.
TEST(TComPort, ALinkOpensLocksAndReopensWhereItNowPoints) {
    QTemporaryDir dir;
    Pty before, after;
    const QString link = dir.filePath("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    ASSERT_EQ(::symlink(QFile::encodeName(before.slave).constData(), QFile::encodeName(link).constData()), 0);

    TComPort p, other;
    p.setHubLine();
    p.PortName = link;
    p.Open();
    other.PortName = before.slave;
    EXPECT_EQ(openError(other), "Unable to open com port: 16");
    other.PortName = link;
    EXPECT_EQ(openError(other), "Unable to open com port: 16");
    before.put("A");
    settle();
    QByteArray got;
    EXPECT_EQ(p.ReadStr(got, 8), 1);
    EXPECT_EQ(got, "A");
    p.Close();

    // The adapter comes back under another tty and udev moves the link.
    const QString moved = link + ".new";
    ASSERT_EQ(::symlink(QFile::encodeName(after.slave).constData(), QFile::encodeName(moved).constData()), 0);
    ASSERT_EQ(::rename(QFile::encodeName(moved).constData(), QFile::encodeName(link).constData()), 0);
    p.Open();
    EXPECT_EQ(p.WriteStr(QByteArray("\x84", 1)), 1);
    settle();
    EXPECT_EQ(after.take(), QByteArray("\x84", 1));
    EXPECT_EQ(before.take(), QByteArray());
    other.PortName = after.slave;
    EXPECT_EQ(openError(other), "Unable to open com port: 16");
    other.PortName = before.slave;
    EXPECT_EQ(openError(other), "opened"); // the old device is free again
    other.Close();
    p.Close();
}

TEST(TComPort, WaitForBytesSleepsForTheWantedBytesButNeverPastTheDeadline) {
    using namespace std::chrono;
    // 4800 baud: 2.08 ms a byte, a 13-byte record 27 ms.
    struct Case {
        const char* name;
        int wanted;
        milliseconds deadline;
        std::vector<std::pair<milliseconds, QByteArray>> arrivals;
        int minMs, maxMs; // when it returns
        int waitingAtLeast;
    };
    const Case cases[] = {
        {"a record sent at once: one sleep of its line time", 13, 2000ms, {{5ms, QByteArray(13, 'r')}}, 27, 250, 13},
        {"the rest arrives later: waits on for it", 13, 2000ms,
         {{60ms, QByteArray(5, 'a')}, {70ms, QByteArray(8, 'b')}}, 60, 400, 5},
        {"silence: until the deadline", 13, 120ms, {}, 120, 450, 0},
        {"a deadline before the line time: not past it", 13, 8ms, {}, 8, 200, 0},
        {"one byte: no sleep before looking", 1, 2000ms, {{0ms, QByteArray(1, 'x')}}, 0, 200, 1},
    };
    for (const Case& c : cases) {
        Pty pty;
        TComPort p;
        p.PortName = pty.slave;
        p.setHubLine();
        p.Open();
        const auto t0 = steady_clock::now();
        std::thread writer([&] {
            for (auto& [at, bytes] : c.arrivals) {
                std::this_thread::sleep_until(t0 + at);
                pty.put(bytes);
            }
        });
        p.waitForBytes(c.wanted, t0 + c.deadline);
        const auto ms = duration_cast<milliseconds>(steady_clock::now() - t0).count();
        writer.join();
        EXPECT_GE(ms, c.minMs) << c.name;
        EXPECT_LE(ms, c.maxMs) << c.name;
        EXPECT_GE(p.InQueCount(), c.waitingAtLeast) << c.name;
    }
}

TEST(TComPort, WaitForBytesOnAVanishedDeviceRaises) {
    auto pty = std::make_unique<Pty>();
    TComPort p;
    p.PortName = pty->slave;
    p.setHubLine();
    p.Open();
    pty.reset();
    QElapsedTimer t;
    t.start();
    EXPECT_THROW(p.waitForBytes(13, std::chrono::steady_clock::now() + std::chrono::seconds(2)), EComError);
    EXPECT_LT(t.elapsed(), 500);
}
