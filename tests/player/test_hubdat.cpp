#include "randomrecording.h"
#include "filelimit.h"
#include "toolrun.h"

#include "monitor/player/replayindex.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace hub;
using testtool::hubdat;
using testtool::ToolRun;

namespace {

QByteArray replayJson(const QStringList& args) {
    const ToolRun r = hubdat(QStringList{"replay"} + args + QStringList{"--json"});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    return r.out;
}

} // namespace

// --records N and --until T print what `hubdat replay` of the cut file prints.
TEST(HubdatPlayer, RecordsAndUntilAreTheCutFile) {
    struct Case {
        const char* name;
        playertest::Shape shape;
    } cases[] = {
        {"TC, two acquisitions, clock going back", {true, 2, true, 60, 2, true}},
        {"SW, unknown type, cut short", {false, 1, true, 40, 1, false, false, true, 7}},
    };
    int untilCompared = 0;
    QTemporaryDir dir;
    std::uint32_t seed = 300;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        playertest::Generator gen(seed++);
        const playertest::Built b = gen.make(c.shape);
        const QString path = dir.filePath("whole.dat"), cut = dir.filePath("cut.dat");
        ASSERT_TRUE(b.rec.save(path));
        ReplayIndex index;
        ASSERT_TRUE(index.build(path));
        const std::int64_t n = index.recordCount();
        std::vector<std::int64_t> positions{0, n};
        for (int i = 0; i < 2; ++i) positions.push_back(static_cast<std::int64_t>(gen.rng()() % (n + 1)));
        for (std::int64_t k : positions) {
            SCOPED_TRACE("record " + std::to_string(k));
            ASSERT_TRUE(testrec::saveBytes(cut, b.rec.bytes.left(b.ends[static_cast<size_t>(k)])));
            const QByteArray want = replayJson({cut});
            EXPECT_EQ(replayJson({path, "--records", QString::number(k)}), want);
            // --until the stamp of record k reaches k when no later record is
            // stamped at or before it (file order).
            if (k >= 1 && index.recordsUntil(b.times[static_cast<size_t>(k - 1)]) == k) {
                const QString t = stampIsoText(b.times[static_cast<size_t>(k - 1)]);
                // Milliseconds are what the text keeps; stamps here fall between them.
                const double back = *parseLocalStamp(t);
                if (index.recordsUntil(back) == k) {
                    EXPECT_EQ(replayJson({path, "--until=" + t}), want) << t.toStdString();
                    ++untilCompared;
                }
            }
        }
        // Past the end: the whole file.
        EXPECT_EQ(replayJson({path, "--records", QString::number(n + 5)}), replayJson({path}));
        EXPECT_EQ(replayJson({path, "--until", "9999-12-31T23:59:59.999"}), replayJson({path}));
        // Before the start: an empty file.
        ASSERT_TRUE(testrec::saveBytes(cut, {}));
        EXPECT_EQ(replayJson({path, "--until", "2000-01-01T00:00:00"}), replayJson({cut}));
    }
    EXPECT_GE(untilCompared, 2);
}

