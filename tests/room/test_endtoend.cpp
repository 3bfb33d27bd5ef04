// The room against a private broker: sites published by a test client or by
// `hubdat publish`, the room connected as hubroom connects.
#include "broker.h"
#include "hubroom/RoomWindow.h"
#include "hubroom/SiteGrid.h"
#include "hubroom/roomlink.h"
#include "recording.h"
#include "roomfeed.h"
#include "toolrun.h"

#include "../broker/controlroom.h"
#include "../broker/mqttclient.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <optional>
#include <QTest>
#include <csignal>
#include <gtest/gtest.h>

using namespace hub::room;
using namespace roomtest;

namespace {

struct RoomUnderTest {
    std::unique_ptr<Room> room;
    std::unique_ptr<RoomLink> link;
    RoomUnderTest(const RoomOptions& o, int port, const QString& clientId = QStringLiteral("hubroom-test")) {
        room = std::make_unique<Room>(o);
        EXPECT_TRUE(room->open());
        const auto url = hub::MqttUrl::parse(QStringLiteral("mqtt://127.0.0.1:%1").arg(port));
        link = std::make_unique<RoomLink>(*room, roomMqttOptions(*url, {}, {}, clientId));
        link->start();
        EXPECT_TRUE(QTest::qWaitFor([&] { return link->connection().state() == hub::MqttConnection::State::Connected; }, 5000));
        // The subscription is made on connect; one round trip settles it.
        QTest::qWait(100);
    }
    const Site* site(const char* name) const { return room->sites().site(QString::fromLatin1(name)); }
};

// Every case: a folder of its own and a room whose history is in it; most
// also a private broker.
class RoomEndToEnd : public ::testing::Test {
protected:
    QTemporaryDir dir;
    RoomOptions o;
    std::optional<testsupport::PrivateBroker> broker;
    RoomEndToEnd() { o.historyPath = dir.filePath("room.sqlite"); }
    ::testing::AssertionResult startBroker() {
        broker.emplace();
        if (broker->ok()) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << broker->error();
    }
};

std::string s(const QByteArray& b) { return b.toStdString(); }
std::string t(const char* site, const char* name) { return topic(site, name).toStdString(); }

// Site k's event n: an alarm on barrier k raised on odd n, restored on even n.
QByteArray alarmEvent(int k, unsigned long long n) { return event(n, k, "alarm", n % 2 == 1); }

TEST_F(RoomEndToEnd, EventsOfThreeSitesReachTheGridAndTheLogInOrder) {
    ASSERT_TRUE(startBroker());
    RoomUnderTest r(o, broker->port());
    testmqtt::Client site;
    ASSERT_EQ(site.connect(broker->port(), "", ""), 0);
    const char* names[] = {"alpha", "bravo", "charlie"};
    for (const char* n : names) {
        site.publish(t(n, "status"), s(status("online")), true);
        site.publish(t(n, "link"), s(link("receiving")), true);
        site.publish(t(n, "settings"), s(settingsSw()), true);
    }
    const int kEvents = 20;
    for (int e = 1; e <= kEvents; ++e)
        for (int k = 0; k < 3; ++k) site.publish(t(names[k], "event"), s(alarmEvent(k + 1, static_cast<unsigned long long>(e))));
    // The last event of each site raised nothing: end each in alarm.
    for (int k = 0; k < 3; ++k) site.publish(t(names[k], "event"), s(alarmEvent(k + 1, kEvents + 1)));
    ASSERT_TRUE(QTest::qWaitFor([&] {
        for (const char* n : names)
            if (!r.site(n) || r.site(n)->contiguous != kEvents + 1) return false;
        return true;
    }, 10000));
    RoomWindow w(*r.room, false);
    w.refreshNow();
    ASSERT_EQ(w.grid()->tiles().size(), 3u);
    for (int k = 0; k < 3; ++k) {
        const Site* st = r.site(names[k]);
        EXPECT_EQ(st->status, SiteStatus::Online);
        EXPECT_EQ(st->condition(k + 1), Condition::Alarm) << names[k];
        const auto log = r.room->history().search({QString::fromLatin1(names[k]), 0, {}, {}, {}, 0});
        ASSERT_EQ(log.size(), static_cast<size_t>(kEvents / 2 + 1)) << names[k];
        // Newest first: raises 21, 19, ... 1; each but the newest restored by the next event.
        for (size_t i = 0; i < log.size(); ++i) {
            EXPECT_EQ(log[i].seq, kEvents + 1 - 2 * i) << names[k] << " row " << i;
            EXPECT_EQ(log[i].restoreSeq, i == 0 ? 0u : log[i].seq + 1) << names[k] << " row " << i;
        }
    }
}

TEST_F(RoomEndToEnd, ClosedDuringEventsAndRestartedEveryEventIsLoggedOnce) {
    ASSERT_TRUE(startBroker());
    testmqtt::Client site;
    ASSERT_EQ(site.connect(broker->port(), "", ""), 0);
    ASSERT_EQ(site.subscribe(t("delta", "resend")), 1);
    unsigned long long seq = 0;
    const auto publish = [&](int n) {
        for (int i = 0; i < n; ++i) {
            ++seq;
            site.publish(t("delta", "event"), s(alarmEvent(1, seq)));
            site.publish(t("delta", "state"), s(state(seq % 2 ? "000002000000000000000000" : "000000000000000000000000", seq)), true);
        }
    };
    {
        RoomUnderTest r(o, broker->port());
        publish(10);
        ASSERT_TRUE(QTest::qWaitFor([&] { return r.site("delta") && r.site("delta")->contiguous == 10; }, 5000));
        publish(5); // some of these may still be on their way as the room closes
        r.link->stop();
    }
    publish(25);
    RoomUnderTest r(o, broker->port());
    // A site answers a resend as the uplink does: its events again from `from`.
    size_t answered = 0;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        const auto asked = site.messages();
        for (; answered < asked.size(); ++answered) {
            const auto from = QJsonDocument::fromJson(QByteArray::fromStdString(asked[answered].payload)).object().value("from").toInt();
            for (unsigned long long n = static_cast<unsigned long long>(from); n <= seq; ++n)
                site.publish(t("delta", "event"), s(alarmEvent(1, n)));
        }
        return r.site("delta") && r.site("delta")->contiguous == 40;
    }, 10000)) << (r.site("delta") ? r.site("delta")->contiguous : 0);
    const auto log = r.room->history().search({});
    QString rows;
    for (const LogEntry& e : log) rows += QStringLiteral("%1/%2/%3 ").arg(e.seq).arg(e.raised.isValid()).arg(e.restoreSeq);
    ASSERT_EQ(log.size(), 20u) << "20 raises, each once: " << rows.toStdString();
    for (size_t i = 0; i < log.size(); ++i) {
        EXPECT_EQ(log[i].seq, 39 - 2 * i);
        EXPECT_EQ(log[i].restoreSeq, 40 - 2 * i);
    }
    EXPECT_EQ(r.site("delta")->condition(1), Condition::None);
}

