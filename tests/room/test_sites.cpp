// The site table fed with contract payloads: conditions, numbering, silence.
#include "hubroom/sites.h"
#include "roomfeed.h"

#include <gtest/gtest.h>

using namespace hub::room;
using namespace roomtest;

namespace {

struct Msg {
    const char* name;
    QByteArray payload;
};

TEST(SiteConditions, WorstConditionOfEachBarrierFromEventsAndStates) {
    struct Case {
        const char* what;
        std::vector<Msg> feed;
        int barrier;
        Condition expected;
    };
    const std::vector<Case> cases = {
        {"a beam alone", {{"event", event(1, 3, "beam2", true)}}, 3, Condition::Beam},
        {"alarm beats fault on the same barrier",
         {{"event", event(1, 2, "fault", true)}, {"event", event(2, 2, "alarm", true)}}, 2, Condition::Alarm},
        {"fault stays when the alarm restores",
         {{"event", event(1, 2, "fault", true)}, {"event", event(2, 2, "alarm", true)},
          {"event", event(3, 2, "alarm", false)}}, 2, Condition::Fault},
        {"tamper beats disq and stand-by",
         {{"event", event(1, 5, "disq", true)}, {"event", event(2, 5, "stb", true)},
          {"event", event(3, 5, "tamper", true)}}, 5, Condition::Tamper},
        {"blind beats a beam",
         {{"event", event(1, 1, "beam1", true)}, {"event", event(2, 1, "blind", true)}}, 1, Condition::Blind},
        {"another barrier's alarm leaves this one clear",
         {{"event", event(1, 4, "alarm", true)}}, 3, Condition::None},
        // Couple A status 0x02 (alarm on both barriers), beam 1 of barrier 2.
        {"a state record sets both barriers of the couple in alarm",
         {{"state", state("000102000000000000000000", 7)}}, 2, Condition::Alarm},
        {"couple B failure in the record is a fault on barrier 3",
         {{"state", state("000000000010000000000000", 7)}}, 3, Condition::Fault},
        {"a state record clears what earlier events raised",
         {{"event", event(1, 1, "alarm", true)}, {"state", state("000000000000000000000000", 1)}}, 1,
         Condition::None},
        {"an older state record does not undo a newer event",
         {{"event", event(5, 1, "tamper", true)}, {"state", state("000000000000000000000000", 4)}}, 1,
         Condition::Tamper},
        {"a resent old event does not change the present",
         {{"event", event(1, 6, "alarm", true)}, {"event", event(3, 6, "alarm", false)},
          {"event", event(2, 6, "fault", true)}}, 6, Condition::None},
    };
    for (const Case& c : cases) {
        SiteTable t;
        for (const Msg& m : c.feed) t.handle(topic("s1", m.name), m.payload, 0);
        ASSERT_NE(t.site("s1"), nullptr) << c.what;
        EXPECT_EQ(t.site("s1")->condition(c.barrier), c.expected) << c.what;
    }
}

TEST(SiteConditions, BarriersComeFromTheSettingsBlockNotFromItsSummary) {
    struct Case {
        const char* block;   // SW block: byte 6 says which couples are fitted
        const char* couples; // the summary's claim, deliberately wrong
        std::uint8_t barriers;
    };
    const std::vector<Case> cases = {
        {"FF0000000000030500", "[true,true,true,true]", 0x0F},
        {"FF0000000000050500", "[true,true,true,true]", 0x33},
        {"FF00000000000F0500", "[false,false,false,false]", 0xFF},
    };
    for (const Case& c : cases) {
        SiteTable t;
        t.handle(topic("s", "settings"),
                 QStringLiteral(R"({"v":1,"kind":65,"block":"%1","couples":%2,"beams":[8,8,8,8],"time":"2026-12-08T03:00:00.000Z"})")
                     .arg(QLatin1String(c.block), QLatin1String(c.couples))
                     .toUtf8(),
                 0);
        EXPECT_EQ(t.site("s")->barriers, c.barriers) << c.block;
    }
}

TEST(SiteConditions, SeverityOrdersAlarmBeforeFaultBeforeLostAndSilent) {
    SiteTable t;
    t.handle(topic("alarm", "event"), event(1, 1, "alarm", true), 0);
    t.handle(topic("fault", "event"), event(1, 1, "fault", true), 0);
    t.handle(topic("lost", "status"), status("lost"), 0);
    t.handle(topic("quiet", "status"), status("online"), 0);
    t.handle(topic("calm", "status"), status("online"), 0);
    t.handle(topic("calm", "event"), event(1, 1, "beam1", true), 0);
    const auto sev = [&](const char* s) { return t.site(s)->severity(); };
    EXPECT_GT(sev("alarm"), sev("fault"));
    EXPECT_GT(sev("fault"), sev("lost"));
    EXPECT_GT(sev("lost"), sev("calm"));
    EXPECT_GT(sev("calm"), sev("quiet"));
}

TEST(SiteNumbering, DuplicatesDroppedAndGapsAskedFromTheFirstMissing) {
    struct Case {
        const char* what;
        std::vector<unsigned long long> seqs;
        std::vector<bool> fresh;                 // per message: a new event
        std::vector<unsigned long long> resends; // resend "from" asked, in order (0: none)
        unsigned long long contiguous;
    };
    const std::vector<Case> cases = {
        {"in order", {1, 2, 3}, {true, true, true}, {0, 0, 0}, 3},
        {"the same seq twice", {1, 2, 2, 3}, {true, true, false, true}, {0, 0, 0, 0}, 3},
        {"a gap asks once from its first missing", {1, 4, 5}, {true, true, true}, {0, 2, 0}, 1},
        {"the gap filled by the resend", {1, 4, 2, 3, 5}, {true, true, true, true, true}, {0, 2, 3, 0, 0}, 5},
        {"a resent event already held inside the gap", {1, 3, 3, 2}, {true, true, false, true}, {0, 2, 0, 0}, 3},
        {"joining late starts at the first event seen", {40, 41}, {true, true}, {0, 0}, 41},
    };
    for (const Case& c : cases) {
        SiteTable t;
        for (size_t i = 0; i < c.seqs.size(); ++i) {
            const Handled h = t.handle(topic("s", "event"), event(c.seqs[i], 1, "beam1", i % 2 == 0), 0);
            EXPECT_EQ(h.event.has_value(), c.fresh[i]) << c.what << " message " << i;
            EXPECT_EQ(h.duplicate, !c.fresh[i]) << c.what << " message " << i;
            EXPECT_EQ(h.resendFrom.value_or(0), c.resends[i]) << c.what << " message " << i;
        }
        EXPECT_EQ(t.site("s")->contiguous, c.contiguous) << c.what;
    }
}

TEST(SiteNumbering, HistoryBaselineDropsOldEventsAndAStateAheadIsAskedAfterTheWait) {
    SiteTable t;
    t.restoreBaseline("s", 10);
    EXPECT_TRUE(t.handle(topic("s", "event"), event(9, 1, "alarm", true), 0).duplicate);
    // The retained state is ahead while the broker still hands over what it kept.
    Handled h = t.handle(topic("s", "state"), state("000000000000000000000000", 12), 1000);
    EXPECT_FALSE(h.resendFrom);
    EXPECT_TRUE(t.tick(1000 + SiteTable::kResendWaitMs - 1).resend.empty());
    t.handle(topic("s", "event"), event(11, 1, "alarm", true), 2000);
    const auto tk = t.tick(1000 + SiteTable::kResendWaitMs);
    ASSERT_EQ(tk.resend.size(), 1u);
    EXPECT_EQ(tk.resend[0].second, 12u);
    t.handle(topic("s", "event"), event(12, 1, "alarm", false), 12000);
    EXPECT_TRUE(t.tick(40000).resend.empty());
}

TEST(SiteStatusAndSilence, StatusLinkAndSilentFromPayloads) {
    struct Case {
        const char* what;
        std::vector<Msg> feed;
        qint64 tickAt;         // ms after the last message (at 1000)
        SiteStatus status;
        bool silent;
    };
    const std::vector<Case> cases = {
        {"receiving and quiet past the limit is silent",
         {{"status", status("online")}, {"link", link("receiving")}}, 30001, SiteStatus::Online, true},
        {"quiet exactly to the limit is not yet silent",
         {{"status", status("online")}, {"link", link("receiving")}}, 30000, SiteStatus::Online, false},
        {"a site that is not receiving is never silent",
         {{"status", status("online")}, {"link", link("nodata")}}, 90000, SiteStatus::Online, false},
        {"a lost site is lost, not silent",
         {{"status", status("online")}, {"link", link("receiving")}, {"status", status("lost")}}, 90000,
         SiteStatus::Lost, false},
        {"an offline site after a clean stop",
         {{"status", status("offline")}, {"link", link("stopped")}}, 90000, SiteStatus::Offline, false},
    };
    for (const Case& c : cases) {
        SiteTable t(QStringLiteral("hub"), 30);
        for (const Msg& m : c.feed) t.handle(topic("s", m.name), m.payload, 1000);
        t.tick(1000 + c.tickAt);
        EXPECT_EQ(t.site("s")->status, c.status) << c.what;
        EXPECT_EQ(t.site("s")->silent, c.silent) << c.what;
    }
    // Data ends the silence at once.
    SiteTable t(QStringLiteral("hub"), 30);
    t.handle(topic("s", "status"), status("online"), 0);
    t.handle(topic("s", "link"), link("receiving"), 0);
    EXPECT_EQ(t.tick(31000).changed.size(), 1u);
    t.handle(topic("s", "state"), state("000000000000000000000000", 0), 31500);
    EXPECT_FALSE(t.site("s")->silent);
}

TEST(SitePayloads, RefusedPayloadsChangeNothing) {
    const std::vector<std::pair<const char*, QByteArray>> bad = {
        {"event", "not json"},
        {"event", R"({"v":2,"seq":1,"time":"2026-12-08T03:12:45.120Z","barrier":1,"element":"alarm","on":true})"},
        {"event", R"({"v":1,"seq":1,"time":"2026-12-08T03:12:45.120Z","barrier":9,"element":"alarm","on":true})"},
        {"event", R"({"v":1,"seq":1,"time":"2026-12-08T03:12:45.120Z","barrier":1,"element":"siren","on":true})"},
        {"event", R"({"v":1,"seq":1.5,"time":"2026-12-08T03:12:45.120Z","barrier":1,"element":"alarm","on":true})"},
        {"event", R"({"v":1,"seq":0,"time":"2026-12-08T03:12:45.120Z","barrier":1,"element":"alarm","on":true})"},
        {"event", R"({"v":1,"seq":1,"time":"yesterday","barrier":1,"element":"alarm","on":true})"},
        {"state", R"({"v":1,"record":"0001","time":"2026-12-08T03:12:45.120Z","seq":1})"},
        {"state", R"({"v":1,"record":"0G0000000000000000000000","time":"2026-12-08T03:12:45.120Z","seq":1})"},
        {"settings", R"({"v":1,"kind":64,"block":"0300","couples":[true],"beams":[8]})"},
        {"status", R"({"v":1,"state":"sleeping"})"},
    };
    SiteTable t;
    for (const auto& [name, p] : bad) {
        const Handled h = t.handle(topic("s", name), p, 0);
        EXPECT_TRUE(h.refused) << p.constData();
    }
    EXPECT_EQ(t.site("s"), nullptr);
    EXPECT_EQ(t.unknownVersionCount(), 1);
    // Not a site's topic at all: ignored, not counted.
    EXPECT_FALSE(t.handle(QStringLiteral("hub/a/b/event"), event(1, 1, "alarm", true), 0).refused);
    EXPECT_FALSE(t.handle(QStringLiteral("other/s/event"), event(1, 1, "alarm", true), 0).refused);
}

TEST(SiteRecords, EachRecordHandedOnOnceInSeqOrder) {
    const char* A = "010002000000000000000000";
    const char* B = "010402000000000000000000";
    const char* Z = "000000000000000000000000";
    const char* t1 = "2026-12-08T03:12:45.000Z";
    const char* t2 = "2026-12-08T03:12:46.000Z";
    struct Case {
        const char* what;
        std::vector<Msg> feed;
        std::vector<std::pair<unsigned long long, const char*>> records; // seq, hex handed on
    };
    const std::vector<Case> cases = {
        {"a record's events hand it on once",
         {{"event", eventOf(1, 1, "beam1", true, A, t1)}, {"event", eventOf(2, 1, "alarm", true, A, t1)},
          {"event", eventOf(3, 2, "beam3", true, B, t2)}},
         {{1, A}, {3, B}}},
        {"an event seen twice changes nothing",
         {{"event", eventOf(1, 1, "beam1", true, A, t1)}, {"event", eventOf(2, 2, "beam3", true, B, t2)},
          {"event", eventOf(2, 2, "beam3", true, B, t2)}},
         {{1, A}, {2, B}}},
        {"a record beyond a gap waits for the resend",
         {{"event", eventOf(1, 1, "beam1", true, A, t1)}, {"event", eventOf(3, 1, "beam1", false, Z, t2)},
          {"event", eventOf(2, 2, "beam3", true, B, t2)}},
         {{1, A}, {2, B}, {3, Z}}},
        {"the same record again after another is a record again",
         {{"event", eventOf(1, 1, "beam1", true, A, t1)}, {"event", eventOf(2, 2, "beam3", true, B, t2)},
          {"event", eventOf(3, 2, "beam3", false, A, "2026-12-08T03:12:47.000Z")}},
         {{1, A}, {2, B}, {3, A}}},
        {"the throttled state adds nothing where events carry records",
         {{"event", eventOf(1, 1, "beam1", true, A, t1)}, {"state", state(B, 1)},
          {"event", eventOf(2, 2, "beam3", true, B, t2)}, {"state", state(B, 2)}},
         {{1, A}, {2, B}}},
        {"the first state is the first picture; older events are not replayed over it",
         {{"state", state(B, 4)}, {"event", eventOf(3, 1, "beam1", true, A, t1)},
          {"event", eventOf(5, 1, "beam1", false, Z, t2)}},
         {{4, B}, {5, Z}}},
        {"an older site's states stand for its records",
         {{"state", state(A, 1)}, {"event", event(2, 2, "beam3", true)}, {"state", state(B, 2)},
          {"state", state(B, 2)}},
         {{1, A}, {2, B}}},
        {"a new acquisition's all-clear record comes only as state",
         {{"event", eventOf(1, 1, "beam1", true, A, t1)}, {"state", state(Z, 1)}, {"state", state(Z, 1)}},
         {{1, A}, {1, Z}}},
    };
    for (const Case& c : cases) {
        SiteTable t;
        std::vector<std::pair<unsigned long long, QString>> got;
        for (const Msg& m : c.feed) {
            const Handled h = t.handle(topic("s1", m.name), m.payload, 0);
            for (const StateMsg& r : h.records)
                got.emplace_back(r.seq, QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(r.record.data()), 12).toHex()).toUpper());
        }
        std::vector<std::pair<unsigned long long, QString>> want;
        for (const auto& [seq, hex] : c.records) want.emplace_back(seq, QString::fromLatin1(hex));
        EXPECT_EQ(got, want) << c.what;
    }
}

TEST(SiteRecords, AnEventWithADamagedRecordIsRefusedWhole) {
    for (const char* hex : {"0100", "01000200000000000000000G", "0100020000000000000000000000"}) {
        SiteTable t;
        const Handled h = t.handle(topic("s1", "event"), eventOf(1, 1, "beam1", true, hex), 0);
        EXPECT_TRUE(h.refused) << hex;
        EXPECT_EQ(t.site("s1"), nullptr) << hex;
    }
}

} // namespace
