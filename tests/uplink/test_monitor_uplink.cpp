// hubmonitor's uplink: the journal outlives a SIGKILL and its events arrive
// after the restart; a refused site goes on recording; the options and the
// configuration file; the title's indicator.
#include "broker.h"
#include "monitor/UplinkIndicator.h"
#include "monitorprocess.h"
#include "simhub.h"
#include "subscriber.h"
#include "uplink/contract.h"
#include "uplink/outbox.h"
#include "uplink/uplinkoptions.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include <csignal>
#include <set>

using namespace std::chrono_literals;

namespace {

// The password goes to the environment, or the variable is kept out of it.
struct Monitor : testsupport::MonitorProcess {
    Monitor(const QString& folder, const QStringList& args, const QString& password = {})
        : MonitorProcess(folder, args,
                         {{"XDG_DATA_HOME", folder + "/data"},
                          {QString::fromLatin1(hub::kPasswordVariable), password.isEmpty() ? std::nullopt : std::optional(password)}}) {}
    bool endsAfterTerm(int ms) {
        signal(SIGTERM);
        return endsWith(0, ms);
    }
};

hub::OutboxContents journal(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return hub::readOutbox(f.readAll());
}

QString writeConfig(const QTemporaryDir& dir, int port) {
    const QString path = dir.filePath("site.ini");
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write("[uplink]\nurl=mqtt://127.0.0.1:" + QByteArray::number(port) + "/North\njournal-dir=journal\n");
    return path;
}

// Events pile up in the journal while the broker is down; hubmonitor is
// killed without a chance to say anything; the next hubmonitor (its device
// gone meanwhile) publishes every one of them once the broker is back.
TEST(UplinkMonitor, EventsJournaledBeforeASigkillArriveAfterTheRestart) {
    testsupport::BrokerOptions opts;
    testsupport::PrivateBroker broker(opts);
    ASSERT_TRUE(broker.ok()) << broker.error();
    broker.stop();
    QTemporaryDir dir;
    const QString config = writeConfig(dir, broker.port());
    const QString outbox = dir.filePath("journal/North.outbox");
    std::vector<std::uint64_t> pending;
    {
        testsupport::SimHub sim(dir, {"--event-every", "2", "--seed", "7"});
        ASSERT_FALSE(sim.link.isEmpty());
        Monitor m(dir.path(), {"--port", sim.link, "--no-record", "--config", config});
        ASSERT_TRUE(QTest::qWaitFor([&] { return journal(outbox).unconfirmed.size() >= 10; }, 8000)) << m.err.toStdString();
        m.proc.kill(); // SIGKILL
        ASSERT_TRUE(m.proc.waitForFinished(3000));
    }
    const hub::OutboxContents left = journal(outbox);
    for (const auto& e : left.unconfirmed) pending.push_back(e.seq);
    ASSERT_GE(pending.size(), 10u);
    EXPECT_EQ(pending.front(), 1u);
    EXPECT_EQ(pending.back(), pending.size()); // numbered without a gap

    ASSERT_TRUE(broker.restart()) << broker.error();
    testsupport::Subscriber room(broker.port(), {"hub/North/event", "hub/North/status"});
    ASSERT_TRUE(room.waitSubscribed());
    Monitor again(dir.path(), {"--port", dir.filePath("gone"), "--no-record", "--config", config});
    auto arrived = [&] {
        std::set<std::uint64_t> have;
        for (const auto& r : room.on("hub/North/event"))
            if (const auto e = hub::parseEvent(QByteArray::fromStdString(r.payload))) have.insert(e->seq);
        for (std::uint64_t s : pending)
            if (!have.count(s)) return false;
        return true;
    };
    EXPECT_TRUE(QTest::qWaitFor(arrived, 6000)) << again.err.toStdString();
    // The first event published is the oldest one, and they come in order.
    const auto ev = room.on("hub/North/event");
    ASSERT_FALSE(ev.empty());
    std::uint64_t prev = 0;
    for (const auto& r : ev) {
        const auto e = hub::parseEvent(QByteArray::fromStdString(r.payload));
        ASSERT_TRUE(e.has_value());
        EXPECT_EQ(e->seq, prev + 1);
        prev = e->seq;
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return journal(outbox).unconfirmed.empty(); }, 3000));
    EXPECT_TRUE(again.endsAfterTerm(6000)) << again.err.toStdString();
    // The clean stop leaves "offline" as the site's status.
    EXPECT_TRUE(room.waitFor([](const auto& g) {
        return !g.empty() && g.back().topic == "hub/North/status" && g.back().payload.find("\"offline\"") != std::string::npos;
    }, 3s));
}

TEST(UplinkMonitor, AWrongPasswordIsRefusedClearlyAndTheSiteKeepsRecording) {
    testsupport::PrivateBroker broker(testsupport::BrokerOptions::usersOnly({{"North", "right"}}));
    ASSERT_TRUE(broker.ok()) << broker.error();
    QTemporaryDir dir;
    testsupport::SimHub sim(dir, {"--event-every", "2"});
    ASSERT_FALSE(sim.link.isEmpty());
    Monitor m(dir.path(),
              {"--port", sim.link, "--record", "site", "--uplink",
               "mqtt://North@127.0.0.1:" + QString::number(broker.port()) + "/North"},
              "wrong");
    ASSERT_TRUE(m.said("refused the connection", 5000)) << m.err.toStdString();
    EXPECT_TRUE(m.err.contains("not authorised") || m.err.contains("bad user name or password")) << m.err.toStdString();
    // Recording goes on, and so does the journal: nothing waits on the broker.
    const QDir d(dir.path());
    auto recordingSize = [&] {
        const auto files = d.entryInfoList({"site*.dat"}, QDir::Files);
        return files.isEmpty() ? qint64(0) : files.front().size();
    };
    const qint64 before = recordingSize();
    EXPECT_TRUE(QTest::qWaitFor([&] { return recordingSize() > before && before > 0; }, 3000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !journal(dir.filePath("North.outbox")).unconfirmed.empty(); }, 5000));
    EXPECT_TRUE(m.endsAfterTerm(6000)) << m.err.toStdString();
}

