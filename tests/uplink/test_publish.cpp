// The uplink against a private broker: a recording published by hubdat
// arrives whole and in order; a site's stream survives the broker being
// killed; the usage and refusals of hubdat publish.
#include "broker.h"
#include "monitor/elementevents.h"
#include "recording.h"
#include "subscriber.h"
#include "toolrun.h"
#include "uplink/contract.h"
#include "uplink/siteuplink.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

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
    testsupport::BrokerOptions opts;
    opts.allowAnonymous = false;
    opts.users = {{"North", "right"}};
    testsupport::PrivateBroker broker(opts);
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
