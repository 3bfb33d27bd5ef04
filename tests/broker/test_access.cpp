// Who may do what on the control room's broker as shipped: sites only under
// their own name, control rooms everything but speaking for a site, nobody
// without the right password, nobody on the TLS port without our CA.
#include "controlroom.h"
#include "mqttclient.h"

#include <gtest/gtest.h>

using testmqtt::Client;
using testroom::ControlRoom;

namespace {

constexpr int kAccepted = 0;
constexpr int kNoSubscribers = 0x10; // accepted, and nobody reads it
constexpr int kNotAuthorised = 0x87;

bool accepted(int rc) { return rc == kAccepted || rc == kNoSubscribers; }

const std::vector<std::array<QString, 3>> kUsers{
    {"add-site", "site-a", "pw-a"},
    {"add-site", "site-b", "pw-b"},
    {"add-room", "room-1", "pw-room-1"},
    {"add-room", "room-2", "pw-room-2"},
};

std::string password(const std::string& user) {
    for (const auto& u : kUsers)
        if (u[1].toStdString() == user) return u[2].toStdString();
    return {};
}

class BrokerAccess : public ::testing::Test {
protected:
    static void SetUpTestSuite() { room_ = new ControlRoom(kUsers); }
    static void TearDownTestSuite() {
        delete room_;
        room_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(room_->failure.empty()) << room_->failure; }

    static int port() { return room_->broker->port(); }
    static int tlsPort() { return room_->broker->tlsPort(); }
    static std::string ca() { return (room_->certs() + "/ca.crt").toStdString(); }

    // A client logged in as user, or a failed assertion.
    static std::unique_ptr<Client> login(const std::string& user) {
        auto c = std::make_unique<Client>();
        const int rc = c->connect(port(), user, password(user));
        EXPECT_EQ(rc, kAccepted) << user << ": " << c->reason();
        return c;
    }

    static ControlRoom* room_;
};
ControlRoom* BrokerAccess::room_ = nullptr;

// Each row publishes once at QoS 1 and checks both the broker's answer and
// whether a control room subscribed to everything got it. The room's watcher
// then gets a marker from an allowed publisher: once the marker is there, a
// refused message that had got through would be there too.
TEST_F(BrokerAccess, EachUserPublishesOnlyWhereItMay) {
    const struct {
        const char* user;
        const char* topic;
        bool allowed;
    } rows[] = {
        {"site-a", "hub/site-a/event", true},
        {"site-a", "hub/site-a/status", true},
        {"site-a", "hub/site-a/state", true},
        {"site-a", "hub/site-b/event", false},  // speaking for another site
        {"site-a", "hub/site-b/status", false},
        {"site-a", "hub/site-b/ack", false},    // acknowledging for the room
        {"site-a", "hub/room-1/event", false},
        {"site-a", "elsewhere/site-a/event", false},
        {"room-1", "hub/site-a/ack", true},
        {"room-1", "hub/site-b/resend", true},
        {"room-1", "hub/site-a/event", false},  // a room never fakes a site's events
        {"room-1", "hub/site-a/state", false},
        {"room-1", "hub/site-a/status", false},
        {"room-1", "hub/room-1/event", false},  // nor under its own name, as the site rules would allow
        {"room-1", "hub/room-1/ack", false},
    };
    auto watcher = login("room-2");
    ASSERT_EQ(watcher->subscribe("hub/#"), 1);
    ASSERT_EQ(watcher->subscribe("elsewhere/#"), 1);
    auto marker = login("room-2");
    int n = 0;
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.user) + " -> " + r.topic);
        auto c = login(r.user);
        const std::string payload = "row " + std::to_string(++n);
        EXPECT_EQ(c->publish(r.topic, payload), r.allowed ? kAccepted : kNotAuthorised);
        const std::string mark = "marker " + std::to_string(n);
        ASSERT_EQ(marker->publish("hub/site-a/ack", mark), kAccepted);
        ASSERT_TRUE(watcher->waitForPayload(mark));
        EXPECT_EQ(watcher->received(payload), r.allowed);
    }
}

