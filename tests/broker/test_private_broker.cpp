// The private broker every MQTT test starts: it comes up on a port of its own,
// comes back on the same port with what it kept, and leaves nothing behind.
#include "broker.h"
#include "controlroom.h"
#include "mqttclient.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <fcntl.h>

using testsupport::BrokerOptions;
using testsupport::PrivateBroker;

namespace {

// Running, not a zombie waiting for whoever inherited it.
bool alive(pid_t pid) {
    if (pid <= 0 || ::kill(pid, 0) != 0) return false;
    const std::string stat = PrivateBroker::readFile("/proc/" + std::to_string(pid) + "/stat");
    const auto close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

} // namespace

TEST(PrivateBroker, TwoBrokersGetTheirOwnPortsAndFolders) {
    PrivateBroker a, b;
    ASSERT_TRUE(a.ok()) << a.error();
    ASSERT_TRUE(b.ok()) << b.error();
    EXPECT_NE(a.port(), b.port());
    EXPECT_NE(a.dir(), b.dir());
    EXPECT_NE(a.pid(), b.pid());
}

TEST(PrivateBroker, RestartsOnTheSamePortAfterStopAndKill) {
    BrokerOptions o;
    o.persistence = true;
    PrivateBroker broker(o);
    ASSERT_TRUE(broker.ok()) << broker.error();
    const int port = broker.port();
    const struct {
        const char* how;
        void (PrivateBroker::*end)();
    } ends[] = {{"stop", &PrivateBroker::stop}, {"kill", &PrivateBroker::kill}};
    for (const auto& e : ends) {
        SCOPED_TRACE(e.how);
        const pid_t before = broker.pid();
        (broker.*e.end)();
        EXPECT_FALSE(broker.running());
        EXPECT_FALSE(alive(before));
        ASSERT_TRUE(broker.restart()) << broker.error();
        EXPECT_TRUE(broker.running());
        EXPECT_EQ(broker.port(), port);
        EXPECT_NE(broker.pid(), before);
    }
    // A clean stop saved the database where the restart looks for it.
    EXPECT_TRUE(std::filesystem::exists(broker.dir() + "/mosquitto.db"));
}

TEST(PrivateBroker, LeavesNoProcessNorFolderBehind) {
    pid_t pid = -1;
    std::string dir;
    {
        PrivateBroker broker;
        ASSERT_TRUE(broker.ok()) << broker.error();
        pid = broker.pid();
        dir = broker.dir();
        EXPECT_TRUE(alive(pid));
    }
    EXPECT_FALSE(alive(pid));
    EXPECT_FALSE(std::filesystem::exists(dir));
}

TEST(PrivateBroker, ABadConfigurationFailsWithTheBrokersWords) {
    BrokerOptions o;
    o.extra = "no_such_option 1\n";
    PrivateBroker broker(o);
    EXPECT_FALSE(broker.ok());
    EXPECT_NE(broker.error().find("no_such_option"), std::string::npos) << broker.error();
    EXPECT_FALSE(broker.running());
}

// A test program that dies without its destructors takes its broker with it.
TEST(PrivateBroker, DiesWithTheProgramThatStartedIt) {
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0); // the broker must not hold it open
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(fds[0]);
        auto* broker = new PrivateBroker; // never deleted: the child dies abruptly
        const std::string msg = broker->ok() ? std::to_string(broker->pid()) + " " + broker->dir() : "0 -";
        (void)!::write(fds[1], msg.data(), msg.size());
        ::_exit(0);
    }
    ::close(fds[1]);
    char buf[4096] = {};
    std::size_t got = 0;
    for (ssize_t n; (n = ::read(fds[0], buf + got, sizeof buf - 1 - got)) > 0;) got += std::size_t(n);
    ::close(fds[0]);
    ::waitpid(child, nullptr, 0);
    std::istringstream in(buf);
    pid_t pid = 0;
    std::string dir;
    in >> pid >> dir;
    ASSERT_GT(pid, 0) << "the child's broker did not start";
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (alive(pid) && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(alive(pid));
    if (alive(pid)) ::kill(pid, SIGKILL);
    std::filesystem::remove_all(dir);
}

// The generated configuration's options, each seen from a client.
TEST(PrivateBroker, GeneratedOptionsHold) {
    QTemporaryDir certs;
    ASSERT_TRUE(testroom::makeCertificates(certs.path()));
    const std::string dir = certs.path().toStdString();
    BrokerOptions o = BrokerOptions::usersOnly({{"u1", "p1"}, {"u2", "p2 with spaces"}});
    o.acl = "user u1\ntopic readwrite t/u1/#\n\nuser u2\ntopic read t/#\n";
    o.tls = testsupport::BrokerTls{dir + "/ca.crt", dir + "/server.crt", dir + "/server.key"};
    PrivateBroker broker(o);
    ASSERT_TRUE(broker.ok()) << broker.error();
    ASSERT_GT(broker.tlsPort(), 0);
    EXPECT_NE(broker.tlsPort(), broker.port());
    const testmqtt::Tls tls{dir + "/ca.crt", ""};
    const struct {
        const char* what;
        bool overTls;
        std::string user, password;
        int connack;
        const char* topic; // published when in
        int puback;
    } rows[] = {
        {"user", false, "u1", "p1", 0, "t/u1/x", 0x10},
        {"user, outside its ACL", false, "u1", "p1", 0, "t/u2/x", 0x87},
        {"password with spaces", false, "u2", "p2 with spaces", 0, "t/u2/x", 0x87},
        {"wrong password", false, "u1", "p2", 0x87, nullptr, 0},
        {"anonymous", false, "", "", 0x87, nullptr, 0},
        {"user over TLS", true, "u1", "p1", 0, "t/u1/y", 0x10},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        testmqtt::Client c;
        ASSERT_EQ(c.connect(r.overTls ? broker.tlsPort() : broker.port(), r.user, r.password,
                            r.overTls ? &tls : nullptr),
                  r.connack)
            << c.reason();
        if (r.topic) {
            EXPECT_EQ(c.publish(r.topic, "x"), r.puback);
        }
    }
}

// With a save on every change, even a crash keeps what the broker had.
TEST(PrivateBroker, AutosaveKeepsRetainedMessagesThroughAKill) {
    BrokerOptions o;
    o.persistence = true;
    o.autosaveEveryChange = true;
    PrivateBroker broker(o);
    ASSERT_TRUE(broker.ok()) << broker.error();
    {
        testmqtt::Client c;
        ASSERT_EQ(c.connect(broker.port(), "", ""), 0) << c.reason();
        ASSERT_EQ(c.publish("kept", "retained", true), 0x10);
    }
    // The save follows the change in the broker's next loop turn.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (!std::filesystem::exists(broker.dir() + "/mosquitto.db") && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    broker.kill();
    ASSERT_TRUE(broker.restart()) << broker.error();
    testmqtt::Client c;
    ASSERT_EQ(c.connect(broker.port(), "", ""), 0) << c.reason();
    ASSERT_EQ(c.subscribe("kept"), 1);
    EXPECT_TRUE(c.waitForPayload("retained"));
}
