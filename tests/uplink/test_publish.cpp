// The uplink against a private broker: a recording published by hubdat
// arrives whole and in order; a site's stream survives the broker being
// killed; the usage and refusals of hubdat publish.
#include "../broker/controlroom.h"
#include "broker.h"
#include "filelimit.h"
#include "monitor/elementevents.h"
#include "recording.h"
#include "subscriber.h"
#include "toolrun.h"
#include "uplink/contract.h"
#include "uplink/mqttconnection.h"
#include "uplink/outbox.h"
#include "uplink/siteuplink.h"

#include <QAbstractEventDispatcher>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <set>

using namespace std::chrono_literals;

namespace {

struct Expected {
    int barrier, element;
    bool on;
};

// What the change list's rule makes of the records, from the all-clear state.
std::vector<Expected> expectedEvents(const std::vector<hub::StateRecord>& records) {
    std::vector<Expected> out;
    hub::StateRecord prev{};
    for (const auto& r : records) {
        hub::forEachElementChange(prev, r, [&](int b, int e, bool on) { out.push_back({b, e, on}); });
        prev = r;
    }
    return out;
}

std::vector<hub::UplinkEvent> events(const std::vector<testsupport::Received>& got) {
    std::vector<hub::UplinkEvent> out;
    for (const auto& m : got) {
        if (m.topic.size() < 6 || m.topic.compare(m.topic.size() - 6, 6, "/event") != 0) continue;
        const auto e = hub::parseEvent(QByteArray::fromStdString(m.payload));
        EXPECT_TRUE(e.has_value()) << m.payload;
        if (e) out.push_back(*e);
    }
    return out;
}

std::string field(const std::string& payload, const char* key) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(payload)).object().value(key).toVariant().toString().toStdString();
}

QString brokerUrl(int port, const QString& site, const QString& user = {}) {
    return QStringLiteral("mqtt://") + (user.isEmpty() ? QString() : user + "@") + QStringLiteral("127.0.0.1:") +
           QString::number(port) + QLatin1Char('/') + site;
}

// A recording whose couple A goes into alarm and out of it, again and again,
// with beam 3 of its first barrier cut every third record.
std::vector<hub::StateRecord> writeAlarmRecording(const QString& path, int records) {
    testrec::Recording r;
    const double t0 = testrec::at(2026, 12, 8, 3, 0, 0);
    const double ms = 1.0 / 86400000.0;
    r.startEnd(t0).settings(t0, hub::kHubKindSw);
    std::vector<hub::StateRecord> states;
    for (int i = 0; i < records; ++i) {
        const std::uint8_t beams = (i % 3 == 0) ? 0x04 : 0x00;
        const hub::StateRecord s = testrec::coupleRecord(0, beams, 0, (i % 2 == 0) ? 0x02 : 0x00);
        r.state(t0 + (i + 1) * 20 * ms, s);
        states.push_back(s);
    }
    r.startEnd(t0 + (records + 1) * 20 * ms);
    EXPECT_TRUE(r.save(path));
    return states;
}

