#include "hubsim.h"

#include "serial/comms.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace hubsim {

namespace {
int g_signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char c = 1;
    [[maybe_unused]] auto r = ::write(g_signalPipe[1], &c, 1);
}

bool makeDirs(const std::string& dir) {
    std::string partial;
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = dir.find('/', pos + 1);
        partial = dir.substr(0, pos);
        if (!partial.empty() && ::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    return true;
}
} // namespace

HubSim::HubSim(int baud)
    // 10 bits a byte: start, 8 data, stop.
    : byteTime_(std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(10'000'000'000LL / baud))) {}

HubSim::~HubSim() {
    removeLink();
    if (master_ >= 0) ::close(master_);
    if (slaveKeep_ >= 0) ::close(slaveKeep_);
}

bool HubSim::open(const std::string& linkName, std::string* error) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        *error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    slave_ = ::ptsname(master_);
    slaveKeep_ = ::open(slave_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slaveKeep_ < 0) {
        *error = "cannot open " + slave_ + ": " + std::strerror(errno);
        return false;
    }
    // Raw from the start: no echo, no translation, even before a client opens it.
    termios t{};
    ::tcgetattr(slaveKeep_, &t);
    cfmakeraw(&t);
    cfsetspeed(&t, B4800);
    ::tcsetattr(slaveKeep_, TCSANOW, &t);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);

    std::string dir = hub::TComPort::simulatedHubDir().toStdString();
    link_ = linkName.find('/') != std::string::npos ? linkName : dir + "/" + linkName;
    const std::string linkDir = link_.substr(0, link_.rfind('/'));
    if (!linkDir.empty() && !makeDirs(linkDir)) {
        *error = "cannot create " + linkDir + ": " + std::strerror(errno);
        return false;
    }
    ::unlink(link_.c_str()); // a stale link of a killed simulator
    if (::symlink(slave_.c_str(), link_.c_str()) != 0) {
        *error = "cannot create the link " + link_ + ": " + std::strerror(errno);
        link_.clear();
        return false;
    }
    return true;
}

void HubSim::removeLink() {
    if (!link_.empty()) ::unlink(link_.c_str());
    link_.clear();
}

void HubSim::vanish() {
    removeLink();
    if (master_ >= 0) ::close(master_);
    if (slaveKeep_ >= 0) ::close(slaveKeep_);
    master_ = slaveKeep_ = -1;
    out_.clear();
}

void HubSim::send(const std::uint8_t* data, size_t n) {
    if (out_.empty() && nextDue_ < Clock::now()) nextDue_ = Clock::now();
    out_.insert(out_.end(), data, data + n);
}

void HubSim::readCommands() {
    std::uint8_t buf[256];
    for (;;) {
        const ssize_t r = ::read(master_, buf, sizeof buf);
        if (r <= 0) return;
        for (ssize_t i = 0; i < r; ++i) {
            if (master_ < 0) return; // a handler made the device vanish
            if (const Handler& h = handlers_[buf[i]]) h(*this, buf[i]);
        }
    }
}

void HubSim::writePaced(Clock::time_point now) {
    if (out_.empty() || now < nextDue_) return;
    size_t allowed = 1 + static_cast<size_t>((now - nextDue_) / byteTime_);
    allowed = std::min(allowed, out_.size());
    std::uint8_t buf[512];
    allowed = std::min(allowed, sizeof buf);
    std::copy_n(out_.begin(), allowed, buf);
    const ssize_t w = ::write(master_, buf, allowed);
    if (w <= 0) return; // the client's queue is full: try again later
    out_.erase(out_.begin(), out_.begin() + w);
    nextDue_ += byteTime_ * w;
}

int HubSim::run() {
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return 1;
    struct sigaction sa{};
    sa.sa_handler = onSignal;
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    for (;;) {
        const auto now = Clock::now();
        auto wake = Clock::time_point::max();
        if (master_ >= 0) {
            for (auto& p : producers_) {
                wake = std::min(wake, p(*this, now));
                if (master_ < 0) break;
            }
        }
        if (master_ >= 0) writePaced(now);

        pollfd fds[2] = {{g_signalPipe[0], POLLIN, 0}, {master_, POLLIN, 0}};
        const int nfds = master_ >= 0 ? 2 : 1;
        // Wake for the next bytes of output (a few at a time) or when a
        // producer asked to; otherwise only on input or a signal.
        if (!out_.empty()) wake = std::min(wake, std::max(nextDue_, Clock::now() + std::chrono::milliseconds(4)));
        int timeout = -1;
        if (master_ >= 0 && wake != Clock::time_point::max()) {
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(wake - Clock::now()).count();
            timeout = static_cast<int>(std::clamp<long long>(wait, 0, 60'000));
        }
        const int r = ::poll(fds, nfds, timeout);
        if (r < 0 && errno != EINTR) break;
        if (r > 0 && (fds[0].revents & POLLIN)) break; // SIGINT / SIGTERM
        if (r > 0 && nfds == 2 && (fds[1].revents & POLLIN)) readCommands();
    }
    removeLink();
    return 0;
}

} // namespace hubsim
