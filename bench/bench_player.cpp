// The replay player's core on a large recording: building the index and the
// first display (cursor at the end), seeks at random positions, event
// searches, lane summaries, the index's memory; and `hubdat replay --records`
// against a whole `hubdat replay`, as child processes.
//
//   bench_player --file FILE.dat [--seeks N] [--hubdat PATH]
//
// FILE.dat: for example the recording `bench_replay --records 20000000 --dir DIR`
// leaves in DIR (hub_bench_20000000.dat, 420 MB). Run it twice: the first run
// warms the page cache.
#include "monitor/display/zoom.h"
#include "monitor/player/replayindex.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double cpuNow() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

struct Timer {
    Clock::time_point t0 = Clock::now();
    double c0 = cpuNow();
    double wallMs() const { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }
    double cpuMs() const { return (cpuNow() - c0) * 1000.0; }
};

long rssKb() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}

struct Child {
    double wall = 0, cpu = 0;
    int status = -1;
};

Child run(const std::vector<std::string>& args) {
    Child c;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> a = args;
    std::vector<char*> argv;
    for (auto& s : a) argv.push_back(s.data());
    argv.push_back(nullptr);
    const auto t0 = Clock::now();
    pid_t pid;
    if (posix_spawn(&pid, a[0].c_str(), &fa, nullptr, argv.data(), environ) == 0) {
        int st = 0;
        rusage ru{};
        wait4(pid, &st, 0, &ru);
        c.wall = std::chrono::duration<double>(Clock::now() - t0).count();
        c.cpu = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
                (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
        c.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }
    posix_spawn_file_actions_destroy(&fa);
    return c;
}

void stats(const char* what, std::vector<double> wall, std::vector<double> cpu) {
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    const auto at = [](const std::vector<double>& v, double q) {
        return v[std::min(v.size() - 1, static_cast<size_t>(q * static_cast<double>(v.size())))];
    };
    std::printf("  %-34s wall median %7.2f ms, 95%% %7.2f, max %7.2f | CPU median %7.2f, max %7.2f\n",
                what, at(wall, 0.5), at(wall, 0.95), wall.back(), at(cpu, 0.5), cpu.back());
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::string file;
    int seeks = 200;
    std::string hubdat = QFileInfo(QCoreApplication::applicationDirPath() + "/../tools/hubdat/hubdat")
                             .absoluteFilePath()
                             .toStdString();
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--file" && i + 1 < argc) file = argv[++i];
        else if (a == "--seeks" && i + 1 < argc) seeks = std::max(1, std::atoi(argv[++i]));
        else if (a == "--hubdat" && i + 1 < argc) hubdat = argv[++i];
        else {
            std::fprintf(stderr, "usage: bench_player --file FILE.dat [--seeks N] [--hubdat PATH]\n");
            return 2;
        }
    }
    if (file.empty()) {
        std::fprintf(stderr, "usage: bench_player --file FILE.dat [--seeks N] [--hubdat PATH]\n");
        return 2;
    }
    const QString path = QString::fromStdString(file);
    const double size = static_cast<double>(QFileInfo(path).size());
    const long rss0 = rssKb();

    // Opening: the index, then the display at the end, as the player opens.
    hub::ReplayIndex index;
    Timer open;
    QString error;
    if (!index.build(path, &error)) {
        std::fprintf(stderr, "cannot index %s: %s\n", file.c_str(), qPrintable(error));
        return 1;
    }
    const double buildWall = open.wallMs(), buildCpu = open.cpuMs();
    hub::MonitorModel m;
    hub::HubState hub;
    hub::resetDisplay(m, hub, true, false);
    const std::int64_t n = index.recordCount();
    index.stateAfter(n, m, hub, false);
    std::printf("%s: %.0f bytes, %lld records\n", file.c_str(), size, static_cast<long long>(n));
    std::printf("  build %.1f ms wall, %.1f ms CPU; build + first display (cursor at the end) %.1f ms wall, %.1f ms CPU\n",
                buildWall, buildCpu, open.wallMs(), open.cpuMs());
    std::printf("  index in memory %.2f MB = %.3f %% of the file (peak RSS grew %.1f MB)\n",
                index.memoryBytes() / 1e6, 100.0 * static_cast<double>(index.memoryBytes()) / size,
                (rssKb() - rss0) / 1024.0);

    std::mt19937_64 rng(7);
    std::vector<double> wall, cpu;
    std::int64_t at = n / 2;
    for (int i = 0; i < seeks; ++i) {
        // Far jumps both ways, and single steps back (the dearest: a snapshot's whole interval).
        at = i % 4 == 3 ? std::max<std::int64_t>(0, at - 1) : static_cast<std::int64_t>(rng() % (n + 1));
        Timer t;
        index.stateAfter(at, m, hub, false);
        wall.push_back(t.wallMs());
        cpu.push_back(t.cpuMs());
    }
    stats("seek (stateAfter), random", wall, cpu);

    // Playing: at x64 a recording of 8 records a second moves 512 records a
    // second, about 20 a frame at 25 frames a second.
    {
        std::int64_t pos = n / 3;
        hub::ReplayOutcome out = index.stateAfter(pos, m, hub, false);
        Timer t;
        const int frames = 25 * 60;
        for (int f = 0; f < frames; ++f) {
            out = index.stepForward(pos, out, pos + 20, m, hub, false);
            pos += 20;
        }
        std::printf("  playing on 20 records a frame, %d frames: %.3f ms CPU a frame = %.2f %% of a core at 25 frames/s\n",
                    frames, t.cpuMs() / frames, t.cpuMs() / frames * 25 / 10);
    }

    wall.clear();
    cpu.clear();
    for (int i = 0; i < seeks; ++i) {
        const auto from = static_cast<std::int64_t>(rng() % (n + 1));
        const int barrier = static_cast<int>(rng() % 9);
        const auto kind = static_cast<hub::EventKind>(rng() % 7); // no power event in this file
        Timer t;
        const auto e = index.nextEvent(from, barrier, kind);
        const auto p = index.previousEvent(from, barrier, kind);
        wall.push_back(t.wallMs());
        cpu.push_back(t.cpuMs());
        if (!e && !p) std::printf("  (no %d event on barrier %d)\n", static_cast<int>(kind), barrier);
    }
    stats("next + previous event", wall, cpu);
    {
        Timer t;
        const auto e = index.nextEvent(0, 0, hub::EventKind::Power);
        std::printf("  next power event from the start (none: every block skipped) %.2f ms wall%s\n",
                    t.wallMs(), e ? " (found one)" : "");
    }

    std::vector<hub::LaneColumn> cols;
    for (double span : {index.maxTime() - index.minTime(), 1.0, 1.0 / 24, 1.0 / 1440}) {
        wall.clear();
        cpu.clear();
        for (int i = 0; i < 50; ++i) {
            const double t0 = index.minTime() +
                              std::uniform_real_distribution<double>(0, index.maxTime() - index.minTime() - span)(rng);
            Timer t;
            index.laneSummary(t0, t0 + span, 1200, cols);
            wall.push_back(t.wallMs());
            cpu.push_back(t.cpuMs());
        }
        char what[64];
        std::snprintf(what, sizeof what, "lanes, 1200 columns over %.4g days", span);
        stats(what, wall, cpu);
    }
    wall.clear();
    cpu.clear();
    std::vector<hub::PlayerEvent> around;
    for (int i = 0; i < seeks; ++i) {
        Timer t;
        index.eventsAround(static_cast<std::int64_t>(rng() % (n + 1)), 40, 40, around);
        wall.push_back(t.wallMs());
        cpu.push_back(t.cpuMs());
    }
    stats("events around (40 + 40)", wall, cpu);

    // hubdat: a whole replay against the state after records half way and at the end.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{hubdat, "replay", file, "--json"},
          std::vector<std::string>{hubdat, "replay", file, "--json", "--records", std::to_string(n / 2)},
          std::vector<std::string>{hubdat, "replay", file, "--json", "--records", std::to_string(n)}}) {
        double best = 1e9, bestCpu = 1e9;
        for (int r = 0; r < 3; ++r) {
            const Child c = run(args);
            if (c.status != 0) {
                std::fprintf(stderr, "%s failed (%d)\n", hubdat.c_str(), c.status);
                return 1;
            }
            best = std::min(best, c.wall);
            bestCpu = std::min(bestCpu, c.cpu);
        }
        std::string line;
        for (size_t i = 1; i < args.size(); ++i) line += (i > 1 ? " " : "") + (i == 2 ? std::string("FILE") : args[i]);
        std::printf("  hubdat %-40s best of 3: %.3f s wall, %.3f s CPU\n", line.c_str(), best, bestCpu);
    }
    return 0;
}
