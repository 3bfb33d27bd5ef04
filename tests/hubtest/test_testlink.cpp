// The test link on a scripted hub: bytes on the line, deadlines, picture state.
#include "fakehub.h"

#include <gtest/gtest.h>

using namespace hubtest_fake;
using hub::TestLink;
using hub::TestOutput;
using hub::ToggleResult;
using Bytes = std::vector<std::uint8_t>;

namespace {

struct Rig {
    FakeClock clock;
    FakePort port{clock};
    TestLink link{port, clock};
    QStringList messages;
    std::vector<std::chrono::milliseconds> messageTimes;
    Rig() {
        link.Conferma = [this](const QString& m) {
            messages << m;
            messageTimes.push_back(clock.elapsed());
        };
        port.open(QStringLiteral("ttyS0"));
    }
};

} // namespace

TEST(TestLink, VersionByteGivesVersionText) {
    struct Case {
        std::uint8_t v;
        const char* text;
    } cases[] = {{0x85, "Vers. HUB: 5"},      {0x05, "Vers. HUB TC: 5"},
                 {0x80, "Vers. HUB: 0"},      {0xFF, "Vers. HUB: 127"},
                 {0x7F, "Vers. HUB TC: 127"}, {0x00, "Vers. HUB TC: 0"}};
    for (const Case& c : cases) {
        Rig r;
        r.port.acceptConnection(c.v);
        EXPECT_TRUE(r.link.connectHub());
        EXPECT_EQ(r.link.picture().version, QLatin1String(c.text)) << int(c.v);
        EXPECT_TRUE(r.link.picture().connectedLook);
    }
}

TEST(TestLink, AcceptedConnectionRunsStandByThenBarTest) {
    Rig r;
    r.port.reply(0x46, {0x85, 0x21});
    r.port.reply(0x51, {0x02, 0x21});
    r.port.reply(0x50, {0x03, 0x21});
    ASSERT_TRUE(r.link.connectHub());
    EXPECT_EQ(r.port.written, (Bytes{0x46, 0x51, 0x50}));
    EXPECT_TRUE(r.link.picture().standByActive[1]);
    EXPECT_FALSE(r.link.picture().barrierVisible[2]);
    EXPECT_TRUE(r.messages.isEmpty());
}

TEST(TestLink, RefusedStatusKeepsPortOpenWithDisconnectedLook) {
    for (std::uint8_t status : {0x22, 0x00, 0x46}) {
        Rig r;
        r.port.reply(0x46, {0x05, status});
        EXPECT_FALSE(r.link.connectHub());
        EXPECT_EQ(r.link.picture().version, QStringLiteral("Vers. HUB TC: 5"));
        EXPECT_FALSE(r.link.picture().connectedLook);
        EXPECT_TRUE(r.port.connected()) << "the next Connect press closes it";
        EXPECT_EQ(r.port.written, Bytes{0x46}) << "no tests on a refused connection";
        EXPECT_TRUE(r.messages.isEmpty());
        // Disconnect without message: 0x47, purge, close.
        r.port.reply(0x47, {0x21});
        r.link.FermaRic(false);
        EXPECT_EQ(r.port.written, (Bytes{0x46, 0x47}));
        EXPECT_FALSE(r.port.connected());
        EXPECT_EQ(r.port.purgesIn, 1);
        EXPECT_EQ(r.port.purgesOut, 1);
        EXPECT_TRUE(r.messages.isEmpty());
    }
}

TEST(TestLink, SilentHubEndsWithOneMessageAfterUnansweredEndCommand) {
    Rig r;
    EXPECT_FALSE(r.link.connectHub());
    EXPECT_EQ(r.port.written, (Bytes{0x46, 0x47})) << "end command sent once, never repeated";
    EXPECT_EQ(r.port.writeTimes[1], 4320ms);
    ASSERT_EQ(r.messages.size(), 1);
    EXPECT_EQ(r.messages[0], QStringLiteral("Comunication FAILED ... reconnect !"));
    EXPECT_EQ(r.messageTimes[0], 8640ms);
    EXPECT_FALSE(r.port.connected());
    EXPECT_FALSE(r.link.picture().connectedLook);
    EXPECT_EQ(r.link.picture().version, QStringLiteral("Vers. HUB:"));
    // Waiting sleeps on the line, it does not spin: a handful of reads in 8.64 s.
    EXPECT_LE(r.port.reads, 6);
}