TEST(UplinkPublish, ARecordingArrivesCompleteAndInOrder) {
    testsupport::PrivateBroker broker;
    ASSERT_TRUE(broker.ok()) << broker.error();
    QTemporaryDir dir;
    const auto states = writeAlarmRecording(dir.filePath("a.dat"), 40);
    const auto want = expectedEvents(states);
    ASSERT_GT(want.size(), 60u);

    testsupport::Subscriber room(broker.port(), {"hub/North/#"});
    ASSERT_TRUE(room.waitSubscribed());
    const auto run = testtool::hubdat({"publish", dir.filePath("a.dat"), "--uplink", brokerUrl(broker.port(), "North"),
                                       "--rate", "max", "--journal-dir", dir.filePath("j")});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();

    ASSERT_TRUE(room.waitFor([&](const auto& got) { return events(got).size() >= want.size(); }, 5s));
    const auto got = events(room.received());
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].seq, i + 1);
        EXPECT_EQ(got[i].barrier, want[i].barrier) << i;
        EXPECT_EQ(got[i].element, want[i].element) << i;
        EXPECT_EQ(got[i].on, want[i].on) << i;
    }
    // The recorded times, in UTC: the first state is 20 ms after 03:00 local.
    EXPECT_EQ(got.front().time.toUTC(),
              QDateTime(QDate(2026, 12, 8), QTime(3, 0, 0, 20)).toUTC());
    // The retained picture a late reader finds: settings, the last state, offline.
    ASSERT_TRUE(room.waitFor([](const auto& g) {
        return std::any_of(g.begin(), g.end(), [](const auto& m) { return m.topic == "hub/North/status" && m.payload.find("offline") != std::string::npos; });
    }, 3s));
    const auto settings = room.on("hub/North/settings");
    ASSERT_FALSE(settings.empty());
    EXPECT_EQ(field(settings.back().payload, "kind"), "64");
    EXPECT_EQ(field(settings.back().payload, "block"), "5A5A5A5A5A5A5A5A5A");
    const auto state = room.on("hub/North/state");
    ASSERT_FALSE(state.empty());
    EXPECT_EQ(field(state.back().payload, "seq"), std::to_string(want.size()));

    // A second run of the same site goes on numbering where the first stopped.
    testsupport::Subscriber again(broker.port(), {"hub/North/event"});
    ASSERT_TRUE(again.waitSubscribed());
    ASSERT_EQ(testtool::hubdat({"publish", dir.filePath("a.dat"), "--uplink", brokerUrl(broker.port(), "North"),
                                "--rate", "max", "--journal-dir", dir.filePath("j")}).code, 0);
    ASSERT_TRUE(again.waitFor([&](const auto& g) { return events(g).size() >= want.size(); }, 5s));
    EXPECT_EQ(events(again.received()).front().seq, want.size() + 1);
}

TEST(UplinkPublish, ManySitesEachArriveCompleteUnderTheirOwnNames) {
    testsupport::PrivateBroker broker;
    ASSERT_TRUE(broker.ok()) << broker.error();
    QTemporaryDir dir;
    const auto want = expectedEvents(writeAlarmRecording(dir.filePath("a.dat"), 10));
    testsupport::Subscriber room(broker.port(), {"hub/+/event"});
    ASSERT_TRUE(room.waitSubscribed());
    const auto run = testtool::hubdat({"publish", dir.filePath("a.dat"), "--uplink", brokerUrl(broker.port(), "S"),
                                       "--sites", "12", "--rate", "max", "--journal-dir", dir.filePath("j")});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    ASSERT_TRUE(room.waitFor([&](const auto& g) { return events(g).size() >= 12 * want.size(); }, 5s));
    std::map<std::string, std::vector<std::uint64_t>> bySite;
    for (const auto& m : room.received()) bySite[m.topic].push_back(std::stoull(field(m.payload, "seq")));
    ASSERT_EQ(bySite.size(), 12u);
    EXPECT_TRUE(bySite.count("hub/S-001/event"));
    EXPECT_TRUE(bySite.count("hub/S-012/event"));
    for (const auto& [topic, seqs] : bySite) {
        ASSERT_EQ(seqs.size(), want.size()) << topic;
        for (size_t i = 0; i < seqs.size(); ++i) EXPECT_EQ(seqs[i], i + 1) << topic;
    }
}

