#include "recording.h"
#include "toolrun.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using testrec::coupleRecord;
using testrec::Recording;

namespace {
using testtool::hubdatPath;
using testtool::ToolRun;

// Dates and texts as the rows expect them.
ToolRun hubdat(const QStringList& args) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", "en_GB.UTF-8");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    return testtool::hubdat(args, env);
}

double at(int h, int m, int s) {
    return hub::toTDateTime(QDate(2026, 3, 14), QTime(h, m, s));
}
} // namespace

TEST(HubdatChanges, PrintsTheRowsTabSeparatedWithoutTheTrailingRow) {
    ASSERT_TRUE(QFileInfo(hubdatPath()).isExecutable()) << hubdatPath().toStdString();
    QTemporaryDir dir;
    const QString path = dir.filePath("rec.dat");
    Recording d;
    d.startEnd(at(8, 0, 0));
    d.settings(at(8, 0, 1), 0x02, 0);
    d.state(at(8, 0, 2), coupleRecord(1, 0x81, 0, 0x20));
    d.state(at(8, 0, 3), coupleRecord(1, 0, 0, 0x40));
    d.state(hub::toTDateTime(QDate(2026, 3, 15), QTime(0, 0)), coupleRecord(1, 0, 0, 0x21));
    d.startEnd(at(9, 0, 0));
    ASSERT_TRUE(d.save(path));

    const ToolRun r = hubdat({"changes", path, "--click", "4,10"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QByteArray m = "\x20\xE2\x80\xA2"; // " •" in UTF-8
    const QByteArray expected = "14/03/2026 08:00:02\t 4\t" + m + "\t\t\t\t\t\t\t" + m +
                                "\t\t" + m + "\t\t\t\t\n" + "15/03/2026\t 4\t\t\t\t\t\t\t\t\t\t" +
                                m + "\t\t\t\t" + m + "\n";
    EXPECT_EQ(r.out, expected);

    // The same element in the "--click=" spelling.
    EXPECT_EQ(hubdat({"changes", path, "--click=4,10"}).out, expected);
    // An element with nothing to list prints nothing.
    const ToolRun none = hubdat({"changes", path, "--click", "7,9"});
    EXPECT_EQ(none.code, 0);
    EXPECT_EQ(none.out, "");
}

TEST(HubdatChanges, BadUseAndMissingFiles) {
    ASSERT_TRUE(QFileInfo(hubdatPath()).isExecutable()) << hubdatPath().toStdString();
    QTemporaryDir dir;
    const QString missing = dir.filePath("none.dat");
    const ToolRun r = hubdat({"changes", missing, "--click", "1,0"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(("Cannot open file " + missing).toUtf8())) << r.err.toStdString();
    EXPECT_EQ(hubdat({"changes", missing}).code, 2);
    EXPECT_EQ(hubdat({"changes", missing, "--click", "x,1"}).code, 2);
    EXPECT_EQ(hubdat({"changes", missing, "--click", "1"}).code, 2);
    EXPECT_EQ(hubdat({"changes", "--click", "1,0"}).code, 2);
}