TEST(HubdatPlayer, BadValuesAreUsageErrors) {
    QTemporaryDir dir;
    const QString path = dir.filePath("r.dat");
    ASSERT_TRUE(testrec::Recording().startEnd(testrec::at(2026, 12, 8)).save(path));
    const struct {
        QStringList args;
        const char* says;
    } cases[] = {
        {{"replay", path, "--records", "-1"}, "--records"},
        {{"replay", path, "--records", "12x"}, "--records"},
        {{"replay", path, "--records"}, "--records"},
        {{"replay", path, "--until", "2026-12-08 3:12"}, "--until"},
        {{"replay", path, "--until", "2026-02-30T00:00:00"}, "--until"},
        {{"replay", path, "--until", "2026-12-08T03:12:60"}, "--until"},
        {{"replay", path, "--records", "1", "--until", "2026-12-08T03:12:00"}, "do not go together"},
        {{"events", path, "--kind", "alarms"}, "--kind"},
        {{"events", path, "--kind"}, "--kind"},
        {{"events", path, "--barrier", "0"}, "--barrier"},
        {{"events", path, "--barrier", "9"}, "--barrier"},
        {{"events", path, "--barrier", "two"}, "--barrier"},
        {{"events"}, "no file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const ToolRun r = hubdat(c.args);
        EXPECT_EQ(r.code, 2);
        EXPECT_TRUE(r.err.contains(c.says)) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("Usage: hubdat")) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
}

// One line an event, in file order, the barrier and kind filters applied;
// a power event names its new level.
TEST(HubdatPlayer, EventsAreOneJsonObjectALine) {
    QTemporaryDir dir;
    const QString path = dir.filePath("r.dat");
    std::uint8_t sw[kSwBlockSize] = {0xFF, 0x0F, 0x11, 0x22, 0x33, 0x44, 0x03, 0x04, 0x00};
    testrec::Recording rec;
    const double t0 = testrec::at(2026, 12, 8, 3, 12, 45, 120);
    const double ms = 1.0 / 86400000;
    rec.startEnd(t0).add(testrec::settings(t0, 0x40, sw));
    rec.couple(t0 + 5 * ms, 1, 0x04, 0x00, 0x02);       // beam 3 of barrier 1; Alarm on both
    rec.couple(t0 + 10 * ms, 1, 0x00, 0x00, 0x00);      // all off again
    sw[7] = 0x0D;                                       // couple A level 0 -> 1, B 1 -> 3
    rec.add(testrec::settings(t0 + 1000 * ms, 0x40, sw));
    ASSERT_TRUE(rec.save(path));

    const auto lines = [&](const QStringList& extra) {
        const ToolRun r = hubdat(QStringList{"events", path} + extra);
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        return QString::fromUtf8(r.out).split('\n', Qt::SkipEmptyParts);
    };
    const QStringList all = lines({});
    const QStringList want{
        R"({"record":3,"time":"2026-12-08T03:12:45.125","barrier":1,"element":"beam3","on":true})",
        R"({"record":3,"time":"2026-12-08T03:12:45.125","barrier":1,"element":"alarm","on":true})",
        R"({"record":3,"time":"2026-12-08T03:12:45.125","barrier":2,"element":"alarm","on":true})",
        R"({"record":4,"time":"2026-12-08T03:12:45.130","barrier":1,"element":"beam3","on":false})",
        R"({"record":4,"time":"2026-12-08T03:12:45.130","barrier":1,"element":"alarm","on":false})",
        R"({"record":4,"time":"2026-12-08T03:12:45.130","barrier":2,"element":"alarm","on":false})",
        R"({"record":5,"time":"2026-12-08T03:12:46.120","barrier":1,"element":"power","on":true,"level":1})",
        R"({"record":5,"time":"2026-12-08T03:12:46.120","barrier":2,"element":"power","on":true,"level":1})",
        R"({"record":5,"time":"2026-12-08T03:12:46.120","barrier":3,"element":"power","on":true,"level":3})",
        R"({"record":5,"time":"2026-12-08T03:12:46.120","barrier":4,"element":"power","on":true,"level":3})",
    };
    EXPECT_EQ(all, want);
    EXPECT_EQ(lines({"--barrier", "2"}), (QStringList{want[2], want[5], want[7]}));
    EXPECT_EQ(lines({"--kind=power", "--barrier=3"}), (QStringList{want[8]}));
    EXPECT_EQ(lines({"--kind", "tamper"}), QStringList{});
    for (const QString& l : all) EXPECT_FALSE(QJsonDocument::fromJson(l.toUtf8()).isNull()) << l.toStdString();
}

// The new commands fail as the others do: a full standard output is reported
// and never success, a FIFO or a folder is refused at once, and a file that is
// empty or has no start record is no error (no events, the idle display).
TEST(HubdatPlayer, OutputAndInputFailuresAsEveryCommand) {
    QTemporaryDir dir;
    const QString dat = dir.filePath("r.dat"), empty = dir.filePath("e.dat"),
                  startless = dir.filePath("s.dat"), fifo = dir.filePath("p.dat");
    testrec::Recording rec;
    rec.startEnd(testrec::at(2026, 12, 8)).couple(testrec::at(2026, 12, 8, 1), 1, 1, 0, 2);
    ASSERT_TRUE(rec.save(dat));
    ASSERT_TRUE(testrec::saveBytes(empty, {}));
    ASSERT_TRUE(testrec::Recording().couple(testrec::at(2026, 12, 8), 1, 1, 0, 2).save(startless));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QList<QStringList> commands = {{"events"}, {"replay", "--json", "--records", "1"},
                                         {"replay", "--json", "--until", "2026-12-08T00:30:00"}};
    testtool::Limits full;
    full.stdoutFile = "/dev/full";
    testtool::Limits quick;
    quick.timeoutMs = 10000;
    for (const QStringList& c : commands) {
        const auto with = [&](const QString& path) {
            QStringList a = c;
            a.insert(1, path);
            return a;
        };
        SCOPED_TRACE(c.join(' ').toStdString());
        ToolRun r = testtool::hubdatLimited(with(dat), full);
        EXPECT_EQ(r.code, 1);
        EXPECT_TRUE(r.err.contains("cannot write the standard output: No space left on device")) << r.err.toStdString();
        for (const QString& bad : {fifo, dir.path()}) {
            r = testtool::hubdatLimited(with(bad), quick);
            EXPECT_EQ(r.code, 1);
            EXPECT_FALSE(r.err.isEmpty());
        }
        for (const QString& none : {empty, startless}) {
            r = testtool::hubdatLimited(with(none), quick);
            EXPECT_EQ(r.code, 0) << r.err.toStdString();
            if (c.front() == "events") {
                EXPECT_TRUE(r.out.isEmpty());
            }
        }
    }
}