// A site's stream while the broker is killed (no clean shutdown) and started
// again three times: every event arrives, a duplicate only ever with its own
// seq and payload, none missing. What the broker confirmed and then lost
// with it is asked for again on "resend", as a control room does.
TEST(UplinkPublish, BrokerKilledThreeTimesDuringAStreamNothingMissing) {
    testsupport::BrokerOptions opts;
    opts.persistence = true;
    opts.autosaveEveryChange = true;
    testsupport::PrivateBroker broker(opts);
    ASSERT_TRUE(broker.ok()) << broker.error();
    QTemporaryDir dir;
    testsupport::Subscriber room(broker.port(), {"hub/North/event"}, "room-test");
    ASSERT_TRUE(room.waitSubscribed());

    hub::UplinkConfig c;
    c.url = *hub::MqttUrl::parse(brokerUrl(broker.port(), "North"));
    c.program = "test";
    c = hub::withJournalIn(c, dir.path());
    hub::SiteUplink site(c);
    QString error;
    ASSERT_TRUE(site.start(&error)) << error.toStdString();
    auto online = [&] { return site.status().connection == hub::UplinkStatus::Connection::Online; };
    ASSERT_TRUE(QTest::qWaitFor(online, 5000));

    // Beam 1 of barrier 1 cut and restored every 5 ms: one event a record.
    int n = 0;
    QTimer feed;
    QObject::connect(&feed, &QTimer::timeout, [&] {
        site.postState(testrec::coupleRecord(0, (n % 2 == 0) ? 0x01 : 0x00, 0, 0), QDateTime::currentDateTimeUtc());
        ++n;
    });
    site.postAcquisitionStarted("ttyS0", QDateTime::currentDateTimeUtc());
    feed.start(5);
    for (int k = 0; k < 3; ++k) {
        QTest::qWait(150);
        broker.kill();
        ASSERT_TRUE(broker.restart()) << broker.error();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !online(); }, 3000));
        ASSERT_TRUE(QTest::qWaitFor(online, 3000)) << site.status().detail.toStdString();
    }
    QTest::qWait(100);
    feed.stop();
    const std::uint64_t total = std::uint64_t(n);
    bool drained = false;
    QObject::connect(&site, &hub::SiteUplink::drained, [&](std::uint64_t last) {
        drained = true;
        EXPECT_EQ(last, total);
    });
    site.postDrain();
    ASSERT_TRUE(QTest::qWaitFor([&] { return drained; }, 5000));

    auto missing = [&] {
        std::set<std::uint64_t> have;
        for (const auto& e : events(room.received())) have.insert(e.seq);
        for (std::uint64_t s = 1; s <= total; ++s)
            if (!have.count(s)) return s;
        return std::uint64_t(0);
    };
    (void)QTest::qWaitFor([&] { return missing() == 0; }, 1500);
    if (const std::uint64_t from = missing()) {
        room.publish("hub/North/resend", "{\"v\":1,\"from\":" + std::to_string(from) + "}");
        EXPECT_TRUE(QTest::qWaitFor([&] { return missing() == 0; }, 5000));
    }
    EXPECT_EQ(missing(), 0u) << "of " << total;
    std::map<std::uint64_t, std::string> bySeq;
    for (const auto& m : room.received()) {
        const auto seq = std::stoull(field(m.payload, "seq"));
        const auto [it, fresh] = bySeq.emplace(seq, m.payload);
        if (!fresh) {
            EXPECT_EQ(it->second, m.payload) << "seq " << seq << " came twice, different";
        }
    }
    site.stop();
}

struct InProcessSite {
    hub::UplinkConfig c;
    std::unique_ptr<hub::SiteUplink> site;
    InProcessSite(int port, const QString& dir, QThread* thread = nullptr) {
        c.url = *hub::MqttUrl::parse(brokerUrl(port, "North"));
        c.program = "test";
        c = hub::withJournalIn(c, dir);
        site = std::make_unique<hub::SiteUplink>(c, thread);
    }
    bool online() const { return site->status().connection == hub::UplinkStatus::Connection::Online; }
    void alarm(bool on) {
        site->postState(testrec::coupleRecord(0, 0, 0, on ? 0x02 : 0x00), QDateTime::currentDateTimeUtc());
    }
};

// A private broker, a control room listening to North's events, and the site
// North running in this process: start() brings them up, the site online.
struct OnlineSite {
    testsupport::PrivateBroker broker;
    QTemporaryDir dir;
    testsupport::Subscriber room{broker.port(), {"hub/North/event"}};
    InProcessSite s{broker.port(), dir.path()};
    ::testing::AssertionResult start() {
        if (!broker.ok()) return ::testing::AssertionFailure() << broker.error();
        if (!room.waitSubscribed()) return ::testing::AssertionFailure() << "the room did not subscribe";
        QString error;
        if (!s.site->start(&error)) return ::testing::AssertionFailure() << error.toStdString();
        if (!QTest::qWaitFor([&] { return s.online(); }, 5000))
            return ::testing::AssertionFailure() << "the site did not come online";
        return ::testing::AssertionSuccess();
    }
};

