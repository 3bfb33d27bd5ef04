// The uplink's address and the reconnect pacing: what is accepted, what is
// refused and why, and how far apart the retries come.
#include "uplink/mqttconnection.h"
#include "uplink/mqtturl.h"

#include <gtest/gtest.h>

namespace {

struct UrlCase {
    const char* text;
    bool ok;
    bool tls;
    const char* user;
    const char* host;
    int port;
    const char* site;
    const char* errorPart; // for a refused URL: a word the reason must hold
};

class MqttUrlParse : public ::testing::TestWithParam<UrlCase> {};

TEST_P(MqttUrlParse, AcceptsOrRefusesWithAReason) {
    const UrlCase& c = GetParam();
    QString error;
    const auto url = hub::MqttUrl::parse(QString::fromUtf8(c.text), &error);
    ASSERT_EQ(url.has_value(), c.ok) << c.text << ": " << error.toStdString();
    if (!c.ok) {
        EXPECT_TRUE(error.contains(QString::fromUtf8(c.errorPart))) << c.text << ": " << error.toStdString();
        return;
    }
    EXPECT_EQ(url->tls, c.tls);
    EXPECT_EQ(url->user, QString::fromUtf8(c.user));
    EXPECT_EQ(url->host, QString::fromUtf8(c.host));
    EXPECT_EQ(url->port, c.port);
    EXPECT_EQ(url->site, QString::fromUtf8(c.site));
    // The text given back parses to the same address.
    const auto again = hub::MqttUrl::parse(url->toString());
    ASSERT_TRUE(again.has_value()) << url->toString().toStdString();
    EXPECT_EQ(again->toString(), url->toString());
    EXPECT_EQ(again->port, url->port);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MqttUrlParse,
    ::testing::Values(
        UrlCase{"mqtt://north@broker.example/North-1", true, false, "north", "broker.example", 1883, "North-1", ""},
        UrlCase{"mqtts://north@broker.example/North_1", true, true, "north", "broker.example", 8883, "North_1", ""},
        UrlCase{"mqtts://u@10.0.0.2:9000/s", true, true, "u", "10.0.0.2", 9000, "s", ""},
        UrlCase{"mqtt://127.0.0.1:1", true, false, "", "127.0.0.1", 1, "", ""},
        UrlCase{"mqtt://u@[::1]:18830/site", true, false, "u", "::1", 18830, "site", ""},
        UrlCase{"mqtt://u@[fe80::1]/a", true, false, "u", "fe80::1", 1883, "a", ""},
        UrlCase{"mqtt://h:65535", true, false, "", "h", 65535, "", ""},
        // A 64-character site name is the longest accepted.
        UrlCase{"mqtt://h/aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", true, false, "", "h", 1883,
                "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", ""},
        UrlCase{"mqtt://h/aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false, false, "", "", 0, "",
                "site"},
        UrlCase{"http://h/s", false, false, "", "", 0, "", "mqtt://"},
        UrlCase{"MQTT://h/s", false, false, "", "", 0, "", "mqtt://"},
        UrlCase{"mqtt://u:secret@h/s", false, false, "", "", 0, "", "password"},
        UrlCase{"mqtt://@h/s", false, false, "", "", 0, "", "user"},
        UrlCase{"mqtt://u@/s", false, false, "", "", 0, "", "host"},
        UrlCase{"mqtt://", false, false, "", "", 0, "", "host"},
        UrlCase{"mqtt://h:0/s", false, false, "", "", 0, "", "port"},
        UrlCase{"mqtt://h:65536/s", false, false, "", "", 0, "", "port"},
        UrlCase{"mqtt://h:+80/s", false, false, "", "", 0, "", "port"},
        UrlCase{"mqtt://h:/s", false, false, "", "", 0, "", "port"},
        UrlCase{"mqtt://h:x/s", false, false, "", "", 0, "", "port"},
        UrlCase{"mqtt://[::1/s", false, false, "", "", 0, "", "["},
        UrlCase{"mqtt://[host]/s", false, false, "", "", 0, "", "IPv6"},
        UrlCase{"mqtt://bad host/s", false, false, "", "", 0, "", "host"},
        // Wildcards, levels and empty names can never reach a topic.
        UrlCase{"mqtt://h/", false, false, "", "", 0, "", "site"},
        UrlCase{"mqtt://h/a/b", false, false, "", "", 0, "", "site"},
        UrlCase{"mqtt://h/a+", false, false, "", "", 0, "", "site"},
        UrlCase{"mqtt://h/#", false, false, "", "", 0, "", "site"},
        UrlCase{"mqtt://h/s\xc3\xa8", false, false, "", "", 0, "", "site"},
        UrlCase{"mqtt://h/a b", false, false, "", "", 0, "", "site"}));

struct DelayCase {
    int failures;
    double u;
    long long ms;
};

class ReconnectDelay : public ::testing::TestWithParam<DelayCase> {};

TEST_P(ReconnectDelay, DoublesFromOneSecondWithJitterUpToHalfAndNeverOverAMinute) {
    const DelayCase& c = GetParam();
    EXPECT_EQ(hub::MqttConnection::reconnectDelay(c.failures, c.u).count(), c.ms);
}

INSTANTIATE_TEST_SUITE_P(Cases, ReconnectDelay,
                         ::testing::Values(DelayCase{0, 0.0, 1000}, DelayCase{0, 0.999, 1499}, DelayCase{1, 0.0, 2000},
                                           DelayCase{2, 0.5, 5000}, DelayCase{5, 0.0, 32000},
                                           DelayCase{5, 0.999, 47984}, DelayCase{6, 0.0, 40000},
                                           DelayCase{6, 1.0, 60000}, DelayCase{40, 0.5, 50000},
                                           DelayCase{-3, 0.0, 1000}, DelayCase{1000000, 0.25, 45000}));

} // namespace