TEST(TestLink, ReplyDeadlineIsExclusive) {
    // A byte that is there only when the deadline is reached counts as late.
    struct Case {
        std::chrono::milliseconds delay;
        bool ok;
    } cases[] = {{0ms, true}, {4319ms, true}, {4320ms, false}, {6000ms, false}};
    for (const Case& c : cases) {
        Rig r;
        r.port.reply(0x48, {0x21}, c.delay);
        r.port.reply(0x47, {0x21});
        const ToggleResult res = r.link.toggleOutput(TestOutput::All);
        EXPECT_EQ(res != ToggleResult::Failed, c.ok) << c.delay.count();
        EXPECT_EQ(r.port.connected(), c.ok);
        EXPECT_EQ(r.messages.size(), c.ok ? 0 : 1);
        EXPECT_EQ(r.link.picture().outputActive[0], c.ok) << "a late reply colours nothing";
    }
}

TEST(TestLink, EachReplyByteHasItsOwnDeadline) {
    // The status byte's wait starts when the version byte arrived, not at the command.
    struct Case {
        std::chrono::milliseconds gap;
        bool ok;
    } cases[] = {{4319ms, true}, {4321ms, false}};
    for (const Case& c : cases) {
        Rig r;
        r.port.reply(0x46, {0x85, 0x22}, 4000ms, c.gap);
        r.port.reply(0x47, {0x21});
        r.link.connectHub();
        EXPECT_EQ(r.messages.size(), c.ok ? 0 : 1) << c.gap.count();
        EXPECT_EQ(r.port.connected(), c.ok) << "refused but open, or ended" << c.gap.count();
    }
}

TEST(TestLink, EveryOutputSendsItsCommandAndFollowsTheHub) {
    for (int i = 0; i < hub::OutputCount; ++i) {
        Rig r;
        const auto cmd = static_cast<std::uint8_t>(0x48 + i);
        r.port.reply(cmd, {0x21});
        r.port.reply(cmd, {0x22});
        r.port.reply(cmd, {0x21});
        const auto k = static_cast<TestOutput>(i);
        EXPECT_EQ(r.link.toggleOutput(k), ToggleResult::Active);
        EXPECT_TRUE(r.link.picture().outputActive[i]);
        EXPECT_EQ(r.link.toggleOutput(k), ToggleResult::Inactive);
        EXPECT_FALSE(r.link.picture().outputActive[i]);
        EXPECT_EQ(r.link.toggleOutput(k), ToggleResult::Active);
        EXPECT_EQ(r.port.written, (Bytes{cmd, cmd, cmd}));
        for (int j = 0; j < hub::OutputCount; ++j) {
            if (j == i) continue;
            EXPECT_FALSE(r.link.picture().outputActive[j]) << i << "," << j;
        }
    }
}

TEST(TestLink, UnexpectedOutputReplyEndsConnectionWithoutRecolouring) {
    for (std::uint8_t bad : {0x00, 0x20, 0x23, 0xFF}) {
        Rig r;
        r.port.reply(0x4D, {0x21});
        r.port.reply(0x4D, {bad});
        r.port.reply(0x47, {0x21});
        ASSERT_EQ(r.link.toggleOutput(TestOutput::Tam), ToggleResult::Active);
        EXPECT_EQ(r.link.toggleOutput(TestOutput::Tam), ToggleResult::Failed);
        EXPECT_TRUE(r.link.picture().outputActive[5]) << "keeps the last state";
        EXPECT_EQ(r.port.written, (Bytes{0x4D, 0x4D, 0x47}));
        EXPECT_EQ(r.messages.size(), 1);
        EXPECT_FALSE(r.port.connected());
    }
}

TEST(TestLink, HubSilentDuringEndCommandGivesOneMessage) {
    Rig r;
    r.port.reply(0x4F, {0x99}); // wrong reply, and no answer to the end command
    EXPECT_EQ(r.link.toggleOutput(TestOutput::Fai), ToggleResult::Failed);
    EXPECT_EQ(r.port.written, (Bytes{0x4F, 0x47}));
    EXPECT_EQ(r.messages.size(), 1);
    EXPECT_FALSE(r.port.connected());
}

TEST(TestLink, BarMaskShowsAnsweringBarriersAndTheirZones) {
    struct Case {
        std::uint8_t mask;
        std::array<bool, 8> bars;
        std::array<bool, 4> zones;
    } cases[] = {
        {0x0F, {1, 1, 1, 1, 0, 0, 0, 0}, {1, 1, 0, 0}},
        {0x40, {0, 0, 0, 0, 0, 0, 1, 0}, {0, 0, 0, 1}},
        {0x00, {0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0}},
        {0x81, {1, 0, 0, 0, 0, 0, 0, 1}, {1, 0, 0, 1}},
        {0x24, {0, 0, 1, 0, 0, 1, 0, 0}, {0, 1, 1, 0}},
    };
    for (const Case& c : cases) {
        for (std::uint8_t status : {0x21, 0x00}) { // anything but 0x22 is a result
            Rig r;
            r.port.reply(0x50, {c.mask, status});
            EXPECT_TRUE(r.link.testBars());
            EXPECT_EQ(r.link.picture().barrierVisible, c.bars) << int(c.mask);
            EXPECT_EQ(r.link.picture().zoneVisible, c.zones) << int(c.mask);
            EXPECT_FALSE(r.link.picture().barTesting);
            EXPECT_FALSE(r.link.picture().busyCursor);
        }
    }
}