// The control room's acknowledgements land in the log beside the journal, as
// received; a resend request publishes again from the number asked, confirmed
// events included.
TEST(UplinkPublish, AcknowledgementsAreLoggedAndResendPublishesAgainFromTheNumberAsked) {
    OnlineSite t;
    ASSERT_TRUE(t.start());
    QTemporaryDir& dir = t.dir;
    testsupport::Subscriber& room = t.room;
    InProcessSite& s = t.s;
    s.site->postAcquisitionStarted("ttyS0", QDateTime::currentDateTimeUtc());
    for (int i = 0; i < 3; ++i) s.alarm(i % 2 == 0); // 6 events: alarm on both barriers, off, on
    ASSERT_TRUE(room.waitFor([](const auto& g) { return events(g).size() >= 6; }, 3s));

    const std::string ack1 = R"({"v":1,"seq":2,"by":"anna","note":"gate A, wind","time":"2026-12-08T07:01:02.003Z"})";
    const std::string ack2 = R"({"v":1,"seq":5,"by":"bruno","note":"","time":"2026-12-08T07:01:09.000Z"})";
    room.publish("hub/North/ack", ack1);
    room.publish("hub/North/ack", "not json");
    room.publish("hub/North/ack", R"({"v":2,"seq":3})"); // a format this site does not know
    room.publish("hub/North/ack", ack2);
    room.publish("hub/North/resend", R"({"v":1,"from":4})");
    ASSERT_TRUE(room.waitFor([](const auto& g) { return events(g).size() >= 9; }, 3s));
    std::vector<std::uint64_t> seqs;
    for (const auto& e : events(room.received())) seqs.push_back(e.seq);
    EXPECT_EQ(seqs, (std::vector<std::uint64_t>{1, 2, 3, 4, 5, 6, 4, 5, 6}));
    s.site->stop();
    QFile log(dir.filePath("North.acks"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_EQ(log.readAll().toStdString(), ack1 + "\n" + ack2 + "\n");
}

// A full disk: the journal cannot take the events, the status says so (the
// window title, stderr), and the events still go out, numbered as ever.
TEST(UplinkPublish, AFullDiskIsReportedAndTheEventsStillGoOut) {
    OnlineSite t;
    ASSERT_TRUE(t.start());
    testsupport::Subscriber& room = t.room;
    InProcessSite& s = t.s;
    {
        testtool::FileSizeLimit full(16); // the journal holds its 8-byte header only
        s.site->postAcquisitionStarted("ttyS0", QDateTime::currentDateTimeUtc());
        s.alarm(true);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !s.site->status().journalError.isEmpty(); }, 3000));
        EXPECT_TRUE(s.site->status().journalError.contains("cannot write the outbox"))
            << s.site->status().journalError.toStdString();
        EXPECT_TRUE(s.site->status().text("North").contains("JOURNAL FAILING"));
        ASSERT_TRUE(room.waitFor([](const auto& g) { return events(g).size() >= 2; }, 3s));
    }
    // Space is back: the next event is journaled and the report clears.
    s.alarm(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.site->status().journalError.isEmpty(); }, 3000));
    ASSERT_TRUE(room.waitFor([](const auto& g) { return events(g).size() >= 4; }, 3s));
    std::vector<std::uint64_t> seqs;
    for (const auto& e : events(room.received())) seqs.push_back(e.seq);
    EXPECT_EQ(seqs, (std::vector<std::uint64_t>{1, 2, 3, 4}));
    s.site->stop();
}

