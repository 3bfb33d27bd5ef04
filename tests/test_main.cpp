// Every test program runs with a QApplication (offscreen), so widget tests and
// core tests that use fonts share one entry point.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

// --side-by-side CASE...: each case in its own process, all started at once;
// passes when every one passes. For the suites whose cases spend their time
// waiting in real time: side by side they take the time of the longest.
// Each case's output goes to a file, not a pipe, so that a talkative case is
// never held up waiting for its output to be read.
int sideBySide(const QStringList& cases) {
    QTemporaryDir logs;
    if (!logs.isValid()) {
        std::fprintf(stderr, "no folder for the cases' output: %s\n", qPrintable(logs.errorString()));
        return 1;
    }
    struct Run {
        QString name;
        std::unique_ptr<QProcess> process;
        QString log;
        qint64 ms = 0;
        bool timedOut = false;
    };
    std::vector<Run> runs;
    QElapsedTimer clock;
    clock.start();
    for (const QString& c : cases) {
        Run r{c, std::make_unique<QProcess>(), logs.filePath(QString::number(runs.size()) + ".log")};
        r.process->setProcessChannelMode(QProcess::MergedChannels);
        r.process->setStandardOutputFile(r.log);
        r.process->start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=") + c});
        runs.push_back(std::move(r));
    }
    // A case that hangs is ended here, with what it printed, rather than
    // taking the whole program down at ctest's time-out without a word.
    constexpr qint64 kDeadlineMs = 300'000;
    int failed = 0;
    for (Run& r : runs) {
        if (!r.process->waitForFinished(int(std::max<qint64>(1, kDeadlineMs - clock.elapsed()))) &&
            r.process->state() != QProcess::NotRunning) {
            r.process->kill();
            r.process->waitForFinished(-1);
            r.timedOut = true;
        }
        r.ms = clock.elapsed();
    }
    for (const Run& r : runs) {
        QFile f(r.log);
        const QByteArray out = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(no output)\n");
        // A name that no longer matches a case runs nothing and exits 0.
        const bool ok = r.process->exitStatus() == QProcess::NormalExit && r.process->exitCode() == 0 &&
                        out.contains("[  PASSED  ] 1 test.");
        failed += !ok;
        const char* why = r.timedOut                                         ? ", ended after 300 s"
                          : r.process->error() == QProcess::FailedToStart ? ", did not start"
                                                                          : "";
        std::printf("=== %s: %s (done after %lld ms)%s\n%s\n", qPrintable(r.name), ok ? "passed" : "FAILED",
                    static_cast<long long>(r.ms), why, out.constData());
    }
    std::printf("%d of %d cases side by side failed\n", failed, static_cast<int>(runs.size()));
    return failed ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
#ifdef HUB_BUILD_DIR_DEFAULT
    if (qEnvironmentVariableIsEmpty("HUB_SOURCE_DIR")) qputenv("HUB_SOURCE_DIR", HUB_SOURCE_DIR_DEFAULT);
    if (qEnvironmentVariableIsEmpty("HUB_BUILD_DIR")) qputenv("HUB_BUILD_DIR", HUB_BUILD_DIR_DEFAULT);
#endif
    QApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "--side-by-side") == 0) {
        QStringList cases;
        for (int i = 2; i < argc; ++i) cases << QString::fromLocal8Bit(argv[i]);
        return sideBySide(cases);
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
