// The shipped broker keeps what a control room relies on across a restart:
// the sites' retained status, and every event queued for a room that was
// closed, even more than Mosquitto's default queue (1000) would hold.
#include "controlroom.h"
#include "mqttclient.h"

#include <gtest/gtest.h>

using testmqtt::Client;
using testroom::ControlRoom;

namespace {

TEST(BrokerPersistence, ARoomsQueueAndTheRetainedStatusSurviveARestart) {
    ControlRoom room({{"add-site", "site-a", "pw-a"}, {"add-room", "room-1", "pw-r"}});
    ASSERT_TRUE(room.failure.empty()) << room.failure;
    testsupport::PrivateBroker& broker = *room.broker;
    {
        Client r("room-1-history", false);
        ASSERT_EQ(r.connect(broker.port(), "room-1", "pw-r"), 0) << r.reason();
        ASSERT_EQ(r.subscribe("hub/#"), 1);
    }
    constexpr int kEvents = 1500;
    {
        Client site;
        ASSERT_EQ(site.connect(broker.port(), "site-a", "pw-a"), 0) << site.reason();
        ASSERT_EQ(site.publish("hub/site-a/status", R"({"v":1,"state":"online"})", true), 0);
        for (int i = 1; i <= kEvents; ++i)
            ASSERT_EQ(site.publish("hub/site-a/event", std::to_string(i)), 0) << i;
    }
    broker.stop();
    ASSERT_TRUE(broker.restart()) << broker.error();

    Client r("room-1-history", false);
    ASSERT_EQ(r.connect(broker.port(), "room-1", "pw-r"), 0) << r.reason();
    EXPECT_TRUE(r.waitForPayload(std::to_string(kEvents)));
    std::vector<int> seen;
    for (const auto& m : r.messages())
        if (m.topic == "hub/site-a/event") seen.push_back(std::stoi(m.payload));
    ASSERT_EQ(seen.size(), std::size_t(kEvents));
    for (int i = 0; i < kEvents; ++i) ASSERT_EQ(seen[std::size_t(i)], i + 1);

    Client late;
    ASSERT_EQ(late.connect(broker.port(), "room-1", "pw-r"), 0);
    ASSERT_EQ(late.subscribe("hub/+/status"), 1);
    EXPECT_TRUE(late.waitFor([](const testmqtt::Message& m) {
        return m.topic == "hub/site-a/status" && m.retained && m.payload == R"({"v":1,"state":"online"})";
    }));
}

} // namespace