// The control room's broker as shipped (TLS for sites, passwords, the ACL):
// a site over mqtts with the CA it is given arrives whole at a room user; with
// a CA that did not sign the broker's certificate it never connects, says
// why, and keeps its events.
TEST(UplinkPublish, OverTlsToTheShippedControlRoomBroker) {
    testroom::ControlRoom cr({{"add-site", "North", "north-pw"}, {"add-room", "desk", "desk-pw"}});
    ASSERT_TRUE(cr.failure.empty()) << cr.failure;
    QTemporaryDir dir;
    const auto want = expectedEvents(writeAlarmRecording(dir.filePath("a.dat"), 10));
    QFile pw(dir.filePath("pw"));
    ASSERT_TRUE(pw.open(QIODevice::WriteOnly));
    pw.write("north-pw\n");
    pw.close();
    testsupport::Subscriber room(cr.broker->port(), {"hub/North/event"}, {}, "desk", "desk-pw");
    ASSERT_TRUE(room.waitSubscribed());
    const QString url = "mqtts://North@127.0.0.1:" + QString::number(cr.broker->tlsPort()) + "/North";
    const QStringList common{"publish", dir.filePath("a.dat"), "--uplink", url, "--uplink-password-file",
                             dir.filePath("pw"), "--rate", "max", "--journal-dir", dir.filePath("j")};
    const auto run = testtool::hubdat(common + QStringList{"--uplink-ca-file", cr.certs() + "/ca.crt"});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    ASSERT_TRUE(room.waitFor([&](const auto& g) { return events(g).size() >= want.size(); }, 5s));
    EXPECT_EQ(events(room.received()).back().seq, want.size());

    QDir().mkpath(dir.filePath("other"));
    ASSERT_TRUE(testroom::makeCertificates(dir.filePath("other")));
    const auto refused = testtool::hubdat(common + QStringList{"--uplink-ca-file", dir.filePath("other/ca.crt"),
                                                               "--timeout", "2"});
    EXPECT_EQ(refused.code, 1);
    EXPECT_TRUE(refused.err.contains("TLS")) << refused.err.toStdString();
    EXPECT_TRUE(refused.err.contains("not confirmed")) << refused.err.toStdString();
}

// A site that writes under another site's name, with the shipped ACL: the
// broker drops its events, and the site must not count them as delivered.
// They stay in the journal, the status names the topic and the reason, and
// hubdat publish says so and ends with status 1.
TEST(UplinkPublish, EventsUnderAnotherSitesNameAreRefusedAndStayInTheJournal) {
    testroom::ControlRoom cr({{"add-site", "North", "north-pw"}, {"add-room", "desk", "desk-pw"}});
    ASSERT_TRUE(cr.failure.empty()) << cr.failure;
    testsupport::Subscriber room(cr.broker->port(), {"hub/#"}, {}, "desk", "desk-pw");
    ASSERT_TRUE(room.waitSubscribed());
    QTemporaryDir dir;

    hub::UplinkConfig c;
    c.url = *hub::MqttUrl::parse(brokerUrl(cr.broker->port(), "South", "North"));
    c.password = "north-pw";
    c.program = "test";
    c = hub::withJournalIn(c, dir.filePath("in-process"));
    QDir().mkpath(dir.filePath("in-process"));
    hub::SiteUplink site(c);
    QString error;
    ASSERT_TRUE(site.start(&error)) << error.toStdString();
    site.postAcquisitionStarted("ttyS0", QDateTime::currentDateTimeUtc());
    site.postState(testrec::coupleRecord(0, 0, 0, 0x02), QDateTime::currentDateTimeUtc()); // 2 events
    ASSERT_TRUE(QTest::qWaitFor([&] { return site.status().refused == 2; }, 5000))
        << site.status().refusal.toStdString();
    const hub::UplinkStatus st = site.status();
    EXPECT_EQ(st.connection, hub::UplinkStatus::Connection::Online);
    EXPECT_TRUE(st.refusal.contains("hub/South/event")) << st.refusal.toStdString();
    EXPECT_TRUE(st.refusal.contains("not authorised")) << st.refusal.toStdString();
    EXPECT_EQ(st.unconfirmed, 2u);
    EXPECT_TRUE(st.text("South").contains("2 REFUSED BY THE BROKER")) << st.text("South").toStdString();
    site.stop();
    QFile f(c.journalPath);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const hub::OutboxContents left = hub::readOutbox(f.readAll());
    ASSERT_EQ(left.unconfirmed.size(), 2u);
    EXPECT_EQ(left.unconfirmed.front().seq, 1u);

    writeAlarmRecording(dir.filePath("a.dat"), 4);
    QFile pw(dir.filePath("pw"));
    ASSERT_TRUE(pw.open(QIODevice::WriteOnly));
    pw.write("north-pw\n");
    pw.close();
    const auto run = testtool::hubdat({"publish", dir.filePath("a.dat"), "--uplink",
                                       brokerUrl(cr.broker->port(), "South", "North"), "--uplink-password-file",
                                       dir.filePath("pw"), "--rate", "max", "--journal-dir", dir.filePath("j"),
                                       "--timeout", "10"});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(run.err.contains("the broker refused hub/South/")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("not authorised")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("not confirmed")) << run.err.toStdString();
    // Nothing under South reached the room.
    for (const auto& m : room.received()) EXPECT_NE(m.topic.rfind("hub/South/", 0), 0u) << m.topic;
}

