#pragma once
// A full disk without root or a mount: a child process whose file-size limit
// (RLIMIT_FSIZE) makes writes past it fail with EFBIG, SIGXFSZ ignored so the
// write returns the error instead of killing the child.
#include "toolrun.h"

#include <QProcess>
#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testtool {

inline void limitFileSize(rlim_t bytes) {
    struct rlimit r {bytes, bytes};
    ::setrlimit(RLIMIT_FSIZE, &r);
    ::signal(SIGXFSZ, SIG_IGN);
}

// Runs body in a forked child under the limit; its return value is the exit
// code (-1 when the child did not exit normally).
inline int inChildWithFileLimit(rlim_t bytes, const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        limitFileSize(bytes);
        ::_exit(body());
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The limit on this process, as a full disk would stop a write, until lifted.
struct FileSizeLimit {
    rlimit old{};
    struct sigaction oldAction {};
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &old);
        struct sigaction ign {};
        ign.sa_handler = SIG_IGN;
        ::sigaction(SIGXFSZ, &ign, &oldAction);
        rlimit l = old;
        l.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &l);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    ~FileSizeLimit() { lift(); }
    // Space comes back.
    void lift() {
        ::setrlimit(RLIMIT_FSIZE, &old);
        ::sigaction(SIGXFSZ, &oldAction, nullptr);
    }
};

struct Limits {
    rlim_t fileSize = RLIM_INFINITY;
    QString stdoutFile; // such as /dev/full
    int timeoutMs = 60000;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
};

// hubdat under the limits given.
inline ToolRun hubdatLimited(const QStringList& args, const Limits& l) {
    QProcess p;
    p.setProcessEnvironment(l.env);
    const rlim_t bytes = l.fileSize;
    p.setChildProcessModifier([bytes] { limitFileSize(bytes); });
    if (!l.stdoutFile.isEmpty()) p.setStandardOutputFile(l.stdoutFile);
    p.start(hubdatPath(), args);
    ToolRun r;
    if (!p.waitForFinished(l.timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

} // namespace testtool
