// hubdat's output: standard output and the files it writes are checked, and
// the commands agree on what a file without a recording is.
#include "fixtures.h"

#include "common/tdatetime.h"
#include "filelimit.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

using namespace hub;
using testtool::hubdatLimited;
using testtool::Limits;
using testtool::ToolRun;

namespace {

double at(int d, int h, int m = 0, int s = 0) { return toTDateTime(QDate(2026, 6, d), QTime(h, m, s)); }

QString sample(const QTemporaryDir& dir) {
    const QString path = dir.filePath("s.dat");
    std::vector<std::vector<std::uint8_t>> recs{rectest::startEnd(at(12, 8))};
    for (int i = 0; i < 200; ++i) {
        StateRecord s{};
        s[i % 12] = static_cast<std::uint8_t>(i | 1);
        recs.push_back(rectest::state(at(12 + i / 100, 9, i % 60), s));
    }
    recs.push_back(rectest::startEnd(at(14, 8)));
    rectest::writeFile(path, recs);
    return path;
}

QStringList every() {
    return {"info", "replay", "days", "export", "changes", "chart"};
}

QStringList argsFor(const QString& command, const QString& path) {
    if (command == "changes") return {command, path, "--click", "1,0"};
    if (command == "chart") return {command, path, "--couple", "A", "--day", "2026-06-12"};
    return {command, path};
}

} // namespace

TEST(HubdatOutput, AFailedStandardOutputIsReportedAndNeverSuccess) {
    QTemporaryDir dir;
    const QString dat = sample(dir);
    Limits full;
    full.stdoutFile = "/dev/full";
    QList<QStringList> runs;
    for (const QString& c : every()) runs.append(argsFor(c, dat));
    runs.append({"replay", dat, "--json"});
    runs.append({"--help"});
    for (const QStringList& args : runs) {
        const ToolRun r = hubdatLimited(args, full);
        EXPECT_EQ(r.code, 1) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains("cannot write the standard output: No space left on device"))
            << args.join(' ').toStdString() << ": " << r.err.toStdString();
    }
}

TEST(HubdatOutput, AChartImageOntoAFullDiskFailsWithTheReason) {
    QTemporaryDir dir;
    // A busy hour, so that the picture is larger than the hour file.
    const QString dat = dir.filePath("busy.dat");
    std::vector<std::vector<std::uint8_t>> recs{rectest::startEnd(at(12, 0))};
    std::uint32_t x = 12345;
    for (int i = 0; i < 720; ++i) {
        x = x * 1103515245u + 12345u;
        StateRecord s{};
        s[0] = static_cast<std::uint8_t>(x >> 8);
        s[1] = static_cast<std::uint8_t>(x >> 16);
        s[2] = static_cast<std::uint8_t>(x >> 24);
        recs.push_back(rectest::state(at(12, 9, i / 12, (i % 12) * 5), s));
    }
    rectest::writeFile(dat, recs);
    const QString png = dir.filePath("c.png");
    const QStringList args{"chart", dat, "--couple", "A", "--day", "2026-06-12", "--hour", "9", "--image", png};
    ASSERT_EQ(hubdatLimited(args, {}).code, 0);
    const qint64 whole = QFileInfo(png).size();
    const qint64 hourFile = QFileInfo(dat + ".HMo").size();
    ASSERT_GT(whole, hourFile + 100);
    ASSERT_TRUE(QFile::remove(png));

    Limits l;
    l.fileSize = static_cast<rlim_t>((whole + hourFile) / 2); // the hour file fits, the picture does not
    const ToolRun r = hubdatLimited(args, l);
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(("cannot write " + png + ": File too large").toUtf8())) << r.err.toStdString();
    EXPECT_FALSE(r.out.contains(png.toUtf8())); // the path is printed only once written
    EXPECT_FALSE(QFileInfo::exists(png));
}