// Refused events go out again at the reconnect pace, not in a loop: the
// broker sees them once, then again after a second or so, and not more.
TEST(UplinkPublish, RefusedEventsAreSentAgainAtTheReconnectPaceNotInALoop) {
    auto opts = testsupport::BrokerOptions::usersOnly({{"North", "pw"}});
    opts.acl = "user North\ntopic write hub/North/#\n";
    opts.verbose = true;
    testsupport::PrivateBroker broker(opts);
    ASSERT_TRUE(broker.ok()) << broker.error();
    QTemporaryDir dir;
    hub::UplinkConfig c;
    c.url = *hub::MqttUrl::parse(brokerUrl(broker.port(), "South", "North"));
    c.password = "pw";
    c.program = "test";
    c = hub::withJournalIn(c, dir.path());
    hub::SiteUplink site(c);
    QString error;
    ASSERT_TRUE(site.start(&error)) << error.toStdString();
    auto denied = [&] {
        const std::string log = broker.log();
        std::size_t n = 0;
        for (std::size_t at = log.find("Denied PUBLISH"); at != std::string::npos; at = log.find("Denied PUBLISH", at + 1))
            if (log.compare(log.find('\'', at) + 1, 15, "hub/South/event") == 0) ++n;
        return n;
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return site.status().connection == hub::UplinkStatus::Connection::Online; }, 5000));
    site.postAcquisitionStarted("ttyS0", QDateTime::currentDateTimeUtc());
    site.postState(testrec::coupleRecord(0, 0, 0, 0x02), QDateTime::currentDateTimeUtc()); // 2 events
    ASSERT_TRUE(QTest::qWaitFor([&] { return site.status().refused == 2; }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return denied() >= 4; }, 3000)) << denied();
    QTest::qWait(300);
    EXPECT_LE(denied(), 6u);
    EXPECT_EQ(site.status().refused, 2u);
    site.stop();
}

