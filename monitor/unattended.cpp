#include "monitor/unattended.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace hub {

UnattendedStart parseUnattended(const QStringList& arguments) {
    UnattendedStart u;
    if (arguments.size() < 2 || !arguments.at(1).startsWith(QLatin1String("--"))) return u;
    u.requested = true;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        auto value = [&](QString& out) {
            if (i + 1 >= arguments.size() || arguments.at(i + 1).isEmpty()) {
                u.error = a + QStringLiteral(" needs a value");
                return false;
            }
            out = arguments.at(++i);
            return true;
        };
        if (a == QLatin1String("--port")) {
            if (!value(u.port)) return u;
        } else if (a == QLatin1String("--record")) {
            if (u.record == false) {
                u.error = QStringLiteral("--record and --no-record exclude each other");
                return u;
            }
            if (!value(u.name)) return u;
            u.record = true;
        } else if (a == QLatin1String("--no-record")) {
            if (u.record == true) {
                u.error = QStringLiteral("--record and --no-record exclude each other");
                return u;
            }
            u.record = false;
        } else {
            u.error = QStringLiteral("unknown option: ") + a;
            return u;
        }
    }
    if (u.port.isEmpty()) u.error = QStringLiteral("--port DEVICE is required");
    return u;
}

namespace {
const QRegularExpression& codePattern() {
    static const QRegularExpression re(QStringLiteral("^Unable to [^:]*: (\\d+)"));
    return re;
}
} // namespace

int deviceErrorCode(const QString& message) {
    const auto m = codePattern().match(message);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QString withSystemText(const QString& message) {
    const auto m = codePattern().match(message);
    if (!m.hasMatch()) return message;
    QString out = message;
    out.insert(m.capturedEnd(0), QStringLiteral(" (") +
                                     QString::fromLocal8Bit(std::strerror(m.captured(1).toInt())) +
                                     QLatin1Char(')'));
    return out;
}

bool deviceErrorCanHeal(int code, const QString& device) {
    switch (code) {
    case ENOTTY:  // a regular file, a pipe: never a serial line
    case EISDIR:
    case ENOTDIR: // a file where the path wants a folder
    case ELOOP:
    case ENAMETOOLONG:
        return false;
    case ENOENT: {
        const QString path = device.contains(QLatin1Char('/')) ? device : QStringLiteral("/dev/") + device;
        const QString parent = QFileInfo(path).absolutePath();
        return QFileInfo(parent).isDir() || parent == QLatin1String("/dev") ||
               parent.startsWith(QLatin1String("/dev/"));
    }
    default:
        return true;
    }
}

namespace {
int g_pipe[2] = {-1, -1};
int g_deadline = 0; // seconds; 0: none
volatile sig_atomic_t g_signalled = 0;

void onDeadline(int) {
    static const char text[] = "hubmonitor: the stop did not end in time; quitting without it\n";
    [[maybe_unused]] auto r = ::write(STDERR_FILENO, text, sizeof text - 1);
    ::_exit(1);
}

void onSignal(int) {
    const int saved = errno;
    if (!g_signalled && g_deadline > 0) ::alarm(static_cast<unsigned>(g_deadline));
    g_signalled = 1;
    const char c = 1;
    [[maybe_unused]] auto r = ::write(g_pipe[1], &c, 1);
    errno = saved;
}
} // namespace

struct QuitSignals::Impl {
    std::function<void()> onSignal;
    QSocketNotifier* notifier = nullptr;
    struct sigaction oldInt {}, oldTerm {}, oldAlrm {};
};

QuitSignals::QuitSignals(std::function<void()> onSignalFn, int deadlineSeconds) : d_(new Impl) {
    d_->onSignal = std::move(onSignalFn);
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_pipe) != 0) return;
    g_deadline = deadlineSeconds;
    g_signalled = 0;
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &sa, &d_->oldInt);
    ::sigaction(SIGTERM, &sa, &d_->oldTerm);
    struct sigaction alrm {};
    alrm.sa_handler = onDeadline;
    ::sigaction(SIGALRM, &alrm, &d_->oldAlrm);
    d_->notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read);
    QObject::connect(d_->notifier, &QSocketNotifier::activated, [this] {
        char buf[16];
        while (::read(g_pipe[0], buf, sizeof buf) > 0) {
        }
        if (d_->onSignal) d_->onSignal();
    });
}

QuitSignals::~QuitSignals() {
    if (d_->notifier) {
        ::alarm(0);
        ::sigaction(SIGINT, &d_->oldInt, nullptr);
        ::sigaction(SIGTERM, &d_->oldTerm, nullptr);
        ::sigaction(SIGALRM, &d_->oldAlrm, nullptr);
        g_deadline = 0;
        delete d_->notifier;
        ::close(g_pipe[0]);
        ::close(g_pipe[1]);
        g_pipe[0] = g_pipe[1] = -1;
    }
    delete d_;
}

} // namespace hub
