// The room's history in SQLite, its archive and the room's alarm handling.
#include "common/tdatetime.h"
#include "hubroom/room.h"
#include "monitor/display/zoom.h"
#include "monitor/replay.h"
#include "roomfeed.h"

#include <QDir>
#include <QFile>
#include <set>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace hub::room;
using namespace roomtest;

namespace {

EventMsg ev(unsigned long long seq, int barrier, const char* element, bool on, const char* time) {
    return *parseEvent(event(seq, barrier, element, on, time));
}

TEST(RoomHistory, SurvivesARestartAndStoresNoEventTwice) {
    QTemporaryDir dir;
    const QString db = dir.filePath("room.sqlite");
    {
        History h;
        ASSERT_TRUE(h.open(db));
        ASSERT_TRUE(h.addEvent("north", ev(1, 2, "alarm", true, "2026-12-08T03:00:00.000Z")));
        ASSERT_TRUE(h.addEvent("north", ev(2, 2, "fault", true, "2026-12-08T03:00:01.000Z")));
        EXPECT_FALSE(h.addEvent("north", ev(3, 2, "beam1", true, "2026-12-08T03:00:02.000Z")))
            << "beams are not logged";
        h.saveSite("north", 3);
    }
    History h;
    ASSERT_TRUE(h.open(db));
    EXPECT_FALSE(h.addEvent("north", ev(1, 2, "alarm", true, "2026-12-08T03:00:00.000Z")))
        << "the same site and seq again after a restart";
    EXPECT_TRUE(h.addEvent("south", ev(1, 2, "alarm", true, "2026-12-08T03:00:03.000Z")))
        << "the same seq of another site";
    const auto restore = h.addEvent("north", ev(4, 2, "alarm", false, "2026-12-08T03:00:05.000Z"));
    ASSERT_TRUE(restore);
    EXPECT_EQ(restore->seq, 1u) << "the restore closes the raise";
    EXPECT_EQ(isoTime(restore->restored), "2026-12-08T03:00:05.000Z");
    EXPECT_FALSE(h.addEvent("north", ev(4, 2, "alarm", false, "2026-12-08T03:00:05.000Z")));
    // Resent out of order: the restore first, then its raise, one entry.
    ASSERT_TRUE(h.addEvent("west", ev(9, 1, "tamper", false, "2026-12-08T03:00:09.000Z")));
    const auto late = h.addEvent("west", ev(8, 1, "tamper", true, "2026-12-08T03:00:08.000Z"));
    ASSERT_TRUE(late);
    EXPECT_EQ(late->seq, 8u);
    EXPECT_EQ(late->restoreSeq, 9u);
    EXPECT_EQ(h.search({"west", 0, {}, {}, {}, 0}).size(), 1u);
    // A wider gap filled late, in every order: each raise paired with the
    // first restore after it.
    for (const std::vector<int>& order : {std::vector<int>{16, 11, 12, 13, 14, 15}, std::vector<int>{12, 16, 15, 11, 14, 13},
                                          std::vector<int>{15, 14, 13, 12, 11, 16}}) {
        History g;
        ASSERT_TRUE(g.open(dir.filePath(QStringLiteral("order%1.sqlite").arg(order[1]))));
        for (int n : order) g.addEvent("east", ev(n, 1, "alarm", n % 2 == 1, "2026-12-08T03:00:00.000Z"));
        const auto rows = g.search({});
        ASSERT_EQ(rows.size(), 3u);
        std::set<std::pair<unsigned long long, unsigned long long>> pairs;
        for (const auto& r : rows) pairs.insert({r.seq, r.restoreSeq});
        EXPECT_EQ(pairs, (std::set<std::pair<unsigned long long, unsigned long long>>{{11, 12}, {13, 14}, {15, 16}}))
            << order[0] << "," << order[1];
    }
    const auto all = h.search({"north", 0, {}, {}, {}, 0});
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].kind(), "fault") << "newest first";
    ASSERT_EQ(h.sites().size(), 1u);
    EXPECT_EQ(h.sites()[0].second, 3u);
}