// A connection that asks the broker to keep its session (a control room)
// gets, when it comes back, the QoS 1 messages published while it was away;
// one with a clean session does not.
TEST(UplinkPublish, AKeptSessionGetsWhatWasPublishedWhileItWasAway) {
    testsupport::PrivateBroker broker;
    ASSERT_TRUE(broker.ok()) << broker.error();
    auto options = [&](bool clean, const QString& id) {
        hub::MqttOptions o;
        o.url = *hub::MqttUrl::parse(brokerUrl(broker.port(), "room"));
        o.clientId = id;
        o.cleanSession = clean;
        return o;
    };
    // Publishes one QoS 1 message and waits for the broker's confirmation.
    auto publish = [&](const QString& topic, const QByteArray& payload) {
        hub::MqttConnection p(options(true, "publisher"));
        p.start();
        bool done = false;
        QObject::connect(&p, &hub::MqttConnection::connected, [&] { p.publish(topic, payload, 1); });
        QObject::connect(&p, &hub::MqttConnection::delivered, [&](quint64) { done = true; });
        const bool ok = QTest::qWaitFor([&] { return done; }, 5000);
        p.stop();
        return ok;
    };
    for (const bool clean : {false, true}) {
        SCOPED_TRACE(clean ? "clean session" : "kept session");
        const QString topic = clean ? "hub/A/event" : "hub/B/event";
        {
            hub::MqttConnection first(options(clean, "room"));
            std::vector<QByteArray> got;
            QObject::connect(&first, &hub::MqttConnection::messageReceived,
                             [&](const QString&, const QByteArray& p, bool) { got.push_back(p); });
            first.subscribe(topic, 1);
            first.start();
            // Subscribed once a message published after it comes in.
            ASSERT_TRUE(QTest::qWaitFor([&] { return first.state() == hub::MqttConnection::State::Connected; }, 5000));
            ASSERT_TRUE(publish(topic, "probe"));
            ASSERT_TRUE(QTest::qWaitFor([&] { return !got.empty(); }, 3000));
            first.stop();
        }
        ASSERT_TRUE(publish(topic, "while away"));
        hub::MqttConnection again(options(clean, "room"));
        std::vector<QByteArray> got;
        QObject::connect(&again, &hub::MqttConnection::messageReceived,
                         [&](const QString&, const QByteArray& p, bool) { got.push_back(p); });
        again.start();
        const bool arrived = QTest::qWaitFor([&] { return !got.empty(); }, clean ? 800 : 5000);
        EXPECT_EQ(arrived, !clean);
        if (arrived) {
            EXPECT_EQ(got.front().toStdString(), "while away");
        }
        again.stop();
    }
}

// A connection driven by the thread that listens to it (an uplink sharing
// its thread) hears of its PUBACKs in bunches: every token once, in order;
// and a listener may delete the connection from such a slot.
TEST(UplinkPublish, AConnectionOnItsListenersThreadConfirmsInOrderAndMayBeDeletedFromASlot) {
    testsupport::PrivateBroker broker;
    ASSERT_TRUE(broker.ok()) << broker.error();
    hub::MqttOptions o;
    o.url = *hub::MqttUrl::parse(brokerUrl(broker.port(), "North"));
    for (const bool deleteInSlot : {false, true}) {
        SCOPED_TRACE(deleteInSlot ? "deleted in a slot" : "kept");
        auto* c = new hub::MqttConnection(o, QThread::currentThread());
        std::vector<quint64> sent, delivered;
        bool gone = false;
        QObject::connect(c, &hub::MqttConnection::connected, [&] {
            for (int i = 0; i < 50; ++i) sent.push_back(c->publish("hub/North/event", QByteArray::number(i), 1));
        });
        QObject::connect(c, &hub::MqttConnection::delivered, [&](quint64 t) {
            delivered.push_back(t);
            if (deleteInSlot && delivered.size() == 10) {
                delete c;
                gone = true;
            }
        });
        c->start();
        if (deleteInSlot) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return gone; }, 5000));
            QTest::qWait(50); // whatever was still queued for the dead connection goes nowhere
            EXPECT_EQ(delivered.size(), 10u);
        } else {
            ASSERT_TRUE(QTest::qWaitFor([&] { return delivered.size() >= 50; }, 5000));
            EXPECT_EQ(delivered, sent);
            delete c;
        }
    }
}

// A live stream wakes the uplink's thread about once a record: the
// confirmations read before each publish are acted on in the same pass, and
// the once-a-second timers share one wake-up (a pass costs tens of
// microseconds here, several times what an event costs).
TEST(UplinkPublish, AStreamWakesTheUplinksThreadAboutOnceARecord) {
    testsupport::PrivateBroker broker;
    ASSERT_TRUE(broker.ok()) << broker.error();
    QTemporaryDir dir;
    // Ended however the test ends: a QThread destroyed while running aborts the whole run.
    struct StartedThread : QThread {
        StartedThread() { start(); }
        ~StartedThread() override {
            quit();
            wait();
        }
    } thread;
    InProcessSite s(broker.port(), dir.path(), &thread);
    QString error;
    ASSERT_TRUE(s.site->start(&error)) << error.toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.online(); }, 5000));
    std::atomic<int> passes{0};
    QObject::connect(QAbstractEventDispatcher::instance(&thread), &QAbstractEventDispatcher::awake, s.site.get(),
                     [&] { ++passes; }, Qt::DirectConnection);
    constexpr int kRecords = 40; // 60 ms apart: an event each, "state" every fourth or so
    for (int i = 0; i < kRecords; ++i) {
        s.alarm(i % 2 == 0);
        QTest::qWait(60);
    }
    const int during = passes;
    std::uint64_t drained = 0;
    QObject::connect(s.site.get(), &hub::SiteUplink::drained, [&](std::uint64_t last) { drained = last; });
    s.site->postDrain();
    EXPECT_TRUE(QTest::qWaitFor([&] { return drained == 2 * kRecords; }, 5000)) << drained;
    // The old way: a pass for the record, one for its confirmations, one for each timer.
    EXPECT_LT(during, kRecords * 3 / 2) << during << " passes for " << kRecords << " records";
    s.site->stop();
}

