// Inputs that are not recordings at all: refused at once with a clear message,
// never waited on or read for ever.
#include "fixtures.h"

#include "filelimit.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using testtool::hubdatLimited;
using testtool::Limits;
using testtool::ToolRun;

TEST(InputOpening, FifosDevicesAndFoldersAreRefusedByEveryCommand) {
    QTemporaryDir dir;
    const QString fifo = dir.filePath("pipe.dat");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    struct Input {
        QString path;
        const char* why;
    } inputs[] = {
        {fifo, "not a regular file"},
        {"/dev/zero", "not a regular file"},
        {"/dev/urandom", "not a regular file"},
        {dir.path(), "Is a directory"},
    };
    const QList<QStringList> commands = {
        {"info"}, {"replay", "--json"}, {"days"}, {"export"}, {"changes", "--click", "1,0"},
        {"chart", "--couple", "A", "--day", "2026-06-12"}};
    Limits l;
    l.timeoutMs = 10000; // each is refused in milliseconds; a hang fails here
    for (const Input& in : inputs)
        for (QStringList args : commands) {
            args.insert(1, in.path);
            const ToolRun r = hubdatLimited(args, l);
            EXPECT_EQ(r.code, 1) << args.join(' ').toStdString();
            EXPECT_TRUE(r.err.contains(in.why)) << args.join(' ').toStdString() << ": " << r.err.toStdString();
        }
    EXPECT_FALSE(QFile::exists(fifo + "-Exp.txt"));
}
