#pragma once
// A private Mosquitto broker for a test: /usr/sbin/mosquitto as a child
// process on a free loopback port, with a configuration generated in a
// temporary folder of its own. Tests never talk to a broker of the machine.
//
//   testsupport::PrivateBroker broker;             // anonymous, plain TCP
//   ASSERT_TRUE(broker.ok()) << broker.error();
//   connect to 127.0.0.1:broker.port()
//
// The broker is stopped (SIGTERM, then SIGKILL) by stop() and the destructor.
// Should the test program itself die, the kernel kills the broker with it
// (PR_SET_PDEATHSIG): that signal follows the thread that started the broker,
// so start brokers from the test's main thread, or one that outlives them.
// No Qt and no GoogleTest here, so that benchmarks can use it too.
// HUB_KEEP_BROKER_DIR=1 keeps the broker's folder (configuration, log) for a look.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

struct BrokerTls {
    std::string cafile, certfile, keyfile;
    bool requireCertificate = false; // clients must show a certificate signed by cafile
};

struct BrokerOptions {
    bool allowAnonymous = true;
    // Broker users as name/password pairs; when not empty the broker gets a
    // password file (hashed by mosquitto_passwd) and checks them.
    // Passwords do not begin nor end with a space (mosquitto_passwd trims them).
    std::vector<std::pair<std::string, std::string>> users;
    std::string acl;          // text of an ACL file; empty: no ACL
    bool persistence = false; // keeps retained messages and sessions across restart()
    bool autosaveEveryChange = false; // with persistence: saves on every change, so kill() loses nothing
    std::optional<BrokerTls> tls;     // a second listener speaking TLS: tlsPort()
    bool verbose = false;     // log every packet (log_type all)
    std::string extra;        // more configuration lines, added at the end
    // A complete configuration instead of the generated one. @PORT@, @TLS_PORT@
    // and @DIR@ (the broker's folder, no trailing slash) are substituted; the
    // password file (@DIR@/passwd) and the ACL file (@DIR@/acl) are still
    // written from users and acl.
    std::string config;
    std::chrono::milliseconds startTimeout{10000};

    // Anonymous clients refused: these users, and nobody else, get in.
    static BrokerOptions usersOnly(std::vector<std::pair<std::string, std::string>> users) {
        BrokerOptions o;
        o.allowAnonymous = false;
        o.users = std::move(users);
        return o;
    }
};

class PrivateBroker {
public:
    explicit PrivateBroker(BrokerOptions options = {}) : opt_(std::move(options)) {
        std::string base = "/tmp";
        if (const char* t = std::getenv("TMPDIR"); t && *t) base = t;
        std::string tmpl = base + "/hubbroker-XXXXXX";
        if (!::mkdtemp(tmpl.data())) {
            error_ = "cannot create a folder under " + base + ": " + std::strerror(errno);
            return;
        }
        dir_ = tmpl;
        if (!writeAuthFiles()) return;
        // A port can be taken by someone else between our probe and the
        // broker's bind: the broker then exits at once and we try another.
        for (int attempt = 0; attempt < 5; ++attempt) {
            port_ = freePort();
            tlsPort_ = opt_.tls || opt_.config.find("@TLS_PORT@") != std::string::npos ? freePort(port_) : 0;
            if (port_ <= 0 || (tlsPort_ < 0)) {
                error_ = "no free loopback port";
                return;
            }
            if (!writeConfig()) return;
            const Start s = launch();
            if (s == Start::Ready) return;
            if (s == Start::Failed) return;
        }
        error_ = "every port tried was taken\n" + log();
    }

    ~PrivateBroker() {
        stop();
        if (!dir_.empty() && !std::getenv("HUB_KEEP_BROKER_DIR")) {
            std::error_code ec;
            std::filesystem::remove_all(dir_, ec);
        }
    }
    PrivateBroker(const PrivateBroker&) = delete;
    PrivateBroker& operator=(const PrivateBroker&) = delete;

    bool ok() const { return error_.empty(); }
    // Why the last start failed, with the broker's log.
    const std::string& error() const { return error_; }
    int port() const { return port_; }
    int tlsPort() const { return tlsPort_; }
    const std::string& dir() const { return dir_; }
    std::string configPath() const { return dir_ + "/mosquitto.conf"; }
    std::string passwordPath() const { return dir_ + "/passwd"; }
    std::string aclPath() const { return dir_ + "/acl"; }
    pid_t pid() const { return pid_; }
    bool running() {
        reap(false);
        return pid_ > 0;
    }

    // Everything the broker wrote, across restarts; or from byte `from` on.
    std::string log(std::size_t from = 0) const { return readFile(dir_ + "/broker.log", from); }

