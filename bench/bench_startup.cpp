// Start-up time of hubmonitor: from launching the process to its first painted
// main window (the program reports the paint and quits when
// HUBMONITOR_STARTUP_PROBE=1). Five runs, median printed.
//   bench_startup [path/to/hubmonitor] [runs]
// Without a DISPLAY the offscreen platform is used; run under xvfb-run for X11.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds to the first-paint line, or -1 on failure.
double oneRun(const std::string& exe) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&fa, fds[0]);
    posix_spawn_file_actions_addclose(&fa, fds[1]);
    char* argv[] = {const_cast<char*>(exe.c_str()), nullptr};
    const auto start = Clock::now();
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, exe.c_str(), &fa, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&fa);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        std::fprintf(stderr, "cannot start %s: %s\n", exe.c_str(), std::strerror(rc));
        return -1;
    }
    std::string out;
    double ms = -1;
    const auto deadline = start + std::chrono::seconds(20);
    while (Clock::now() < deadline) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(std::max<long long>(left, 1))) <= 0) break;
        char buf[256];
        const ssize_t n = read(fds[0], buf, sizeof buf);
        if (n <= 0) break;
        out.append(buf, static_cast<size_t>(n));
        if (out.find("first paint") != std::string::npos) {
            ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            break;
        }
    }
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    if (ms >= 0) std::printf("  run: %.1f ms  (%s)\n", ms, out.c_str());
    return ms;
}

} // namespace

int main(int argc, char** argv) {
    std::string exe;
    if (argc > 1) {
        exe = argv[1];
    } else {
        const auto self = std::filesystem::read_symlink("/proc/self/exe");
        exe = (self.parent_path().parent_path() / "monitor" / "hubmonitor").string();
    }
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    setenv("HUBMONITOR_STARTUP_PROBE", "1", 1);
    if (!getenv("DISPLAY") && !getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::printf("hubmonitor start-up to first paint, %d runs, platform %s\n", runs,
                getenv("QT_QPA_PLATFORM") ? getenv("QT_QPA_PLATFORM") : "xcb");
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        const double ms = oneRun(exe);
        if (ms < 0) {
            std::fprintf(stderr, "run %d failed\n", i + 1);
            return 1;
        }
        t.push_back(ms);
    }
    std::sort(t.begin(), t.end());
    std::printf("median: %.1f ms (min %.1f, max %.1f)\n", t[t.size() / 2], t.front(), t.back());
    return 0;
}