// hubdat publish's own checks, before any broker is reached.
struct UsageCase {
    const char* name;
    std::vector<const char*> args; // after "publish FILE"
    const char* says;
};

class PublishUsage : public ::testing::TestWithParam<UsageCase> {};

TEST_P(PublishUsage, RefusedWithStatus2AndAReason) {
    const UsageCase& c = GetParam();
    QTemporaryDir dir;
    writeAlarmRecording(dir.filePath("a.dat"), 2);
    QStringList args{"publish", dir.filePath("a.dat")};
    for (const char* a : c.args) args << QString::fromUtf8(a);
    const auto run = testtool::hubdat(args);
    EXPECT_EQ(run.code, 2) << c.name;
    EXPECT_TRUE(run.err.contains(c.says)) << c.name << ": " << run.err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PublishUsage,
    ::testing::Values(
        UsageCase{"no_uplink", {}, "--uplink URL is required"},
        UsageCase{"password_in_url", {"--uplink", "mqtt://u:pw@127.0.0.1:1/S"}, "password does not belong"},
        UsageCase{"no_site", {"--uplink", "mqtt://127.0.0.1:1"}, "no site"},
        UsageCase{"bad_site", {"--uplink", "mqtt://127.0.0.1:1", "--site", "a/b"}, "bad site name"},
        UsageCase{"zero_sites", {"--uplink", "mqtt://127.0.0.1:1/S", "--sites", "0"}, "--sites"},
        UsageCase{"negative_rate", {"--uplink", "mqtt://127.0.0.1:1/S", "--rate", "-1"}, "--rate"},
        UsageCase{"rate_word", {"--uplink", "mqtt://127.0.0.1:1/S", "--rate", "fast"}, "--rate"},
        UsageCase{"missing_password_file", {"--uplink", "mqtt://u@127.0.0.1:1/S", "--uplink-password-file", "/nonexistent/pw"}, "password file"},
        UsageCase{"unknown_option", {"--uplink", "mqtt://127.0.0.1:1/S", "--frobnicate"}, "unexpected argument"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UplinkPublish, AWrongPasswordIsRefusedWithAClearMessageAndExit1) {
    testsupport::PrivateBroker broker(testsupport::BrokerOptions::usersOnly({{"North", "right"}}));
    ASSERT_TRUE(broker.ok()) << broker.error();
    QTemporaryDir dir;
    writeAlarmRecording(dir.filePath("a.dat"), 4);
    QFile pw(dir.filePath("pw"));
    ASSERT_TRUE(pw.open(QIODevice::WriteOnly));
    pw.write("wrong\n");
    pw.close();
    const auto run = testtool::hubdat({"publish", dir.filePath("a.dat"), "--uplink",
                                       brokerUrl(broker.port(), "North", "North"), "--uplink-password-file",
                                       dir.filePath("pw"), "--rate", "max", "--journal-dir", dir.filePath("j")});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(run.err.contains("refused the connection")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("not authorised") || run.err.contains("bad user name or password"))
        << run.err.toStdString();
    // Nothing is lost: the events wait in the journal for the next attempt.
    EXPECT_TRUE(run.err.contains("not confirmed")) << run.err.toStdString();
}

} // namespace