TEST_F(RoomEndToEnd, AnAcknowledgementReachesTheSitesAckTopic) {
    ASSERT_TRUE(startBroker());
    RoomUnderTest r(o, broker->port());
    testmqtt::Client site;
    ASSERT_EQ(site.connect(broker->port(), "", ""), 0);
    ASSERT_EQ(site.subscribe(t("echo", "ack")), 1);
    site.publish(t("echo", "event"), s(event(7, 3, "tamper", true)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !r.room->history().unacknowledged("echo").empty(); }, 5000));
    ASSERT_TRUE(r.room->acknowledge(r.room->history().unacknowledged("echo")[0].id, "Verdi", "gate checked"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !site.messages().empty(); }, 5000));
    const QJsonObject ack = QJsonDocument::fromJson(QByteArray::fromStdString(site.messages()[0].payload)).object();
    EXPECT_EQ(ack.value("v").toInt(), 1);
    EXPECT_EQ(ack.value("seq").toInt(), 7);
    EXPECT_EQ(ack.value("by").toString(), "Verdi");
    EXPECT_EQ(ack.value("note").toString(), "gate checked");
}

// A recording of about a minute: settings, then states with alarms and faults.
QString writeRecording(const QString& path) {
    const std::uint8_t block[9] = {0xFF, 0, 0, 0, 0, 0, 3, 5, 0};
    std::vector<testrec::Bytes> recs{testrec::startEnd(testrec::at(2026, 12, 8, 10, 0, 0)),
                                     testrec::settings(testrec::at(2026, 12, 8, 10, 0, 0), 0x41, block)};
    const hub::StateRecord steps[] = {
        {}, {0x01, 0, 0x02}, {0x01, 0x04, 0x02}, {0, 0, 0}, {0, 0, 0, 0, 0, 0x10}, {0, 0, 0x40, 0, 0, 0x10},
        {0x80, 0, 0, 0, 0, 0x02}, {0, 0x01, 0x02, 0, 0, 0x02},
    };
    int sec = 1;
    for (const auto& st : steps) recs.push_back(testrec::state(testrec::at(2026, 12, 8, 10, 0, sec++), st));
    testrec::writeFile(path, recs);
    return path;
}