// Each row subscribes a reader, has a writer publish, and sees whether the
// reader got it. A marker on the reader's own ack topic (which every reader
// may read) bounds the wait.
TEST_F(BrokerAccess, EachUserReadsOnlyWhatIsMeantForIt) {
    const struct {
        const char* reader;
        const char* filter;
        const char* writer;
        const char* topic;
        bool arrives;
    } rows[] = {
        {"site-a", "hub/site-a/ack", "room-1", "hub/site-a/ack", true},
        {"site-a", "hub/site-a/resend", "room-1", "hub/site-a/resend", true},
        {"site-a", "hub/site-a/+", "room-1", "hub/site-a/resend", true},
        {"site-b", "hub/site-a/ack", "room-1", "hub/site-a/ack", false},   // another site's ack
        {"site-b", "hub/+/ack", "room-1", "hub/site-a/ack", false},
        {"site-b", "hub/#", "site-a", "hub/site-a/event", false},          // another site's events
        {"site-a", "hub/site-a/#", "site-a", "hub/site-a/event", false},   // its own, back
        {"room-1", "hub/#", "site-a", "hub/site-a/event", true},
        {"room-1", "hub/+/status", "site-b", "hub/site-b/status", true},
        {"room-1", "hub/#", "room-2", "hub/site-b/ack", true},
    };
    auto marker = login("room-2");
    int n = 0;
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.reader) + " reads " + r.filter + " <- " + r.writer + " " + r.topic);
        auto reader = login(r.reader);
        const int granted = reader->subscribe(r.filter);
        EXPECT_TRUE(granted == 1 || granted >= 0x80) << granted;
        // Rooms may not read under their own name.
        const std::string ownAck = std::string(r.reader).starts_with("site-") ? std::string("hub/") + r.reader + "/ack"
                                                                            : std::string("hub/site-a/resend");
        ASSERT_EQ(reader->subscribe(ownAck), 1);
        auto writer = login(r.writer);
        const std::string payload = "read row " + std::to_string(++n);
        ASSERT_TRUE(accepted(writer->publish(r.topic, payload)));
        const std::string mark = "read marker " + std::to_string(n);
        ASSERT_EQ(marker->publish(ownAck, mark), kAccepted);
        ASSERT_TRUE(reader->waitForPayload(mark));
        EXPECT_EQ(reader->received(payload), r.arrives);
    }
}

// Logging in: the broker's answer, as the client reports it.
TEST_F(BrokerAccess, OnlyKnownUsersWithTheirPasswordGetIn) {
    const struct {
        const char* what;
        std::string user, password;
        int connack;
    } rows[] = {
        {"site", "site-a", "pw-a", kAccepted},
        {"room", "room-1", "pw-room-1", kAccepted},
        {"wrong password", "site-a", "pw-b", kNotAuthorised},
        {"another user's password", "room-1", "pw-room-2", kNotAuthorised},
        {"empty password", "site-a", "", kNotAuthorised},
        {"unknown user", "site-z", "pw-a", kNotAuthorised},
        {"anonymous", "", "", kNotAuthorised},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        Client c;
        EXPECT_EQ(c.connect(port(), r.user, r.password), r.connack);
        if (r.connack != kAccepted) {
            EXPECT_EQ(c.reason(), "Not authorized");
        }
    }
}

// The TLS listener: only clients that trust our CA (and then log in) get in.
TEST_F(BrokerAccess, TheTlsListenerWantsOurCaAndAPassword) {
    QTemporaryDir other;
    ASSERT_TRUE(testroom::makeCertificates(other.path(), "other-"));
    const std::string otherCa = (other.path() + "/other-ca.crt").toStdString();
    const struct {
        const char* what;
        std::optional<testmqtt::Tls> tls;
        std::string password;
        bool in;
        std::string reason;
    } rows[] = {
        {"our CA", testmqtt::Tls{ca(), ""}, "pw-a", true, "Success"},
        {"our CA, wrong password", testmqtt::Tls{ca(), ""}, "nope", false, "Not authorized"},
        {"the system's CAs only", testmqtt::Tls{"", "/etc/ssl/certs"}, "pw-a", false, "A TLS error occurred."},
        {"another CA", testmqtt::Tls{otherCa, ""}, "pw-a", false, "A TLS error occurred."},
        {"no TLS at all", std::nullopt, "pw-a", false,
         "disconnected before the broker answered: The connection was lost."},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        Client c;
        const int rc = c.connect(tlsPort(), "site-a", r.password, r.tls ? &*r.tls : nullptr);
        EXPECT_EQ(rc == kAccepted, r.in) << rc << " " << c.reason();
        if (r.in) {
            EXPECT_TRUE(accepted(c.publish("hub/site-a/event", "over TLS")));
        }
        EXPECT_EQ(c.reason(), r.reason);
    }
}

} // namespace
