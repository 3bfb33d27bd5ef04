// Replay speed: generates recordings of N state records under /tmp (kept for
// reuse), then times (1) merely reading the file and walking its records,
// (2) the core replay in this process, (3) `hubdat replay FILE --json` as a
// child process, with its peak RSS.
//
//   bench_replay [--records N]... [--hubdat PATH] [--dir DIR] [--repeat R]
#include "monitor/datafile.h"
#include "monitor/replay.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

// CPU time of this thread: the machine is shared, so wall time alone says
// little about the code.
double cpuNow() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

// A recording as the writer makes it: start, one SW settings record declaring
// every couple with eight beams, n state records each differing from the one
// before (a beam or a status bit flips, now and then several), end.
bool generate(const std::string& path, long long n) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    std::vector<std::uint8_t> buf;
    buf.reserve(1 << 22);
    auto header = [&](std::uint8_t type, double t) {
        buf.push_back(type);
        const auto* p = reinterpret_cast<const std::uint8_t*>(&t);
        buf.insert(buf.end(), p, p + 8);
    };
    double t = 46185.25;
    header(hub::kRecordStartEnd, t);
    header(hub::kRecordSettings, t);
    buf.push_back(0x43);
    const std::uint8_t sw[9] = {0xFF, 0x0A, 0x11, 0x22, 0x33, 0x44, 0x0F, 0xE4, 0x00};
    buf.insert(buf.end(), sw, sw + 9);
    hub::StateRecord s{};
    std::uint64_t x = 0x9E3779B97F4A7C15ull;
    for (long long i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        const int k = static_cast<int>((x >> 8) % 12);
        s[k] ^= static_cast<std::uint8_t>(1u << ((x >> 20) & 7));
        if (((x >> 32) & 15) == 0) s[(k + 5) % 12] ^= static_cast<std::uint8_t>(x >> 40);
        t += 1.0 / 86400.0 / 8;
        header(hub::kRecordState, t);
        buf.insert(buf.end(), s.begin(), s.end());
        if (buf.size() > (1u << 22) - 64) {
            if (std::fwrite(buf.data(), 1, buf.size(), f) != buf.size()) return false;
            buf.clear();
        }
    }
    header(hub::kRecordStartEnd, t);
    const bool ok = std::fwrite(buf.data(), 1, buf.size(), f) == buf.size();
    return std::fclose(f) == 0 && ok;
}

// Reading and walking only: every record's header and payload, nothing applied.
long long walk(const QString& path) {
    hub::RecordFile f;
    if (!f.open(path)) return -1;
    std::uint8_t type;
    double t;
    long long states = 0;
    hub::StateRecord s;
    std::uint8_t kind, block[hub::kTcBlockSize];
    int len;
    unsigned sink = 0;
    while (f.readHeader(type, t)) {
        if (type == hub::kRecordState) {
            if (!f.readState(s)) break;
            sink += s[0];
            ++states;
        } else if (type == hub::kRecordSettings) {
            if (!f.readSettings(kind, block, len)) break;
        } else if (states > 0 && type == hub::kRecordStartEnd) {
            break;
        }
    }
    if (sink == 0xFFFFFFFFu) std::puts("");
    return states;
}

struct Child {
    double wall = 0;
    double cpu = 0;
    long maxRssKb = 0;
    int status = -1;
};

Child runHubdat(const std::string& hubdat, const std::string& file) {
    Child c;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> a = {hubdat, "replay", file, "--json"};
    std::vector<char*> argv;
    for (auto& s : a) argv.push_back(s.data());
    argv.push_back(nullptr);
    const auto t0 = Clock::now();
    pid_t pid;
    if (posix_spawn(&pid, hubdat.c_str(), &fa, nullptr, argv.data(), environ) != 0) return c;
    int st = 0;
    rusage ru{};
    wait4(pid, &st, 0, &ru);
    c.wall = seconds(t0, Clock::now());
    c.maxRssKb = ru.ru_maxrss;
    c.cpu = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
            (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
    c.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    posix_spawn_file_actions_destroy(&fa);
    return c;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::vector<long long> sizes;
    std::string hubdat = QFileInfo(QCoreApplication::applicationDirPath() +
                                   "/../tools/hubdat/hubdat").absoluteFilePath().toStdString();
    std::string dir = "/tmp";
    int repeat = 3;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--records" && i + 1 < argc) sizes.push_back(std::atoll(argv[++i]));
        else if (a == "--hubdat" && i + 1 < argc) hubdat = argv[++i];
        else if (a == "--dir" && i + 1 < argc) dir = argv[++i];
        else if (a == "--repeat" && i + 1 < argc) repeat = std::max(1, std::atoi(argv[++i]));
        else {
            std::fprintf(stderr, "usage: bench_replay [--records N]... [--hubdat PATH] [--dir DIR] [--repeat R]\n");
            return 2;
        }
    }
    if (sizes.empty()) sizes = {2000000};

    for (long long n : sizes) {
        const std::string file = dir + "/hub_bench_" + std::to_string(n) + ".dat";
        const long long expectSize = 9 + 19 + 21 * n + 9;
        if (QFileInfo(QString::fromStdString(file)).size() != expectSize) {
            std::printf("generating %s ...\n", file.c_str());
            if (!generate(file, n)) {
                std::fprintf(stderr, "cannot write %s\n", file.c_str());
                return 1;
            }
        }
        const QString path = QString::fromStdString(file);
        walk(path); // warm the page cache

        double bestWalk = 1e9, bestReplay = 1e9, bestChild = 1e9;
        double cpuWalk = 1e9, cpuReplay = 1e9, cpuChild = 1e9;
        long rss = 0;
        long long counter = 0;
        for (int r = 0; r < repeat; ++r) {
            auto t0 = Clock::now();
            double c0 = cpuNow();
            const long long w = walk(path);
            bestWalk = std::min(bestWalk, seconds(t0, Clock::now()));
            cpuWalk = std::min(cpuWalk, cpuNow() - c0);
            if (w != n) std::fprintf(stderr, "walk found %lld records\n", w);

            hub::MonitorModel m;
            hub::HubState hub;
            t0 = Clock::now();
            c0 = cpuNow();
            hub::Replayer rp(m, hub);
            rp.open(path);
            const hub::ReplayOutcome out = rp.run(false, {});
            bestReplay = std::min(bestReplay, seconds(t0, Clock::now()));
            cpuReplay = std::min(cpuReplay, cpuNow() - c0);
            counter = out.counter;

            const Child c = runHubdat(hubdat, file);
            if (c.status != 0) {
                std::fprintf(stderr, "%s failed (status %d)\n", hubdat.c_str(), c.status);
                return 1;
            }
            bestChild = std::min(bestChild, c.wall);
            cpuChild = std::min(cpuChild, c.cpu);
            rss = std::max(rss, c.maxRssKb);
        }
        std::printf("%lld records (%lld bytes), best of %d, warm cache; wall / CPU seconds:\n", n,
                    expectSize, repeat);
        auto line = [&](const char* what, double wall, double cpu) {
            std::printf("  %-22s %7.3f s %7.1f M rec/s | CPU %7.3f s %7.1f M rec/s (%.2fx walk)\n",
                        what, wall, n / wall / 1e6, cpu, n / cpu / 1e6, cpu / cpuWalk);
        };
        line("read + walk", bestWalk, cpuWalk);
        line("core replay", bestReplay, cpuReplay);
        line("hubdat replay --json", bestChild, cpuChild);
        std::printf("  replay counter %lld; hubdat peak RSS %ld KiB\n", counter, rss);
    }
    return 0;
}
