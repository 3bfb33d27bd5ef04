#include "activity_helpers.h"
#include "monitor/analysis/activitychart.h"
#include "monitor/analysis/textexport.h"

#include "toolrun.h"

#include <QProcess>

using namespace hub;
using testrec::at;
using testrec::Recording;

namespace {
using testtool::hubdat;
using testtool::ToolRun;

Recording sample() {
    Recording rec;
    rec.startEnd(at(2026, 6, 12, 22)).settings(at(2026, 6, 12, 22), 0x02)
        .couple(at(2026, 6, 12, 22, 30), 2, 0x11, 0x22, 0x42).couple(at(2026, 6, 13, 0, 10), 2, 0x80, 0, 0x81)
        .couple(at(2026, 6, 12, 23, 0), 4, 0x01, 0, 0x02).couple(at(2026, 6, 13, 5), 2, 0, 0x01, 0x01)
        .startEnd(at(2026, 6, 13, 6));
    return rec;
}
} // namespace

TEST(HubdatAnalysis, ExportIsTheWindowsBytes) {
    if (qEnvironmentVariableIsEmpty("HUB_BUILD_DIR")) GTEST_SKIP() << "run from ctest";
    QTemporaryDir dir;
    const QString dat = dir.filePath("s.dat");
    ASSERT_TRUE(sample().save(dat));
    // The tool runs with the machine's regional formats; so does this export.
    resetRegionalFormats();
    ASSERT_TRUE(exportRecording(dat, dir.filePath("mine.txt")).ok());
    const ToolRun r = hubdat({"export", dat});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QByteArray tool = testrec::readAll(dat + "-Exp.txt");
    EXPECT_EQ(tool.size(), 454 + 4 * 227);
    EXPECT_EQ(tool, testrec::readAll(dir.filePath("mine.txt")));

    EXPECT_EQ(hubdat({"export", dir.filePath("none.dat")}).code, 1);
    EXPECT_EQ(hubdat({"export"}).code, 2);
}

TEST(HubdatAnalysis, DaysInTheTimeLinesOrder) {
    if (qEnvironmentVariableIsEmpty("HUB_BUILD_DIR")) GTEST_SKIP() << "run from ctest";
    QTemporaryDir dir;
    const QString dat = dir.filePath("s.dat");
    ASSERT_TRUE(sample().save(dat));
    const ToolRun r = hubdat({"days", dat});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "2026-06-12\n2026-06-13\n2026-06-12\n2026-06-13\n");
    EXPECT_EQ(hubdat({"days", dir.filePath("none.dat")}).code, 1);
}

