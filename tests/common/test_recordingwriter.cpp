// The recording writer against a second writer and a full disk: the file it
// keeps is always whole records, and a file another writer holds is never
// touched.
#include "monitor/datafile.h"
#include "filelimit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray bytesOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

hub::StateRecord state(int i) {
    hub::StateRecord s{};
    s[0] = static_cast<std::uint8_t>(i + 1);
    s[11] = static_cast<std::uint8_t>(0x80 | i);
    return s;
}

// Start, n states, end.
void writeRecording(hub::DataFileWriter& w, int n) {
    ASSERT_TRUE(w.writeStartEnd(46000.0));
    for (int i = 0; i < n; ++i) ASSERT_TRUE(w.writeState(46000.0 + i, state(i)));
}

struct Scan {
    hub::StopReason reason = hub::StopReason::None;
    std::vector<hub::StateRecord> states;
};

Scan scan(const QString& path) {
    Scan s;
    hub::DataFileReader r;
    double start = 0;
    if (!r.open(path) || !r.readStart(start)) return {hub::StopReason::NoStartRecord, {}};
    hub::DataRecord rec;
    while (r.next(rec))
        if (rec.type == hub::kRecordState) s.states.push_back(rec.state);
    s.reason = r.stopReason();
    return s;
}

} // namespace

TEST(RecordingWriter, ASecondWriterIsRefusedAndTheFirstRecordingIsUntouched) {
    QTemporaryDir dir;
    const QString path = dir.filePath("guard__PORT-ttyUSB0.dat");

    // The second writer opens its own file description, as another process would.
    {
        hub::DataFileWriter first;
        ASSERT_TRUE(first.create(path));
        writeRecording(first, 3);
        const QByteArray before = bytesOf(path);
        hub::DataFileWriter second;
        QString error;
        EXPECT_FALSE(second.create(path, &error));
        EXPECT_FALSE(second.isOpen());
        EXPECT_EQ(bytesOf(path), before);
        EXPECT_TRUE(error.startsWith(path + " is already being recorded by ")) << error.toStdString();
        EXPECT_TRUE(error.contains(QStringLiteral("(pid %1)").arg(::getpid()))) << error.toStdString();
        // The first goes on writing where it was.
        ASSERT_TRUE(first.writeState(46001.0, state(7)));
        ASSERT_TRUE(first.writeStartEnd(46002.0));
        const Scan s = scan(path);
        EXPECT_EQ(s.reason, hub::StopReason::EndRecord);
        EXPECT_EQ(s.states.size(), 4u);
    }

    // Once the holder is done, the name is overwritten as always. (Another
    // process holding it: UnattendedStart in tests/link.)
    hub::DataFileWriter again;
    ASSERT_TRUE(again.create(path));
    EXPECT_EQ(bytesOf(path).size(), 0);
}

TEST(RecordingWriter, NamesThatCannotBeARecordingAreRefusedAtOnce) {
    QTemporaryDir dir;
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("fifo.dat")).constData(), 0600), 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.dat"));
    for (const char* name : {"missing/guard.dat", "folder.dat", "fifo.dat"}) {
        const QString path = dir.filePath(name);
        hub::DataFileWriter w;
        QString error;
        EXPECT_FALSE(w.create(path, &error)) << name; // and does not hang on the FIFO
        EXPECT_TRUE(error.startsWith(path + ": ")) << error.toStdString();
        EXPECT_FALSE(w.writeStartEnd(46000.0)) << name;
    }
}

TEST(RecordingWriter, AFullDiskIsCutBackToTheLastWholeRecordAndTheRecordingResumes) {
    // Where the limit falls: inside a state's header, inside its payload, and
    // exactly after a whole record (the next write then gets nothing through).
    const struct {
        const char* name;
        rlim_t limit;
    } cases[] = {
        {"in a header", 9 + 2 * 21 + 4},
        {"in a payload", 9 + 2 * 21 + 15},
        {"on a record boundary", 9 + 2 * 21},
    };
    for (const auto& c : cases) {
        QTemporaryDir dir;
        const QString path = dir.filePath("full.dat");
        hub::DataFileWriter w;
        ASSERT_TRUE(w.create(path)) << c.name;
        std::vector<hub::StateRecord> kept;
        {
            testtool::FileSizeLimit limit(c.limit);
            ASSERT_TRUE(w.writeStartEnd(46000.0)) << c.name;
            int i = 0;
            for (; i < 10 && w.writeState(46000.0 + i, state(i)); ++i) kept.push_back(state(i));
            EXPECT_EQ(i, 2) << c.name;
            EXPECT_TRUE(w.paused()) << c.name;
            EXPECT_TRUE(w.lastError().startsWith(path + ": ")) << w.lastError().toStdString();
            EXPECT_EQ(QFileInfo(path).size(), 9 + 2 * 21) << c.name;
            // Still full: nothing changes, however often it is tried.
            EXPECT_FALSE(w.writeState(46000.5, state(20))) << c.name;
            EXPECT_EQ(QFileInfo(path).size(), 9 + 2 * 21) << c.name;
            // Space comes back.
            limit.lift();
            ASSERT_TRUE(w.writeState(46001.0, state(30))) << c.name;
            kept.push_back(state(30));
            EXPECT_FALSE(w.paused()) << c.name;
        }
        ASSERT_TRUE(w.writeStartEnd(46002.0)) << c.name;
        w.close();
        const Scan s = scan(path);
        EXPECT_EQ(s.reason, hub::StopReason::EndRecord) << c.name;
        EXPECT_EQ(s.states, kept) << c.name;
        EXPECT_EQ(QFileInfo(path).size(), 9 + 3 * 21 + 9) << c.name;
    }
}