TEST(RoomHistory, SearchBySiteBarrierKindAndPeriodAndCsvExport) {
    QTemporaryDir dir;
    History h;
    ASSERT_TRUE(h.open(dir.filePath("room.sqlite")));
    h.addEvent("a", ev(1, 1, "alarm", true, "2026-12-08T01:00:00.000Z"));
    h.addEvent("a", ev(2, 3, "tamper", true, "2026-12-08T02:00:00.000Z"));
    h.addEvent("b", ev(1, 1, "alarm", true, "2026-12-08T03:00:00.000Z"));
    h.addEvent("b", ev(2, 1, "disq", true, "2026-12-08T04:00:00.000Z"));
    const auto t = [](const char* s) { return parseIsoTime(QString::fromLatin1(s)); };
    struct Case {
        const char* what;
        LogQuery q;
        std::vector<std::pair<const char*, const char*>> expected; // site, kind, newest first
    };
    const std::vector<Case> cases = {
        {"by site", {"a", 0, {}, {}, {}, 0}, {{"a", "tamper"}, {"a", "alarm"}}},
        {"by barrier", {{}, 3, {}, {}, {}, 0}, {{"a", "tamper"}}},
        {"by kind", {{}, 0, "alarm", {}, {}, 0}, {{"b", "alarm"}, {"a", "alarm"}}},
        {"by period, end excluded",
         {{}, 0, {}, t("2026-12-08T02:00:00.000Z"), t("2026-12-08T04:00:00.000Z"), 0},
         {{"b", "alarm"}, {"a", "tamper"}}},
        {"site and kind", {"b", 0, "disq", {}, {}, 0}, {{"b", "disq"}}},
    };
    for (const Case& c : cases) {
        const auto got = h.search(c.q);
        ASSERT_EQ(got.size(), c.expected.size()) << c.what;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].site, c.expected[i].first) << c.what;
            EXPECT_EQ(got[i].kind(), c.expected[i].second) << c.what;
        }
    }
    ASSERT_TRUE(h.acknowledge(h.search({"a", 1, {}, {}, {}, 0})[0].id, "Rossi, M.", "checked \"on foot\"",
                              t("2026-12-08T05:00:00.000Z")));
    const QString csv = dir.filePath("out.csv");
    ASSERT_TRUE(h.exportCsv({"a", 0, {}, {}, {}, 0}, csv));
    QFile f(csv);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(),
              "site,barrier,kind,seq,raised,restored,acknowledged_by,acknowledged_at,note\n"
              "a,1,alarm,1,2026-12-08T01:00:00.000Z,,\"Rossi, M.\",2026-12-08T05:00:00.000Z,"
              "\"checked \"\"on foot\"\"\"\n"
              "a,3,tamper,2,2026-12-08T02:00:00.000Z,,,,\n");
    QString err;
    EXPECT_FALSE(h.exportCsv({}, dir.filePath("missing/out.csv"), &err));
    EXPECT_TRUE(err.contains("missing/out.csv"));
}

