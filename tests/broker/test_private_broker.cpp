// The private broker every MQTT test starts: it comes up on a port of its own,
// comes back on the same port with what it kept, and leaves nothing behind.
#include "broker.h"

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
