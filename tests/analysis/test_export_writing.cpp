// Writing the export, the chart files and the chart images: whole or not at
// all under the final name, never over the recording being read.
#include "monitor/analysis/activitychart.h"
#include "monitor/analysis/textexport.h"
#include "monitor/datafile.h"
#include "recording.h"

#include "filelimit.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace hub;
using testrec::at;
using testrec::Recording;

namespace {

Recording longRecording(int states) {
    const double t = at(2026, 6, 12, 9);
    Recording rec;
    rec.startEnd(t);
    for (int i = 0; i < states; ++i) rec.couple(t + i * 1e-4, 1, static_cast<std::uint8_t>(i), 0, 0x02);
    return rec;
}

// Every name in the folder but the ones given: temporary files left behind.
QStringList othersIn(const QTemporaryDir& dir, const QStringList& known) {
    QStringList names = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& k : known) names.removeAll(k);
    return names;
}

} // namespace

TEST(ExportWriting, OutputLinkedToTheRecordingIsRefusedAndTheRecordingKept) {
    QTemporaryDir dir;
    const QString dat = dir.filePath("rec.dat");
    ASSERT_TRUE(longRecording(50).save(dat));
    const QByteArray before = testrec::readAll(dat);
    ASSERT_TRUE(QDir().mkpath(dir.filePath("sub")));
    struct Case {
        const char* what;
        QString out;
    } cases[] = {
        {"symbolic link", dat + "-Exp.txt"},
        {"link to a link", dir.filePath("sub/chain.txt")},
        {"hard link", dir.filePath("hard.txt")},
    };
    ASSERT_TRUE(QFile::link(dat, cases[0].out));
    ASSERT_TRUE(QFile::link(cases[0].out, cases[1].out));
    ASSERT_EQ(::link(QFile::encodeName(dat).constData(), QFile::encodeName(cases[2].out).constData()), 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ExportResult r = exportRecording(dat, c.out);
        EXPECT_EQ(r.status, ExportStatus::CannotCreateOutput);
        EXPECT_TRUE(exportMessage(r, dat, c.out, false).contains("recording being read"))
            << exportMessage(r, dat, c.out, false).toStdString();
        EXPECT_EQ(testrec::readAll(dat), before);

        RecordFile f;
        ASSERT_TRUE(f.open(dat));
        const ActivityResult a = buildActivityFile(f, 1, dayRange(QDate(2026, 6, 12)), c.out);
        EXPECT_FALSE(a.ok);
        QString why;
        EXPECT_FALSE(saveChartImage(newChartImage(), c.out, "PNG", &f, &why));
        EXPECT_FALSE(why.isEmpty());
        EXPECT_EQ(testrec::readAll(dat), before);
    }
}

TEST(ExportWriting, ALinkToAnotherFileHasThatFileReplacedAndStays) {
    QTemporaryDir dir;
    const QString dat = dir.filePath("rec.dat");
    ASSERT_TRUE(longRecording(3).save(dat));
    const QString real = dir.filePath("real.txt");
    ASSERT_TRUE(Recording().raw("old").save(real));
    ASSERT_TRUE(QFile::setPermissions(real, QFile::ReadOwner | QFile::WriteOwner));
    ASSERT_TRUE(QFile::link(real, dat + "-Exp.txt"));
    ASSERT_TRUE(exportRecording(dat, dat + "-Exp.txt").ok());
    EXPECT_TRUE(QFileInfo(dat + "-Exp.txt").isSymLink());
    EXPECT_EQ(QFileInfo(real).size(), 454 + 3 * 227);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(real).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(othersIn(dir, {"rec.dat", "real.txt", "rec.dat-Exp.txt"}), QStringList());
}

// A disk that fills in the middle: the call fails with the system's reason,
// the name keeps what it held before, and no temporary file is left.
TEST(ExportWriting, AFullDiskLeavesTheFormerFileWhole) {
    QTemporaryDir dir;
    const QString dat = dir.filePath("rec.dat");
    ASSERT_TRUE(longRecording(3000).save(dat));
    const QByteArray old = "the former file";
    struct Case {
        const char* what;
        QString out;
        std::function<bool()> write;
    } cases[] = {
        {"export", dat + "-Exp.txt", [&] { return exportRecording(dat, dat + "-Exp.txt").ok(); }},
        {"day file", dat + ".DMo",
         [&]() -> bool {
             RecordFile f;
             return f.open(dat) && buildActivityFile(f, 1, dayRange(QDate(2026, 6, 12)), dat + ".DMo").ok;
         }},
        {"png", dir.filePath("c.png"), [&] { return saveChartImage(newChartImage(), dir.filePath("c.png"), "PNG", nullptr); }},
        {"bmp", dir.filePath("c.bmp"), [&] { return saveChartImage(newChartImage(), dir.filePath("c.bmp"), "BMP", nullptr); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(Recording().raw(old).save(c.out));
        EXPECT_EQ(testtool::inChildWithFileLimit(1000, [&] { return c.write() ? 0 : 1; }), 1);
        EXPECT_EQ(testrec::readAll(c.out), old);
        EXPECT_EQ(othersIn(dir, {"rec.dat", "rec.dat-Exp.txt", "rec.dat.DMo", "c.png", "c.bmp"}), QStringList());
        // Without the limit the same call succeeds.
        EXPECT_TRUE(c.write());
        EXPECT_GT(QFileInfo(c.out).size(), 1000);
    }
}

TEST(ExportWriting, DevicesAndFoldersAreNotOutputs) {
    QTemporaryDir dir;
    const QString dat = dir.filePath("rec.dat");
    ASSERT_TRUE(longRecording(3).save(dat));
    for (const QString& out : {QStringLiteral("/dev/full"), QStringLiteral("/dev/null"), dir.path()}) {
        const ExportResult r = exportRecording(dat, out);
        EXPECT_EQ(r.status, ExportStatus::CannotCreateOutput) << out.toStdString();
        EXPECT_FALSE(r.error.isEmpty());
    }
    EXPECT_TRUE(QFileInfo("/dev/null").isWritable());
}

// Locales whose digits or AM/PM markers the code page lacks: the export's
// time text falls back to Latin digits and the C locale's markers instead of
// filling the column with '?'.
TEST(ExportTimeText, LocalesOutsideTheCodePageFallBackToLatinDigits) {
    const double t = at(2026, 12, 30, 23, 45, 56);
    struct Case {
        const char* locale;
        QString date, time;
        QByteArray want;
    } cases[] = {
        // Arabic-Indic digits, an Arabic marker, direction marks in the format
        {"ar_EG", QStringLiteral("d\u200F/M\u200F/yyyy"), "h:mm:ss AP", "30/12/2026 11:45:56 PM"},
        {"fa_IR", "yyyy/M/d", "H:mm:ss", "2026/12/30 23:45:56"}, // Persian digits
        {"it_IT", "dd/MM/yy", "h:mm:ss AP", "30/12/26 11:45:56 PM"}, // in the code page: its own texts
        {"ar_EG", "dd/MM/yyyy", "HH:mm:ss", "30/12/2026 23:45:56"},
    };
    for (const Case& c : cases) {
        setRegionalFormats(c.date, c.time);
        EXPECT_EQ(exportTimeText(t, QLocale(QString::fromLatin1(c.locale))), c.want) << c.locale;
        resetRegionalFormats();
    }
}