TEST(HubdatAnalysis, ChartFilesAndImages) {
    if (qEnvironmentVariableIsEmpty("HUB_BUILD_DIR")) GTEST_SKIP() << "run from ctest";
    QTemporaryDir dir;
    const QString dat = dir.filePath("s.dat");
    ASSERT_TRUE(sample().save(dat));

    // Day chart of couple B: the same file and the same picture as built here;
    // outside a desktop session (no runtime folder) without a warning.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("XDG_RUNTIME_DIR");
    ToolRun r = hubdat({"chart", dat, "--couple", "B", "--day", "2026-06-13", "--image", dir.filePath("b.png")}, env);
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains("XDG_RUNTIME_DIR")) << r.err.toStdString();
    const QByteArray toolFile = testrec::readAll(dat + ".DMo");
    EXPECT_EQ(toolFile, buildSlots(dir, sample(), 2, dayRange(QDate(2026, 6, 13))));
    QImage mine = newChartImage();
    ASSERT_TRUE(drawActivityChart(mine, dir.filePath("rec.dat.DMo"), 2, ChartMode::Day).ok);
    const QImage tool(dir.filePath("b.png"));
    ASSERT_EQ(tool.size(), mine.size());
    EXPECT_EQ(tool.convertToFormat(QImage::Format_RGB32), mine);

    // Hour chart, as a bitmap: couple B's alarm from 22:30 on.
    r = hubdat({"chart", dat, "--couple", "b", "--day", "2026-06-12", "--hour", "22", "--image", dir.filePath("b.bmp")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(QFileInfo(dat + ".HMo").size(), 719 * 11);
    const QImage bmp(dir.filePath("b.bmp"), "BMP");
    EXPECT_EQ(bmp.pixel(50 + 100, 60), qRgb(255, 255, 255));
    EXPECT_EQ(bmp.pixel(50 + 500, 60), qRgb(255, 0, 0));
    // Couple D's 23:00 event lies after an event of the next day in the file:
    // the scan ends at that one, so the hour shows nothing.
    r = hubdat({"chart", dat, "--couple", "D", "--day", "2026-06-12", "--hour", "23"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const auto v = parseSlots(testrec::readAll(dat + ".HMo"));
    EXPECT_EQ(v.size(), 719u);
    EXPECT_TRUE(std::all_of(v.begin(), v.end(), [](const Slot& s) { return s.status == 0; }));

    struct Bad {
        QStringList args;
        int code;
    } bad[] = {
        {{"chart", dat, "--couple", "E", "--day", "2026-06-13"}, 2},
        {{"chart", dat, "--couple", "A", "--day", "13/06/2026"}, 2},
        {{"chart", dat, "--couple", "A", "--day", "2026-06-13", "--hour", "24"}, 2},
        {{"chart", dat, "--couple", "A", "--day", "2026-06-13", "--image", "x.jpg"}, 2},
        {{"chart", dat, "--couple", "A"}, 2},
        {{"chart", dir.filePath("none.dat"), "--couple", "A", "--day", "2026-06-13"}, 1},
    };
    for (const auto& b : bad) EXPECT_EQ(hubdat(b.args).code, b.code) << b.args.join(' ').toStdString();
}

// hubdat hands the chart command to hubdat-chart: beside it in the build tree,
// in libexec once installed. Installed, both run; alone, hubdat says what is
// missing instead of failing silently. The other commands never need it.
TEST(HubdatAnalysis, ChartRunsFromTheInstalledLayoutAndSaysWhenItsHelperIsMissing) {
    const QString build = qEnvironmentVariable("HUB_BUILD_DIR");
    if (build.isEmpty()) GTEST_SKIP() << "run from ctest";
    QTemporaryDir dir;
    const QString dat = dir.filePath("s.dat");
    ASSERT_TRUE(sample().save(dat));
    const QString prefix = dir.filePath("usr");
    QProcess install;
    install.start("cmake", {"--install", build, "--prefix", prefix});
    ASSERT_TRUE(install.waitForFinished(120000));
    ASSERT_EQ(install.exitCode(), 0) << install.readAllStandardError().toStdString();

    struct Case {
        const char* what;
        QString program;
        QStringList args;
        int code;
        const char* out; // expected in stdout, or in stderr when the code is not 0
    } cases[] = {
        {"installed chart", prefix + "/bin/hubdat",
         {"chart", dat, "--couple", "B", "--day", "2026-06-13", "--image", dir.filePath("b.png")}, 0,
         "s.dat.DMo: 151 records"},
        {"installed replay", prefix + "/bin/hubdat", {"replay", dat, "--json"}, 0, "\"counter\":4"},
        {"chart without its helper", dir.filePath("alone/hubdat"),
         {"chart", dat, "--couple", "B", "--day", "2026-06-13"}, 1, "hubdat-chart is missing"},
        {"replay without the chart helper", dir.filePath("alone/hubdat"), {"replay", dat, "--json"}, 0,
         "\"counter\":4"},
    };
    ASSERT_TRUE(QDir().mkpath(dir.filePath("alone")));
    ASSERT_TRUE(QFile::copy(prefix + "/bin/hubdat", dir.filePath("alone/hubdat")));
    for (const Case& c : cases) {
        QProcess p;
        p.start(c.program, c.args);
        ASSERT_TRUE(p.waitForFinished(60000)) << c.what;
        EXPECT_EQ(p.exitCode(), c.code) << c.what;
        const QByteArray text = c.code == 0 ? p.readAllStandardOutput() : p.readAllStandardError();
        EXPECT_TRUE(text.contains(c.out)) << c.what << ": " << text.toStdString();
    }
    EXPECT_TRUE(QFileInfo(dir.filePath("b.png")).size() > 0);
}
