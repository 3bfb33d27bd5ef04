// hubroom's command line and configuration file: what is refused, and how.
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(RoomUsage, BadSettingsAreRefusedWithAUsageMessage) {
    QTemporaryDir dir;
    const QString cfg = dir.filePath("room.ini");
    QFile f(cfg);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("broker=mqtt://room@127.0.0.1:1\nsilent-after=0\n");
    f.close();
    struct Case {
        QStringList args;
        const char* says;
    };
    const std::vector<Case> cases = {
        {{}, "--broker is required"},
        {{"--broker", "http://x"}, "usage:"},
        {{"--broker", "mqtt://room@127.0.0.1:1/site1"}, "names no site"},
        {{"--broker", "mqtt://room@127.0.0.1:1", "--silent-after", "soon"}, "--silent-after"},
        {{"--broker", "mqtt://room@127.0.0.1:1", "--prefix", "a/b"}, "--prefix"},
        {{"--broker", "mqtt://room@127.0.0.1:1", "--password-file", dir.filePath("none")}, "none"},
        {{"--config", cfg}, "--silent-after"},
        {{"--config", dir.filePath("missing.ini")}, "no such file"},
    };
    for (const Case& c : cases) {
        QProcess p;
        p.start(QCoreApplication::applicationDirPath() + "/../hubroom/hubroom",
                c.args + QStringList{"--history", dir.filePath("h.sqlite")});
        ASSERT_TRUE(p.waitForFinished(20000)) << c.args.join(' ').toStdString();
        EXPECT_EQ(p.exitCode(), 2) << c.args.join(' ').toStdString();
        EXPECT_TRUE(p.readAllStandardError().contains(c.says)) << c.args.join(' ').toStdString();
    }
}

} // namespace