TEST_F(RoomEndToEnd, ASiteKilledWithoutACleanStopShowsLost) {
    ASSERT_TRUE(startBroker());
    RoomUnderTest r(o, broker->port());
    QProcess site;
    site.start(testtool::hubdatPath(),
               {"publish", writeRecording(dir.filePath("site.dat")), "--uplink",
                QStringLiteral("mqtt://127.0.0.1:%1/foxtrot").arg(broker->port()), "--rate", "0.01",
                "--journal-dir", dir.path()});
    ASSERT_TRUE(site.waitForStarted());
    ASSERT_TRUE(QTest::qWaitFor([&] { return r.site("foxtrot") && r.site("foxtrot")->status == SiteStatus::Online; }, 5000));
    QElapsedTimer since;
    since.start();
    ::kill(static_cast<pid_t>(site.processId()), SIGKILL);
    site.waitForFinished(2000);
    // The broker's last will; keep-alive 10 s.
    ASSERT_TRUE(QTest::qWaitFor([&] { return r.site("foxtrot")->status == SiteStatus::Lost; }, 15000));
    std::printf("lost shown %lld ms after the kill\n", static_cast<long long>(since.elapsed()));
    RoomWindow w(*r.room, false);
    w.refreshNow();
    EXPECT_EQ(w.grid()->tiles()[0].status, SiteStatus::Lost);
}

TEST_F(RoomEndToEnd, TheArchiveOfAPublishedRecordingReplaysToTheRecordingsState) {
    ASSERT_TRUE(startBroker());
    o.archiveDir = dir.filePath("archive");
    {
        // The room has followed the site since its first event: the site's
        // reconnect hands over its latest state before its journal.
        History h;
        ASSERT_TRUE(h.open(o.historyPath));
        h.saveSite("golf", 0);
    }
    RoomUnderTest r(o, broker->port());
    const QString rec = writeRecording(dir.filePath("site.dat"));
    const auto pub = testtool::hubdat({"publish", rec, "--uplink", QStringLiteral("mqtt://127.0.0.1:%1/golf").arg(broker->port()),
                                       "--rate", "max", "--journal-dir", dir.path()});
    ASSERT_EQ(pub.code, 0) << pub.err.constData();
    const hub::StateRecord last{0, 0x01, 0x02, 0, 0, 0x02};
    ASSERT_TRUE(QTest::qWaitFor([&] {
        const Site* g = r.site("golf");
        return g && g->hasRecord && g->lastRecord.record == last && !g->hasGap();
    }, 5000));
    const QString archived = r.room->archive()->currentFile("golf");
    ASSERT_FALSE(archived.isEmpty());
    r.link->stop();
    r.room->closeArchive();
    const auto a = testtool::hubdat({"replay", archived, "--json"});
    const auto b = testtool::hubdat({"replay", rec, "--json"});
    ASSERT_EQ(a.code, 0);
    ASSERT_EQ(b.code, 0);
    QJsonObject ja = QJsonDocument::fromJson(a.out).object(), jb = QJsonDocument::fromJson(b.out).object();
    ASSERT_FALSE(jb.isEmpty());
    // The recording's first state record is all-clear: it makes no event, and
    // the site was not yet connected while it was the latest state, so no
    // message carries it and the archive holds one state record fewer. It
    // changes nothing on the display; every other member must match: LEDs,
    // rings, counters, heads, couples, the start time.
    EXPECT_EQ(ja.value("counter").toInt(), jb.value("counter").toInt() - 1);
    ja.remove("counter");
    jb.remove("counter");
    EXPECT_EQ(ja, jb) << a.out.constData() << "\n----\n" << b.out.constData();
    EXPECT_GT(jb.value("barriers").toArray()[0].toObject().value("leds").toArray()[0].toObject().value("count").toInt(), 0)
        << "the recording counts something";
}

