#include "monitor/unattended.h"

#include <QSocketNotifier>
#include <csignal>
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
int g_pipe[2] = {-1, -1};
void onSignal(int) {
    const char c = 1;
    [[maybe_unused]] auto r = ::write(g_pipe[1], &c, 1);
}
} // namespace

struct QuitSignals::Impl {
    std::function<void()> onSignal;
    QSocketNotifier* notifier = nullptr;
    struct sigaction oldInt {}, oldTerm {};
};

QuitSignals::QuitSignals(std::function<void()> onSignalFn) : d_(new Impl) {
    d_->onSignal = std::move(onSignalFn);
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_pipe) != 0) return;
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &sa, &d_->oldInt);
    ::sigaction(SIGTERM, &sa, &d_->oldTerm);
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
        ::sigaction(SIGINT, &d_->oldInt, nullptr);
        ::sigaction(SIGTERM, &d_->oldTerm, nullptr);
        delete d_->notifier;
        ::close(g_pipe[0]);
        ::close(g_pipe[1]);
        g_pipe[0] = g_pipe[1] = -1;
    }
    delete d_;
}

} // namespace hub
