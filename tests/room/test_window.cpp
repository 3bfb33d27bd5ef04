// The room's windows fed with contract payloads: the grid's order and filter,
// a site's monitor against a replay of the same records, acknowledgement from
// the log, and screenshots in both languages.
#include "common/DialogSeam.h"
#include "hubroom/RoomWindow.h"
#include "hubroom/SiteGrid.h"
#include "hubroom/SiteMonitor.h"
#include "hubroom/roomtexts.h"
#include "monitor/display/zoom.h"
#include "monitor/elementevents.h"
#include "monitor/replay.h"
#include "recording.h"
#include "roomfeed.h"

#include <QDir>
#include <set>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace hub::room;
using namespace roomtest;

namespace {

// Five sites: an alarm, a fault, a silent one, a lost one and a quiet one.
void feedFiveSites(Room& room) {
    for (const char* s : {"north-gate", "quarry", "depot", "harbour", "school"}) {
        room.message(topic(s, "status"), status("online"));
        room.message(topic(s, "link"), link("receiving"));
        room.message(topic(s, "settings"), settingsSw());
        room.message(topic(s, "state"), state("000000000000000000000000", 0));
    }
    room.message(topic("north-gate", "event"), event(1, 2, "alarm", true));
    room.message(topic("north-gate", "state"), state("000202000000000000000000", 1));
    room.message(topic("quarry", "event"), event(1, 3, "fault", true));
    room.message(topic("quarry", "state"), state("000000000010000000000000", 1));
    room.message(topic("harbour", "status"), status("lost"));
    room.message(topic("school", "event"), event(1, 1, "beam4", true));
}

struct Fixture {
    QTemporaryDir dir;
    RoomOptions o;
    std::unique_ptr<Room> room;
    qint64 now = 0;
    std::vector<std::pair<QString, QByteArray>> sent;
    explicit Fixture(int silentAfter = 30) {
        o.historyPath = dir.filePath("room.sqlite");
        o.silentAfter = silentAfter;
        o.tickMs = 3600000;
        o.beepEveryMs = 3600000;
        room = std::make_unique<Room>(o);
        room->setClock([this] { return now; });
        room->setPublisher([this](const QString& t, const QByteArray& p) { sent.emplace_back(t, p); });
        EXPECT_TRUE(room->open());
    }
};

// Screenshots for a look: $HUB_ROOM_SHOTS when set, else the temporary folder.
QString shotDir() {
    const QString d = qEnvironmentVariable("HUB_ROOM_SHOTS");
    return !d.isEmpty() && QDir().mkpath(d) ? d : QDir::tempPath();
}

TEST(RoomWindowGrid, SortsBySeverityFiltersByNameAndShowsBothLanguages) {
    for (const bool italian : {false, true}) {
        Fixture f;
        feedFiveSites(*f.room);
        f.now = 31000; // everyone but the sites with fresh data went quiet
        f.room->message(topic("north-gate", "state"), state("000202000000000000000000", 1));
        f.room->message(topic("quarry", "state"), state("000000000010000000000000", 1));
        f.room->message(topic("school", "state"), state("000000000000000000000000", 1));
        f.room->tick();
        RoomWindow w(*f.room, italian);
        w.resize(1024, 640);
        w.show();
        w.refreshNow();
        std::vector<QString> order;
        for (const Tile& t : w.grid()->tiles()) order.push_back(t.name);
        EXPECT_EQ(order, (std::vector<QString>{"north-gate", "quarry", "harbour", "depot", "school"}));
        EXPECT_TRUE(w.grid()->tiles()[3].silent);
        EXPECT_EQ(w.grid()->tiles()[0].cells[1], Condition::Alarm);
        EXPECT_EQ(w.grid()->tiles()[0].cells[0], Condition::Alarm) << "the couple's alarm is on both barriers";
        EXPECT_FALSE(w.grid()->tiles()[0].present[4]) << "couple C is absent in the settings";
        w.grab().save(shotDir() + (italian ? "/room-grid-it.png" : "/room-grid-en.png"));
        w.filterBox()->setText("AR");
        w.refreshNow();
        ASSERT_EQ(w.grid()->tiles().size(), 2u);
        EXPECT_EQ(w.grid()->tiles()[0].name, "quarry");
        EXPECT_EQ(w.grid()->tiles()[1].name, "harbour");
    }
}

TEST(RoomWindowGrid, AlarmAndFaultCellsDifferInColourAndLetter) {
    // No condition but the alarm may look red; every one has its own letter.
    std::set<QString> letters;
    for (Condition c : {Condition::Beam, Condition::Blind, Condition::Stb, Condition::Disq, Condition::Fault,
                        Condition::Tamper, Condition::Alarm}) {
        const QColor col = conditionColour(c);
        const bool redLike = col.red() > 150 && col.green() < 120 && col.blue() < 160;
        EXPECT_EQ(redLike, c == Condition::Alarm) << conditionName(c).toStdString();
        for (bool it : {false, true}) EXPECT_FALSE(conditionLetter(c, it).isEmpty());
        letters.insert(conditionLetter(c, false));
    }
    EXPECT_EQ(letters.size(), 7u);
}

TEST(RoomWindowMonitor, DoubleClickShowsTheSamePictureAsAReplayOfTheRecords) {
    Fixture f;
    feedFiveSites(*f.room);
    RoomWindow w(*f.room, false);
    w.show();
    w.refreshNow();
    QTest::mouseDClick(w.grid(), Qt::LeftButton, {}, w.grid()->tileRect(0).center());
    SiteMonitor* m = w.siteMonitor("north-gate");
    ASSERT_NE(m, nullptr);
    // The site's own recording of the same settings and records.
    const std::uint8_t block[9] = {0xFF, 0, 0, 0, 0, 0, 3, 5, 0};
    const QString rec = f.dir.filePath("site.dat");
    ASSERT_TRUE(testrec::writeFile(rec, {testrec::startEnd(46000), testrec::settings(46000, 64, block),
                                         testrec::state(46000, hub::StateRecord{}),
                                         testrec::state(46000, hub::StateRecord{0, 2, 2})}));
    hub::MonitorModel model;
    hub::HubState hs;
    ASSERT_TRUE(hub::replayFile(rec, model, hs, false, [&](bool hide) { hub::resetDisplay(model, hs, hide, false); }));
    for (int b = 1; b <= 8; ++b) {
        EXPECT_EQ(m->monitor()->model().barrier(b).visible, model.barrier(b).visible) << b;
        for (int l = 1; l <= 14; ++l)
            EXPECT_EQ(m->monitor()->model().led(b, l).lens, model.led(b, l).lens) << b << "/" << l;
    }
    EXPECT_EQ(m->hub().versHub, hs.versHub);
    m->grab().save(shotDir() + "/room-monitor.png");
    // A new record reaches the open monitor.
    EXPECT_EQ(m->monitor()->model().led(2, hub::Led::Alarm).lens, hub::colour::Red) << "shot taken";
    f.room->message(topic("north-gate", "state"), state("000000000000000000000000", 2));
    // Off, remembered as it is at the site: the alarm LED turns maroon.
    EXPECT_EQ(m->monitor()->model().led(2, hub::Led::Alarm).lens, hub::colour::Maroon);
}

TEST(RoomWindowMonitor, CountersAndRingsMatchTheSitesRecordingBetweenThrottledStates) {
    Fixture f;
    const QString site = "east";
    f.room->message(topic(site, "status"), status("online"));
    f.room->message(topic(site, "settings"), settingsSw());
    f.room->message(topic(site, "state"), state("000000000000000000000000", 0));
    // Couple A: alarm on both barriers and beam 1 of barrier 1, off, on again,
    // off, then beam 3 of barrier 2 alone; the throttled state shows only the end.
    const hub::StateRecord recs[] = {{0x01, 0, 0x02}, {}, {0x01, 0, 0x02}, {}, {0, 0x04, 0}};
    const char* hex[] = {"010002000000000000000000", "000000000000000000000000", "010002000000000000000000",
                         "000000000000000000000000", "000400000000000000000000"};
    const char* times[] = {"2026-12-08T03:12:41.000Z", "2026-12-08T03:12:42.000Z", "2026-12-08T03:12:43.000Z",
                           "2026-12-08T03:12:44.000Z", "2026-12-08T03:12:45.000Z"};
    // Each record's events, sent twice and the second record's before the first's.
    std::vector<QByteArray> events;
    unsigned long long seq = 0;
    hub::StateRecord prev{};
    for (int i = 0; i < 5; ++i) {
        hub::forEachElementChange(prev, recs[i], [&](int b, int e, bool on) {
            events.push_back(eventOf(++seq, b, hub::elementName(e).toLatin1().constData(), on, hex[i], times[i]));
        });
        prev = recs[i];
    }
    ASSERT_GT(events.size(), 6u);
    std::swap(events[0], events[3]);
    for (const QByteArray& e : events) f.room->message(topic(site, "event"), e);
    for (const QByteArray& e : events) f.room->message(topic(site, "event"), e);
    f.room->message(topic(site, "state"), state(hex[4], seq, times[4]));

    RoomWindow w(*f.room, false);
    SiteMonitor* m = w.openSite(site);
    ASSERT_NE(m, nullptr);
    const std::uint8_t block[9] = {0xFF, 0, 0, 0, 0, 0, 3, 5, 0};
    std::vector<testrec::Bytes> file{testrec::startEnd(46000), testrec::settings(46000, 64, block),
                                     testrec::state(46000, hub::StateRecord{})};
    for (const auto& r : recs) file.push_back(testrec::state(46000, r));
    const QString rec = f.dir.filePath("east.dat");
    ASSERT_TRUE(testrec::writeFile(rec, file));
    hub::MonitorModel model;
    hub::HubState hs;
    ASSERT_TRUE(hub::replayFile(rec, model, hs, false, [&](bool hide) { hub::resetDisplay(model, hs, hide, false); }));
    for (int b = 1; b <= 8; ++b)
        for (int l = 1; l <= 14; ++l) {
            const hub::LedModel& got = m->monitor()->model().led(b, l);
            const hub::LedModel& want = model.led(b, l);
            EXPECT_EQ(got.lens, want.lens) << b << "/" << l;
            EXPECT_EQ(got.ring, want.ring) << b << "/" << l;
            EXPECT_EQ(got.count, want.count) << b << "/" << l;
        }
    EXPECT_EQ(model.led(1, hub::Led::Alarm).count, 2) << "the recording counts both alarms";
}

TEST(RoomWindowLog, AcknowledgeFromTheLogPublishesAndShowsWho) {
    hub::DialogSeam::clear();
    Fixture f;
    feedFiveSites(*f.room);
    f.room->message(topic("north-gate", "event"), event(2, 2, "alarm", false, "2026-12-08T03:13:00.000Z"));
    RoomWindow w(*f.room, false);
    w.show();
    w.refreshNow();
    ASSERT_EQ(w.logModel()->rowCount(), 2); // the alarm (restored) and the fault
    const int row = w.logModel()->entries()[0].site == "north-gate" ? 0 : 1;
    EXPECT_TRUE(w.logModel()->entries()[static_cast<size_t>(row)].restored.isValid());
    w.logView()->selectRow(row);
    hub::DialogSeam::push("error", true);
    w.BAckClick();
    EXPECT_TRUE(f.sent.empty()) << "no operator, no acknowledgement";
    EXPECT_EQ(hub::DialogSeam::pending(), 0) << "the operator was asked for";
    w.operatorBox()->setText("Bianchi");
    hub::DialogSeam::push("ack-note", QStringLiteral("patrol sent"));
    w.BAckClick();
    ASSERT_EQ(f.sent.size(), 1u);
    EXPECT_EQ(f.sent[0].first, "hub/north-gate/ack");
    EXPECT_EQ(w.logModel()->data(w.logModel()->index(row, 5), Qt::DisplayRole).toString(), "Bianchi");
    EXPECT_EQ(w.logModel()->data(w.logModel()->index(row, 7), Qt::DisplayRole).toString(), "patrol sent");
    EXPECT_FALSE(f.room->beeping());
    w.logView()->grab().save(shotDir() + "/room-log.png");
    hub::DialogSeam::clear();
}

} // namespace