// ---- the options, without a broker -----------------------------------------

struct ArgsCase {
    const char* name;
    std::vector<const char*> args;
    const char* ini; // written to the configuration file named by --config CFG
    const char* error; // part of the error, or empty
    const char* url, *passwordFile;
    std::vector<const char*> rest;
};

class UplinkArguments : public ::testing::TestWithParam<ArgsCase> {};

TEST_P(UplinkArguments, TakenOutOfTheCommandLineOrRefused) {
    const ArgsCase& c = GetParam();
    QTemporaryDir dir;
    const QString cfg = dir.filePath("hub.ini");
    if (c.ini) {
        QFile f(cfg);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(c.ini);
    }
    QStringList args{"hubmonitor"};
    for (const char* a : c.args) args << (QString(a) == "CFG" ? cfg : QString(a));
    const hub::UplinkArguments u = hub::takeUplinkArguments(args);
    if (*c.error) {
        EXPECT_TRUE(u.error.contains(c.error)) << c.name << ": " << u.error.toStdString();
        return;
    }
    EXPECT_TRUE(u.error.isEmpty()) << c.name << ": " << u.error.toStdString();
    EXPECT_EQ(u.settings.url, QString(c.url)) << c.name;
    QString pw = u.settings.passwordFile;
    pw.remove(dir.path() + "/");
    EXPECT_EQ(pw, QString(c.passwordFile)) << c.name;
    QStringList rest{"hubmonitor"};
    for (const char* a : c.rest) rest << a;
    EXPECT_EQ(args, rest) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UplinkArguments,
    ::testing::Values(
        ArgsCase{"none", {"--port", "ttyS0"}, nullptr, "", "", "", {"--port", "ttyS0"}},
        ArgsCase{"url_and_file",
                 {"--port", "ttyS0", "--uplink", "mqtt://a@h/S", "--uplink-password-file", "pw", "--no-record"},
                 nullptr, "", "mqtt://a@h/S", "pw", {"--port", "ttyS0", "--no-record"}},
        ArgsCase{"password_on_the_line", {"--uplink", "mqtt://h/S", "--uplink-password", "x"}, nullptr,
                 "never given on the command line", "", "", {}},
        ArgsCase{"password_with_equals", {"--uplink-password=x"}, nullptr, "never given", "", "", {}},
        ArgsCase{"missing_value", {"--port", "x", "--uplink"}, nullptr, "--uplink needs a value", "", "", {}},
        ArgsCase{"file_only", {"--config", "CFG"}, "[uplink]\nurl=mqtt://f/S\npassword-file=secret\n", "",
                 "mqtt://f/S", "secret", {}},
        ArgsCase{"line_wins", {"--config", "CFG", "--uplink", "mqtt://l/S"}, "[uplink]\nurl=mqtt://f/S\n", "",
                 "mqtt://l/S", "", {}},
        ArgsCase{"password_in_file", {"--config", "CFG"}, "[uplink]\nurl=mqtt://f/S\npassword=x\n",
                 "does not belong in the configuration file", "", "", {}},
        ArgsCase{"file_without_url", {"--config", "CFG"}, "[uplink]\nca-file=ca.pem\n", "no uplink URL", "", "", {}},
        ArgsCase{"missing_file", {"--config", "/nonexistent/hub.ini"}, nullptr, "cannot read the configuration",
                 "", "", {}},
        ArgsCase{"bad_prefix", {"--config", "CFG"}, "[uplink]\nurl=mqtt://f/S\nprefix=hub/#\n", "bad topic prefix",
                 "", "", {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UplinkIndicator, TheTitleKeepsItsOwnTextAndCarriesTheUplinksStateAfterIt) {
    QWidget w;
    w.setWindowTitle("ZEMBRA MONITOR HUB (V.1.7)");
    hub::UplinkIndicator ind(&w);
    EXPECT_EQ(w.windowTitle(), "ZEMBRA MONITOR HUB (V.1.7)");
    ind.setText("uplink North: connecting");
    EXPECT_EQ(w.windowTitle(), "ZEMBRA MONITOR HUB (V.1.7)  [uplink North: connecting]");
    ind.setText("uplink North: online");
    EXPECT_EQ(w.windowTitle(), "ZEMBRA MONITOR HUB (V.1.7)  [uplink North: online]");
    // The window sets its own titles as always: the state follows each.
    w.setWindowTitle("PORT : ttyS0 --  ZEMBRA MONITOR HUB (V:1.7)");
    EXPECT_EQ(w.windowTitle(), "PORT : ttyS0 --  ZEMBRA MONITOR HUB (V:1.7)  [uplink North: online]");
    ind.setText("uplink North: waiting, 3 unconfirmed");
    EXPECT_EQ(w.windowTitle(), "PORT : ttyS0 --  ZEMBRA MONITOR HUB (V:1.7)  [uplink North: waiting, 3 unconfirmed]");
}

} // namespace