// A file that is empty or lacks its start record is read as the windows read
// it, by every command alike: exit 0.
TEST(HubdatOutput, EmptyAndStartlessFilesGiveTheSameStatusEverywhere) {
    QTemporaryDir dir;
    const QString empty = dir.filePath("empty.dat");
    rectest::writeFile(empty, {});
    const QString startless = dir.filePath("startless.dat");
    rectest::writeFile(startless, {rectest::state(at(12, 9), StateRecord{1})});
    const QString tiny = dir.filePath("tiny.dat");
    rectest::writeFile(tiny, {rectest::startEnd(at(12, 9))}, 4);
    for (const QString& path : {empty, startless, tiny})
        for (const QString& c : every()) {
            const ToolRun r = hubdatLimited(argsFor(c, path), {});
            EXPECT_EQ(r.code, 0) << c.toStdString() << " " << QFileInfo(path).fileName().toStdString()
                                 << ": " << r.err.toStdString();
        }
    EXPECT_EQ(QFileInfo(empty + "-Exp.txt").size(), 454);
}

// info while a writer appends: every count it prints is one it read, none
// below zero.
TEST(HubdatOutput, InfoOnAGrowingFileCountsNoNegativeBytes) {
    QTemporaryDir dir;
    const QString path = dir.filePath("grow.dat");
    std::vector<std::vector<std::uint8_t>> recs{rectest::startEnd(at(12, 8))};
    for (int i = 0; i < 100000; ++i) recs.push_back(rectest::state(at(12, 9), StateRecord{std::uint8_t(i)}));
    rectest::writeFile(path, recs);
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
        const auto rec = rectest::state(at(12, 10), StateRecord{7});
        while (fd >= 0 && !stop) {
            // Half a record, then the rest: readers see records cut short.
            (void)::write(fd, rec.data(), 10);
            ::usleep(200);
            (void)::write(fd, rec.data() + 10, rec.size() - 10);
            ::usleep(200);
        }
        if (fd >= 0) ::close(fd);
    });
    for (int i = 0; i < 8; ++i) {
        const ToolRun r = hubdatLimited({"info", path}, {});
        EXPECT_EQ(r.code, 0);
        EXPECT_FALSE(QString::fromUtf8(r.out).contains(QRegularExpression("[ (]-[0-9]"))) << r.out.toStdString();
    }
    stop = true;
    writer.join();
}

// The change list's times without the time zone: the stored wall-clock time,
// the same across clock changes, also an hour a clock change skips.
TEST(HubdatOutput, ChangesTimesAroundClockChanges) {
    QTemporaryDir dir;
    const QString path = dir.filePath("dst.dat");
    const auto t = [](int m, int d, int h, int min, int s) {
        return toTDateTime(QDate(2026, m, d), QTime(h, min, s));
    };
    const double times[] = {t(3, 29, 1, 59, 59), t(3, 29, 2, 30, 0), t(3, 29, 3, 0, 0),
                            t(10, 25, 2, 30, 0), t(10, 25, 2, 30, 0), t(10, 25, 3, 0, 0), t(10, 26, 0, 0, 0)};
    std::vector<std::vector<std::uint8_t>> recs{rectest::startEnd(times[0])};
    for (double x : times) recs.push_back(rectest::state(x, StateRecord{1}));
    rectest::writeFile(path, recs);
    Limits l;
    l.env.insert("TZ", "Europe/Rome");
    l.env.insert("LC_ALL", "en_GB.UTF-8");
    const ToolRun r = hubdatLimited({"changes", path, "--click", "1,1"}, l);
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    QStringList first;
    for (const QByteArray& line : r.out.split('\n'))
        if (!line.isEmpty()) first << QString::fromUtf8(line.split('\t').front());
    EXPECT_EQ(first, QStringList({"29/03/2026 01:59:59", "29/03/2026 02:30:00", "29/03/2026 03:00:00",
                                  "25/10/2026 02:30:00", "25/10/2026 02:30:00", "25/10/2026 03:00:00",
                                  "26/10/2026"}));
}
