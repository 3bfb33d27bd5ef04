// Timings of the analysis on a large recording: the text export against merely
// writing its bytes, the day chart built and drawn, and the peak memory, which
// must not grow with the recording's size.
//
//   bench_analysis [RECORDS] [SECONDS_BETWEEN_RECORDS]
#include "common/tdatetime.h"
#include "monitor/analysis/activitychart.h"
#include "monitor/analysis/outputfile.h"
#include "monitor/analysis/textexport.h"
#include "monitor/datafile.h"

#include <QGuiApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

using namespace hub;
using Clock = std::chrono::steady_clock;

namespace {

long peakRssKb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// A recording as the hub writes it: start, settings, state records that change
// a few bits each time, end.
void makeRecording(const QString& path, long records, double spacingSeconds, double start) {
    OutputFile out;
    out.create(path);
    std::uint8_t rec[80];
    auto header = [&](std::uint8_t type, double t) {
        rec[0] = type;
        std::memcpy(rec + 1, &t, 8);
    };
    header(kRecordStartEnd, start);
    out.append(rec, 9);
    header(kRecordSettings, start);
    rec[9] = 0x41;
    std::memset(rec + 10, 0x11, 9);
    out.append(rec, 19);
    StateRecord s{};
    std::uint32_t x = 12345;
    double t = start;
    for (long i = 0; i < records; ++i) {
        x = x * 1103515245u + 12345u;
        s[(x >> 8) % 12] ^= static_cast<std::uint8_t>(1u << ((x >> 16) % 8));
        t += spacingSeconds / 86400.0;
        header(kRecordState, t);
        std::memcpy(rec + 9, s.data(), 12);
        out.append(rec, 21);
    }
    header(kRecordStartEnd, t);
    out.append(rec, 9);
    out.close();
}

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Best wall time of a few runs; *cpu gets the processor time of that run (the
// machine is shared, so the wall clock also counts other people's work).
template <class F> double bestOf(int runs, F f, double* cpu = nullptr) {
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        const double c0 = cpuSeconds();
        const auto t0 = Clock::now();
        f();
        const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
        if (wall < best) {
            best = wall;
            if (cpu) *cpu = cpuSeconds() - c0;
        }
    }
    return best;
}

struct Figures {
    double exportS, writeOnlyS, chartS;
    double exportCpu, writeOnlyCpu, chartCpu;
    long rssAfterKb;
};

Figures measure(const QTemporaryDir& dir, long records, double spacing) {
    const double start = toTDateTime(QDate(2026, 6, 10), QTime(6, 0));
    const QString dat = dir.filePath(QStringLiteral("bench-%1.dat").arg(records));
    makeRecording(dat, records, spacing, start);
    Figures f{};
    f.exportS = bestOf(3, [&] {
        if (!exportRecording(dat, exportPathFor(dat)).ok()) std::fprintf(stderr, "export failed\n");
    }, &f.exportCpu);
    // The floor: the same number of 227-byte lines written, nothing read or built.
    std::uint8_t line[kExportLineSize];
    std::memset(line, ' ', sizeof line);
    f.writeOnlyS = bestOf(3, [&] {
        OutputFile out;
        out.create(dir.filePath(QStringLiteral("floor.txt")));
        for (long i = 0; i < records + 2; ++i) out.append(line, sizeof line);
        out.close();
    }, &f.writeOnlyCpu);
    // The day in the middle of the recording, built and drawn.
    const double mid = start + (records / 2.0) * spacing / 86400.0;
    const QDate day = dateOf(mid);
    f.chartS = bestOf(3, [&] {
        RecordFile rf;
        rf.open(dat);
        const QString dmo = activityPathFor(dat, ChartMode::Day);
        buildActivityFile(rf, 1, dayRange(day), dmo);
        QImage img = newChartImage();
        drawActivityChart(img, dmo, 1, ChartMode::Day);
    }, &f.chartCpu);
    f.rssAfterKb = peakRssKb();
    QFile::remove(dat);
    QFile::remove(exportPathFor(dat));
    return f;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const long records = argc > 1 ? std::atol(argv[1]) : 1000000;
    const double spacing = argc > 2 ? std::atof(argv[2]) : 0.2;
    QTemporaryDir dir;

    // A small run first: the peak memory after it is the reference.
    const Figures small = measure(dir, records / 10, spacing);
    const Figures big = measure(dir, records, spacing);
    std::printf("recording: %ld state records, %.3g s apart\n", records, spacing);
    std::printf("export:        %.3f s  (writing 227 bytes a record only: %.3f s, ratio %.2f)\n", big.exportS,
                big.writeOnlyS, big.exportS / big.writeOnlyS);
    std::printf("  cpu time:    %.3f s  (writing only: %.3f s)\n", big.exportCpu, big.writeOnlyCpu);
    std::printf("day chart:     %.3f s  (built and drawn; cpu %.3f s)\n", big.chartS, big.chartCpu);
    std::printf("peak memory:   %ld kB after %ld records, %ld kB after %ld records\n", small.rssAfterKb,
                records / 10, big.rssAfterKb, records);
    const bool ok = big.exportS < 0.5 && big.exportS < 3 * big.writeOnlyS && big.chartS < 0.2 &&
                    big.rssAfterKb - small.rssAfterKb < 4096;
    std::printf("%s\n", ok ? "within targets" : "OUTSIDE TARGETS");
    return ok ? 0 : 1;
}
