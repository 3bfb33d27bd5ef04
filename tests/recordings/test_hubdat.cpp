#include "fixtures.h"

#include "common/tdatetime.h"
#include "monitor/replay.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include "toolrun.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace hub;

namespace {

using testtool::hubdat;
using testtool::ToolRun;

QString rgb(Rgb c) { return QString::fromStdString(rectest::hex(c)); }

const std::array<std::uint8_t, kSwBlockSize> kSw = {0xDB, 0x05, 0x12, 0x34, 0x56, 0x78,
                                                    0x0B, 0x1B, 0x04};

} // namespace

TEST(Hubdat, ReplayJsonIsTheReplayedModel) {
    QTemporaryDir dir;
    const QString path = dir.filePath("r.dat");
    std::vector<std::vector<std::uint8_t>> recs{testrec::startEnd(46185.25),
                                                testrec::settings(46185.25, 0xC2, kSw.data())};
    StateRecord s{};
    for (int i = 0; i < 300; ++i) {
        s[i % 12] = static_cast<std::uint8_t>(i * 37);
        recs.push_back(testrec::state(46185.3, s));
    }
    testrec::writeFile(path, recs);

    const ToolRun r = hubdat({"replay", path, "--json"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    QJsonParseError pe;
    const QJsonObject doc = QJsonDocument::fromJson(r.out, &pe).object();
    ASSERT_EQ(pe.error, QJsonParseError::NoError) << pe.errorString().toStdString();

    // The same file replayed here, in a fresh model.
    MonitorModel m;
    HubState hub;
    const auto out = replayFile(path, m, hub, false,
                                [&](bool hide) { rectest::resetModel(m, hub, hide, false); });
    ASSERT_TRUE(out);

    EXPECT_DOUBLE_EQ(doc["start"].toDouble(), 46185.25);
    EXPECT_EQ(doc["counter"].toInteger(), 300);
    EXPECT_EQ(doc["hub"].toString(), "SW: v.2 (TEST)");
    const QJsonObject stream = doc["stream"].toObject();
    EXPECT_EQ(stream["record_length"].toInt(), 12);
    EXPECT_EQ(stream["records_per_tick"].toInt(), 6);
    EXPECT_EQ(stream["blink_count"].toInt(), 20);

    const QJsonArray barriers = doc["barriers"].toArray();
    ASSERT_EQ(barriers.size(), 8);
    for (int b = 1; b <= 8; ++b) {
        SCOPED_TRACE(b);
        const QJsonObject o = barriers[b - 1].toObject();
        EXPECT_EQ(o["number"].toInt(), b);
        EXPECT_EQ(o["visible"].toBool(), m.barrier(b).visible);
        EXPECT_EQ(o["version"].toString(), m.labVers[b - 1].caption);
        EXPECT_EQ(o["blink"].toInt(), hub.blink[b - 1]);
        EXPECT_EQ(o["head"].toString(), rgb(m.caps[b - 1].brush));
        const QJsonArray leds = o["leds"].toArray();
        ASSERT_EQ(leds.size(), 14);
        for (int n = 1; n <= 14; ++n) {
            const QJsonObject l = leds[n - 1].toObject();
            EXPECT_EQ(l["led"].toInt(), n);
            EXPECT_EQ(l["lens"].toString(), rgb(m.led(b, n).lens)) << n;
            EXPECT_EQ(l["ring"].toString(), rgb(m.led(b, n).ring)) << n;
            EXPECT_EQ(l["count"].toInteger(), m.led(b, n).count) << n;
        }
    }
    // Couples A, B and D installed (0x0B); C hidden.
    EXPECT_TRUE(barriers[0].toObject()["visible"].toBool());
    EXPECT_FALSE(barriers[4].toObject()["visible"].toBool());
    EXPECT_EQ(barriers[0].toObject()["version"].toString(), "V. 1");
    EXPECT_GT(barriers[0].toObject()["leds"].toArray()[2].toObject()["count"].toInt(), 0);

    const QJsonArray couples = doc["couples"].toArray();
    ASSERT_EQ(couples.size(), 4);
    for (int c = 1; c <= 4; ++c) {
        SCOPED_TRACE(c);
        const QJsonObject o = couples[c - 1].toObject();
        EXPECT_EQ(o["couple"].toString(), QString(QChar('A' + c - 1)));
        EXPECT_EQ(o["visible"].toBool(), m.labGruppi[c - 1].visible);
        EXPECT_EQ(o["power"].toInt(), m.bars[c - 1].progress);
        const QJsonArray beams = o["beams"].toArray();
        ASSERT_EQ(beams.size(), 8);
        for (int k = 1; k <= 8; ++k) {
            const QJsonObject bo = beams[k - 1].toObject();
            EXPECT_EQ(bo["beam"].toInt(), k);
            EXPECT_EQ(bo["visible"].toBool(), m.raggio(c, k).visible) << k;
            EXPECT_EQ(bo["colour"].toString(), rgb(m.raggio(c, k).colour)) << k;
        }
    }
    EXPECT_EQ(couples[0].toObject()["power"].toInt(), 100);
    EXPECT_EQ(couples[1].toObject()["power"].toInt(), 75);
}

TEST(Hubdat, ReplayOfBadFiles) {
    QTemporaryDir dir;
    const QString noStart = dir.filePath("nostart.dat");
    testrec::writeFile(noStart, {testrec::state(1, StateRecord{1})});
    const ToolRun r = hubdat({"replay", noStart, "--json"});
    ASSERT_EQ(r.code, 0);
    const QJsonObject doc = QJsonDocument::fromJson(r.out).object();
    EXPECT_TRUE(doc["start"].isNull());
    EXPECT_EQ(doc["counter"].toInt(), 0);
    EXPECT_EQ(doc["hub"].toString(), "HUB");
    // The idle display: every barrier shown, silver.
    const QJsonObject b8 = doc["barriers"].toArray()[7].toObject();
    EXPECT_TRUE(b8["visible"].toBool());
    EXPECT_EQ(b8["leds"].toArray()[13].toObject()["lens"].toString(), "#C0C0C0");

    struct Case {
        QStringList args;
        int code;
    } cases[] = {
        {{"replay", dir.filePath("missing.dat"), "--json"}, 1},
        {{"replay", dir.path(), "--json"}, 1}, // a folder is not a recording
        {{"info", dir.filePath("missing.dat")}, 1},
        {{"replay"}, 2},
        {{"replay", noStart, "--xml"}, 2},
        {{"info", noStart, noStart}, 2},
        {{"frobnicate", noStart}, 2},
        {{}, 2},
        {{"--help"}, 0},
        {{"info", "--help"}, 0},
        {{"replay", "--help"}, 0},
    };
    for (const auto& c : cases) {
        const ToolRun x = hubdat(c.args);
        EXPECT_EQ(x.code, c.code) << c.args.join(' ').toStdString();
        if (c.code == 1) {
            EXPECT_FALSE(x.err.trimmed().isEmpty());
        }
        if (c.code == 0) {
            EXPECT_TRUE(x.out.contains("Usage"));
        }
    }
}

TEST(Hubdat, InfoReportsCountsKindAndStop) {
    QTemporaryDir dir;
    std::array<std::uint8_t, kTcBlockSize> tc{};
    std::memcpy(tc.data() + 44, "GATE", 4);
    const auto start = testrec::startEnd(toTDateTime(QDate(2026, 6, 12), QTime(14, 5, 9)));
    const auto end = testrec::startEnd(toTDateTime(QDate(2026, 6, 12), QTime(15, 0, 0)));
    const auto st = testrec::state(toTDateTime(QDate(2026, 6, 12), QTime(14, 30, 0)), StateRecord{1});
    auto unknown = st;
    unknown[0] = 9;
    struct Case {
        const char* name;
        std::vector<std::vector<std::uint8_t>> recs;
        size_t cut;
        std::vector<const char*> lines;
    } cases[] = {
        {"complete",
         {start, testrec::settings(0, 0x01, tc.data()), st, st, end},
         0,
         {"records: 2 start/end (type 100), 1 settings (type 1), 2 state (type 2)",
          "first time: 2026-06-12T14:05:09.000", "last time: 2026-06-12T15:00:00.000",
          "hub: TC (kind 0x01) TC:GATE (v.1)", "end record: present"}},
        {"cut", {start, testrec::settings(0, 0x41, kSw.data()), st, st}, 4,
         {"records: 1 start/end (type 100), 1 settings (type 1), 1 state (type 2)",
          "last time: 2026-06-12T14:30:00.000", "hub: SW (kind 0x41) SW: v.1",
          "end record: missing", "stopped: at offset 49, record cut short (17 of its bytes present)"}},
        {"unknown", {start, st, unknown, st, end}, 0,
         {"records: 1 start/end (type 100), 0 settings (type 1), 1 state (type 2)",
          "end record: missing", "stopped: at offset 30, unknown record type 9", "hub: -"}},
        {"no start", {st, end}, 0,
         {"records: 0 start/end (type 100), 0 settings (type 1), 0 state (type 2)",
          "first time: -", "stopped: at offset 0, no start record (type 2)"}},
        {"data after the end", {start, end, st}, 0,
         {"end record: present", "after the end record: 21 bytes not read"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath("i.dat");
        testrec::writeFile(path, c.recs, c.cut);
        const ToolRun r = hubdat({"info", path});
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        const QStringList lines = QString::fromUtf8(r.out).split('\n');
        for (const char* want : c.lines)
            EXPECT_TRUE(lines.contains(QString::fromUtf8(want)))
                << want << "\n--- got:\n" << r.out.toStdString();
    }
}