TEST(TestLink, BarStatusNotAvailableKeepsTestingUntilAResult) {
    Rig r;
    r.port.reply(0x50, {0x0F, 0x22});
    r.port.reply(0x50, {0x01, 0x22});
    r.port.reply(0x50, {0x03, 0x21});
    EXPECT_TRUE(r.link.testBars());
    EXPECT_TRUE(r.link.picture().barTesting);
    EXPECT_TRUE(r.link.picture().busyCursor);
    EXPECT_EQ(r.link.picture().barrierVisible, (std::array<bool, 8>{1, 1, 1, 1, 1, 1, 1, 1}));
    EXPECT_TRUE(r.link.testBars());
    EXPECT_TRUE(r.link.picture().barTesting);
    EXPECT_TRUE(r.link.testBars());
    EXPECT_FALSE(r.link.picture().barTesting);
    EXPECT_FALSE(r.link.picture().busyCursor);
    EXPECT_EQ(r.link.picture().barrierVisible, (std::array<bool, 8>{1, 1, 0, 0, 0, 0, 0, 0}));
}

TEST(TestLink, EndingTheConnectionRestoresTheCursorOnly) {
    Rig r;
    r.port.reply(0x50, {0x0F, 0x22});
    r.port.reply(0x47, {0x21});
    r.link.testBars();
    r.link.FermaRic(false);
    EXPECT_FALSE(r.link.picture().busyCursor);
    EXPECT_TRUE(r.link.picture().barTesting);
}

TEST(TestLink, StandByMaskColoursInputs) {
    struct Case {
        std::uint8_t mask, status;
        std::array<bool, 4> active;
    } cases[] = {
        {0x05, 0x21, {1, 0, 1, 0}}, {0xF0, 0x21, {0, 0, 0, 0}}, {0x0F, 0x21, {1, 1, 1, 1}},
        {0x0A, 0x01, {0, 1, 0, 1}}, {0x0F, 0x22, {0, 0, 0, 0}}, // 0x22: nothing changes
    };
    for (const Case& c : cases) {
        Rig r;
        r.port.reply(0x51, {c.mask, c.status});
        EXPECT_TRUE(r.link.testStandBy());
        EXPECT_EQ(r.link.picture().standByActive, c.active) << int(c.mask) << "/" << int(c.status);
    }
}

TEST(TestLink, StandByStatusNotAvailableKeepsPreviousResult) {
    Rig r;
    r.port.reply(0x51, {0x05, 0x21});
    r.port.reply(0x51, {0x0A, 0x22});
    r.link.testStandBy();
    r.link.testStandBy();
    EXPECT_EQ(r.link.picture().standByActive, (std::array<bool, 4>{1, 0, 1, 0}));
}

TEST(TestLink, TimeOutOnSecondByteOfATestStopsIt) {
    struct Case {
        std::uint8_t cmd;
        bool (TestLink::*test)();
    } cases[] = {{0x50, &TestLink::testBars}, {0x51, &TestLink::testStandBy}};
    for (const Case& c : cases) {
        Rig r;
        r.port.reply(c.cmd, {0x00}); // the mask, then nothing
        r.port.reply(0x47, {0x21});
        EXPECT_FALSE((r.link.*c.test)());
        EXPECT_EQ(r.messages.size(), 1);
        EXPECT_EQ(r.link.picture().barrierVisible, (std::array<bool, 8>{1, 1, 1, 1, 1, 1, 1, 1}));
        EXPECT_EQ(r.link.picture().standByActive, (std::array<bool, 4>{}));
    }
}

TEST(TestLink, TimeOutInFirstTestAfterConnectSkipsTheBarTest) {
    Rig r;
    r.port.reply(0x46, {0x85, 0x21});
    r.port.reply(0x47, {0x21}); // 0x51 unanswered
    EXPECT_FALSE(r.link.connectHub());
    EXPECT_EQ(r.port.written, (Bytes{0x46, 0x51, 0x47})) << "nothing written after the close";
    EXPECT_EQ(r.messages.size(), 1);
    EXPECT_FALSE(r.link.picture().connectedLook);
}

TEST(TestLink, LineFailureDuringEndCommandStillClosesThePort) {
    Rig r;
    r.port.acceptConnection();
    ASSERT_TRUE(r.link.connectHub());
    r.port.failWrite = true;
    EXPECT_THROW(r.link.FermaRic(false), std::runtime_error);
    EXPECT_FALSE(r.port.connected());
    EXPECT_FALSE(r.link.picture().connectedLook);
    EXPECT_TRUE(r.messages.isEmpty());
}