    // Clean stop: SIGTERM (the broker saves its persistence), SIGKILL after 5 s.
    // SIGTERM is repeated: Mosquitto logs "running" just before it sets its
    // run flag, so a SIGTERM that lands in between is forgotten.
    void stop() {
        if (pid_ <= 0) return;
        for (int i = 0; i < 20 && pid_ > 0; ++i) {
            ::kill(pid_, SIGTERM);
            if (waitExit(std::chrono::milliseconds(250))) break;
        }
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            waitExit(std::chrono::seconds(5));
        }
        pid_ = -1;
    }
    // A crash: nothing saved since the last autosave.
    void kill() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        waitExit(std::chrono::seconds(5));
        pid_ = -1;
    }
    // Starts again (after stop() or kill(), or stops first) on the same ports,
    // configuration and persistence. False, with error(), when it does not come up.
    bool restart() {
        stop();
        error_.clear();
        const Start s = launch();
        if (s == Start::PortTaken) error_ = "the port was taken meanwhile\n" + log();
        return s == Start::Ready;
    }
    // SIGHUP: the broker reads its password and ACL files again.
    bool reload() {
        if (pid_ <= 0) return false;
        const std::size_t mark = logSize();
        ::kill(pid_, SIGHUP);
        // The broker logs the reload once it has read the files again.
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < until) {
            if (log(mark).find("Reloading config") != std::string::npos) {
                // Settles in the same loop turn; one more turn makes sure.
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    // Runs a program to completion (stdin /dev/null, output to the log);
    // returns its exit code, -1 when it did not exit normally.
    int runTool(const std::vector<std::string>& argv) const {
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        const int logFd = ::open((dir_ + "/broker.log").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int nul = ::open("/dev/null", O_RDONLY);
            ::dup2(nul, 0);
            if (logFd >= 0) {
                ::dup2(logFd, 1);
                ::dup2(logFd, 2);
            }
            ::execv(args[0], args.data());
            ::_exit(127);
        }
        if (logFd >= 0) ::close(logFd);
        if (pid < 0) return -1;
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    static std::string readFile(const std::string& path, std::size_t from = 0) {
        std::ifstream in(path, std::ios::binary);
        if (from) in.seekg(std::streamoff(from));
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

private:
    enum class Start { Ready, PortTaken, Failed };

    std::size_t logSize() const {
        struct stat st {};
        return ::stat((dir_ + "/broker.log").c_str(), &st) == 0 ? std::size_t(st.st_size) : 0;
    }

    static bool writeFile(const std::string& path, const std::string& text) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        ::chmod(path.c_str(), 0600);
        return bool(out);
    }

    // A port nobody listens on now: the kernel's pick for port 0. Not reserved:
    // the broker's bind can still lose the race, which launch() reports.
    static int freePort(int avoid = 0) {
        for (int i = 0; i < 10; ++i) {
            const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (s < 0) return -1;
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            a.sin_port = 0;
            socklen_t len = sizeof a;
            int port = -1;
            if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
                ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
                port = ntohs(a.sin_port);
            ::close(s);
            if (port != avoid) return port;
        }
        return -1;
    }

    static bool accepts(int port) {
        const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (s < 0) return false;
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<uint16_t>(port));
        const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        ::close(s);
        return ok;
    }

    bool writeAuthFiles() {
        if (!opt_.acl.empty() && !writeFile(aclPath(), opt_.acl)) {
            error_ = "cannot write " + aclPath();
            return false;
        }
        if (opt_.users.empty()) return true;
        // One mosquitto_passwd run hashes every "name:password" line in place
        // (-U), so hundreds of users cost one process. It trims spaces at
        // the ends of a password.
        std::string plain;
        for (const auto& [name, password] : opt_.users) {
            if (name.empty() || name.find_first_of(":\n") != std::string::npos ||
                password.find('\n') != std::string::npos) {
                error_ = "a broker user name may not be empty nor hold ':' or a newline: " + name;
                return false;
            }
            plain += name + ":" + password + "\n";
        }
        if (!writeFile(passwordPath(), plain)) {
            error_ = "cannot write " + passwordPath();
            return false;
        }
        if (runTool({"/usr/bin/mosquitto_passwd", "-U", passwordPath()}) != 0) {
            error_ = "mosquitto_passwd could not hash the passwords\n" + log();
            return false;
        }
        return true;
    }

    static void replaceAll(std::string& s, const std::string& from, const std::string& to) {
        for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
            s.replace(at, from.size(), to);
    }

    bool writeConfig() {
        std::ostringstream c;
        // The broker drops root for the "mosquitto" user unless told to stay
        // who we are; it could not read our 0600 files otherwise.
        const passwd* pw = ::getpwuid(::geteuid());
        const std::string me = pw ? pw->pw_name : "root";
        if (!opt_.config.empty()) {
            std::string text = opt_.config;
            replaceAll(text, "@PORT@", std::to_string(port_));
            replaceAll(text, "@TLS_PORT@", std::to_string(tlsPort_));
            replaceAll(text, "@DIR@", dir_);
            // Logged to stderr (the log file) whatever the text says, since
            // the start is recognised by the broker's own "running" line.
            c << "user " << me << "\n"
              << "log_dest stderr\nlog_type error\nlog_type warning\nlog_type notice\nlog_type information\n"
              << text << "\n";
        } else {
            c << "user " << me << "\n"
              << "per_listener_settings false\n"
              << "log_dest stderr\n";
            if (opt_.verbose) {
                c << "log_type all\n";
            } else {
                c << "log_type error\nlog_type warning\nlog_type notice\nlog_type information\n";
            }
            c << "allow_anonymous " << (opt_.allowAnonymous ? "true" : "false") << "\n";
            if (opt_.persistence) {
                c << "persistence true\npersistence_location " << dir_ << "/\n";
                if (opt_.autosaveEveryChange) c << "autosave_on_changes true\nautosave_interval 1\n";
            }
            if (!opt_.users.empty()) c << "password_file " << passwordPath() << "\n";
            if (!opt_.acl.empty()) c << "acl_file " << aclPath() << "\n";
            c << "listener " << port_ << " 127.0.0.1\n";
            if (opt_.tls) {
                c << "listener " << tlsPort_ << " 127.0.0.1\n"
                  << "cafile " << opt_.tls->cafile << "\n"
                  << "certfile " << opt_.tls->certfile << "\n"
                  << "keyfile " << opt_.tls->keyfile << "\n"
                  << "require_certificate " << (opt_.tls->requireCertificate ? "true" : "false") << "\n";
            }
            c << opt_.extra << "\n";
        }
        if (!writeFile(configPath(), c.str())) {
            error_ = "cannot write " + configPath();
            return false;
        }
        return true;
    }

    Start launch() {
        const std::string logPath = dir_ + "/broker.log";
        const int logFd = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        if (logFd < 0) {
            error_ = "cannot open " + logPath;
            return Start::Failed;
        }
        const std::size_t mark = logSize();
        const std::string conf = configPath();
        const char* argv[] = {"/usr/sbin/mosquitto", "-c", conf.c_str(), nullptr};
        const pid_t parent = ::getpid();
        const pid_t pid = ::fork();
        if (pid == 0) {
            // Only async-signal-safe calls between fork and exec.
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != parent) ::_exit(1);
            sigset_t none;
            sigemptyset(&none);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            const int nul = ::open("/dev/null", O_RDONLY);
            ::dup2(nul, 0);
            ::dup2(logFd, 1);
            ::dup2(logFd, 2);
            ::execv(argv[0], const_cast<char* const*>(argv));
            ::_exit(127);
        }
        ::close(logFd);
        if (pid < 0) {
            error_ = std::string("fork: ") + std::strerror(errno);
            return Start::Failed;
        }
        pid_ = pid;
        // Up once it says it runs (logged after every listener is bound) and a
        // connection to each port goes through. Polled every 10 ms, bounded.
        const auto until = std::chrono::steady_clock::now() + opt_.startTimeout;
        while (std::chrono::steady_clock::now() < until) {
            reap(false);
            const std::string since = log(mark);
            if (pid_ <= 0) {
                if (since.find("Address already in use") != std::string::npos ||
                    since.find("Cannot assign requested address") != std::string::npos)
                    return Start::PortTaken;
                error_ = "the broker exited at start\n" + log();
                return Start::Failed;
            }
            if (since.find(" running\n") != std::string::npos && accepts(port_) &&
                (tlsPort_ == 0 || accepts(tlsPort_)))
                return Start::Ready;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        kill();
        error_ = "the broker did not come up in time\n" + log();
        return Start::Failed;
    }

    // Collects the broker if it has ended (without waiting unless block).
    void reap(bool block) {
        if (pid_ <= 0) return;
        int status = 0;
        const pid_t r = ::waitpid(pid_, &status, block ? 0 : WNOHANG);
        if (r == pid_ || (r < 0 && errno == ECHILD)) pid_ = -1;
    }

    bool waitExit(std::chrono::milliseconds limit) {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (pid_ > 0) {
            reap(false);
            if (pid_ <= 0) return true;
            if (std::chrono::steady_clock::now() >= until) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    BrokerOptions opt_;
    std::string dir_, error_;
    int port_ = 0, tlsPort_ = 0;
    pid_t pid_ = -1;
};

} // namespace testsupport