TEST(RoomAlarms, BeepsUntilAcknowledgedAndSilenceIsNotAcknowledge) {
    QTemporaryDir dir;
    RoomOptions o;
    o.historyPath = dir.filePath("room.sqlite");
    o.beepEveryMs = 3600000; // counted by hand below
    std::vector<std::pair<QString, QByteArray>> sent;
    long long beeps = 0;
    {
        Room room(o);
        ASSERT_TRUE(room.open());
        room.setPublisher([&](const QString& t, const QByteArray& p) { sent.emplace_back(t, p); });
        room.setBeeper([&] { ++beeps; });
        room.message(topic("s1", "event"), event(1, 2, "fault", true));
        EXPECT_FALSE(room.beeping()) << "a fault is not an alarm";
        room.message(topic("s1", "event"), event(2, 2, "alarm", true));
        EXPECT_TRUE(room.beeping());
        EXPECT_EQ(beeps, 1);
        room.silence();
        EXPECT_FALSE(room.beeping());
        EXPECT_EQ(room.history().unacknowledged("s1").size(), 2u) << "silenced, still to acknowledge";
        room.message(topic("s1", "event"), event(2, 2, "alarm", true));
        EXPECT_FALSE(room.beeping()) << "a duplicate is not a new alarm";
        room.message(topic("s1", "event"), event(3, 4, "alarm", true));
        EXPECT_TRUE(room.beeping()) << "a new alarm beeps again";
        EXPECT_EQ(room.acknowledgeSite("s1", "guard", "seen"), 3);
        EXPECT_FALSE(room.beeping());
        ASSERT_EQ(sent.size(), 3u);
        EXPECT_EQ(sent[1].first, "hub/s1/ack");
        const QJsonObject ack = QJsonDocument::fromJson(sent[1].second).object();
        EXPECT_EQ(ack.value("seq").toInt(), 2);
        EXPECT_EQ(ack.value("by").toString(), "guard");
        EXPECT_EQ(ack.value("note").toString(), "seen");
        EXPECT_TRUE(parseIsoTime(ack.value("time").toString()).isValid());
        EXPECT_FALSE(room.acknowledge(room.history().search({})[0].id, "guard", "again"));
        room.message(topic("s1", "event"), event(5, 4, "alarm", true));
        ASSERT_EQ(sent.size(), 4u);
        EXPECT_EQ(sent[3].first, "hub/s1/resend");
        EXPECT_EQ(sent[3].second, R"({"from":4,"v":1})");
    }
    // After a restart an unacknowledged alarm still calls, and old events stay old.
    Room room(o);
    room.setBeeper([&] { ++beeps; });
    ASSERT_TRUE(room.open());
    EXPECT_TRUE(room.beeping());
    room.message(topic("s1", "event"), event(3, 4, "alarm", true));
    EXPECT_EQ(room.history().search({}).size(), 4u);
}

TEST(RoomArchive, ArchiveReplaysToTheStreamsLastStateAndRunsOverMidnight) {
    QTemporaryDir dir;
    RoomOptions o;
    o.archiveDir = dir.path();
    const QDateTime day1 = QDateTime(QDate(2026, 12, 8), QTime(23, 59, 58)).toUTC();
    const QDateTime day2 = day1.addSecs(4);
    {
        Room room(o);
        room.message(topic("s1", "settings"), settingsSw(isoTime(day1).toLatin1().constData()));
        room.message(topic("s1", "state"), state("010000000000000000000000", 1, isoTime(day1).toLatin1().constData()));
        room.message(topic("s1", "state"), state("000102000000000000000000", 3, isoTime(day2).toLatin1().constData()));
        room.message(topic("s1", "state"), state("000102040000000000000000", 4, isoTime(day2).toLatin1().constData()));
    }
    const QString f1 = dir.filePath("s1/2026-12-08.dat"), f2 = dir.filePath("s1/2026-12-09.dat");
    ASSERT_TRUE(QFile::exists(f1));
    ASSERT_TRUE(QFile::exists(f2));
    for (const auto& [file, last] :
         {std::pair{f1, hub::StateRecord{1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
          std::pair{f2, hub::StateRecord{0, 1, 2, 4, 0, 0, 0, 0, 0, 0, 0, 0}}}) {
        hub::MonitorModel m;
        hub::HubState hs;
        const auto out = hub::replayFile(file, m, hs, false, [&](bool hide) {
            hub::resetDisplay(m, hs, hide, false);
        });
        ASSERT_TRUE(out) << file.toStdString();
        EXPECT_EQ(out->reason, hub::StopReason::EndRecord) << "each day's file is closed";
        EXPECT_EQ(hs.previous, last);
        EXPECT_EQ(hs.hubKind, 64) << "the settings are repeated in the new day's file";
    }
    // A later run on the same day never empties the earlier file.
    const qint64 size = QFileInfo(f2).size();
    {
        Room room(o);
        room.message(topic("s1", "state"), state("000000000000000000000000", 5, isoTime(day2).toLatin1().constData()));
    }
    EXPECT_EQ(QFileInfo(f2).size(), size);
    EXPECT_TRUE(QFile::exists(dir.filePath("s1/2026-12-09-2.dat")));
}

} // namespace