// The broker as shipped (TLS, passwords, the ACL): the room logs in as a
// control-room user over mqtts and follows a site; a wrong password never
// gets it in.
TEST_F(RoomEndToEnd, OverTlsWithItsOwnPasswordToTheShippedBroker) {
    testroom::ControlRoom cr({{"add-site", "kilo", "kilo-pw"}, {"add-room", "desk", "desk-pw"}});
    ASSERT_TRUE(cr.failure.empty()) << cr.failure;
    {
        History h; // the room knows the site from its first event
        ASSERT_TRUE(h.open(o.historyPath));
        h.saveSite("kilo", 0);
    }
    Room room(o);
    ASSERT_TRUE(room.open());
    const QString tls = QString::number(cr.broker->tlsPort());
    const auto url = hub::MqttUrl::parse("mqtts://desk@127.0.0.1:" + tls);
    ASSERT_TRUE(url.has_value());
    const QString ca = cr.certs() + "/ca.crt";
    RoomLink link(room, roomMqttOptions(*url, "desk-pw", ca, "hubroom-tls"));
    link.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return link.connection().state() == hub::MqttConnection::State::Connected; }, 5000))
        << link.stateText().toStdString();
    QTest::qWait(100);

    QFile pw(dir.filePath("pw"));
    ASSERT_TRUE(pw.open(QIODevice::WriteOnly));
    pw.write("kilo-pw\n");
    pw.close();
    const auto pub = testtool::hubdat({"publish", writeRecording(dir.filePath("site.dat")), "--uplink",
                                       "mqtts://kilo@127.0.0.1:" + tls + "/kilo", "--uplink-password-file",
                                       dir.filePath("pw"), "--uplink-ca-file", ca, "--rate", "max",
                                       "--journal-dir", dir.path()});
    ASSERT_EQ(pub.code, 0) << pub.err.constData();
    ASSERT_TRUE(QTest::qWaitFor([&] {
        const Site* k = room.sites().site("kilo");
        return k && k->state && k->contiguous == k->state->seq && k->contiguous > 0;
    }, 5000));
    EXPECT_EQ(room.sites().site("kilo")->contiguous, 21u);
    EXPECT_FALSE(room.history().search({QStringLiteral("kilo"), 0, {}, {}, {}, 0}).empty());

    Room other(RoomOptions{});
    RoomLink wrong(other, roomMqttOptions(*url, "not-the-password", ca, "hubroom-wrong"));
    wrong.start();
    // The state is read across threads at once; its text comes queued: wait for both.
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return wrong.connection().state() == hub::MqttConnection::State::Waiting && wrong.stateText().contains("retrying");
    }, 5000)) << wrong.stateText().toStdString();
    EXPECT_TRUE(wrong.stateText().contains("authori", Qt::CaseInsensitive)) << wrong.stateText().toStdString();
    EXPECT_TRUE(other.sites().sites().empty());
    wrong.stop();
    link.stop();
}

} // namespace
