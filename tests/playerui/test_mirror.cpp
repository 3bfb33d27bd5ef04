// The main window while the player is open: it shows what a fresh window
// shows after opening the recording cut just after the player's position.
#include "../player/randomrecording.h"
#include "mainwindow.h"

#include "common/DialogSeam.h"
#include "monitor/display/Barra.h"
#include "monitor/player/FPlayer.h"

#include <QComboBox>
#include <QPointer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using mainwin_test::control;
using mainwin_test::QuietWindow;
using namespace hub;

namespace {

void openFile(TAnalisiBarre& w, const QString& path) {
    DialogSeam::push(QStringLiteral("open-file"), path);
    w.BOpenFileClick();
}

// A window shown, "Compact" chosen if asked, then the file opened.
void showAndOpen(TAnalisiBarre& w, bool compact, const QString& path) {
    w.show();
    if (compact) {
        control<QComboBox>(w, "ComboZoom")->setCurrentIndex(0);
        emit control<QComboBox>(w, "ComboZoom")->activated(0);
    }
    openFile(w, path);
}

TPlayer* openReadyPlayer(TAnalisiBarre& w) {
    TPlayer* p = w.openPlayer();
    if (!p) return nullptr;
    EXPECT_TRUE(QTest::qWaitFor([p] { return p->state().ready || !p->state().error.isEmpty(); }, 10000));
    return p;
}

struct Shown {
    QString counter, start, hubName, title, file;
    const MonitorModel* model;
};

Shown shown(const TAnalisiBarre& w) {
    return {control<QLabel>(w, "LCounter")->text(), control<QLabel>(w, "LStart")->text(),
            control<QLabel>(w, "LVersHUB")->text(), w.windowTitle(),
            control<QLabel>(w, "NomeArch")->text(), &control<TMonitor>(w, "Monitor1")->model()};
}

// The player's window against a fresh one on the cut file. The file name
// differs (the cut has its own); with it empty in one, it must be in both.
void expectSameDisplay(const TAnalisiBarre& player, const TAnalisiBarre& fresh) {
    const Shown a = shown(player);
    const Shown b = shown(fresh);
    EXPECT_TRUE(*a.model == *b.model);
    EXPECT_EQ(a.counter, b.counter);
    EXPECT_EQ(a.start, b.start);
    EXPECT_EQ(a.hubName, b.hubName);
    EXPECT_EQ(a.title, b.title);
    EXPECT_EQ(a.file.isEmpty(), b.file.isEmpty());
    EXPECT_EQ(player.state().settings, fresh.state().settings);
}

} // namespace

TEST(PlayerMainWindow, ShowsTheCutFileAtEveryPositionForwardsAndBackwards) {
    struct Case {
        const char* name;
        playertest::Shape shape;
        bool compact;
    } cases[] = {
        {"SW, settings changes, hidden barriers", {false, 1, true, 120, 2}, false},
        {"TC, two acquisitions, clock going back", {true, 2, true, 80, 1, true}, false},
        {"TC, open end, compact", {true, 1, false, 100, 2}, true},
    };
    QTemporaryDir dir;
    std::uint32_t seed = 7;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        playertest::Generator gen(seed++);
        const playertest::Built b = gen.make(c.shape);
        const QString path = dir.filePath(QStringLiteral("night.dat"));
        ASSERT_TRUE(b.rec.save(path));
        DialogSeam::clear();
        QuietWindow w;
        showAndOpen(w, c.compact, path);
        TPlayer* p = openReadyPlayer(w);
        ASSERT_NE(p, nullptr);
        const std::int64_t n = p->state().count;
        ASSERT_EQ(n + 1, static_cast<std::int64_t>(b.ends.size()));
        // Random positions, so visited forwards and backwards, and the ends.
        std::vector<std::int64_t> positions{n / 2, 0, 1, n - 1};
        for (int i = 0; i < 6; ++i) positions.push_back(static_cast<std::int64_t>(gen.rng()() % (n + 1)));
        // Playing on, record by record, across every start, end and settings record.
        std::vector<std::int64_t> steps;
        for (const Mark& mk : p->timeline()->marks())
            for (std::int64_t d = -2; d <= 2; ++d) steps.push_back(mk.record + d);
        std::int64_t previous = -1;
        for (const auto& [at, step] : [&] {
                 std::vector<std::pair<std::int64_t, bool>> all;
                 for (std::int64_t at : positions) all.push_back({at, false});
                 for (std::int64_t at : steps)
                     if (at >= 0 && at <= n) all.push_back({at, true});
                 return all;
             }()) {
            SCOPED_TRACE(testing::Message() << "record " << at << (step ? " by a step" : ""));
            if (step && previous >= 0 && at == previous + 1)
                p->stepRecord(1);
            else
                p->seek(at);
            previous = at;
            EXPECT_EQ(p->state().position, at);
            const QString cut = dir.filePath(QStringLiteral("cut.dat"));
            ASSERT_TRUE(testrec::saveBytes(cut, b.rec.bytes.left(b.ends[static_cast<size_t>(at)])));
            QuietWindow fresh;
            showAndOpen(fresh, c.compact, cut);
            expectSameDisplay(w, fresh);
        }
        // Closing the player: the window shows the whole file again.
        p->seek(1);
        p->close();
        QCoreApplication::processEvents();
        EXPECT_EQ(w.player(), nullptr);
        QuietWindow whole;
        showAndOpen(whole, c.compact, path);
        expectSameDisplay(w, whole);
        EXPECT_EQ(w.state().recording, path);
    }
    DialogSeam::clear();
}

TEST(PlayerMainWindow, CtrlROpensThePlayerOnlyOnARecordingShown) {
    QTemporaryDir dir;
    playertest::Generator gen(3);
    const QString path = dir.filePath(QStringLiteral("night.dat"));
    ASSERT_TRUE(gen.make({false, 1, true, 30, 1}).rec.save(path));
    const QString other = dir.filePath(QStringLiteral("other.dat"));
    ASSERT_TRUE(gen.make({true, 1, true, 30, 1}).rec.save(other));
    DialogSeam::clear();
    for (auto language : {MainWindowState::Language::English, MainWindowState::Language::Italian}) {
        const bool italian = language == MainWindowState::Language::Italian;
        SCOPED_TRACE(italian ? "Italian" : "English");
        QuietWindow w;
        w.startAs(language);
        w.show();
        w.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
        QFrame* title = control<QFrame>(w, "PanelTit");
        // Nothing shown: no player, and no hint of one.
        QTest::keyClick(&w, Qt::Key_R, Qt::ControlModifier);
        EXPECT_EQ(w.player(), nullptr);
        EXPECT_TRUE(title->toolTip().isEmpty());
        openFile(w, path);
        EXPECT_TRUE(title->toolTip().contains(QStringLiteral("Ctrl+R")));
        QTest::keyClick(&w, Qt::Key_R, Qt::ControlModifier);
        ASSERT_NE(w.player(), nullptr);
        EXPECT_EQ(w.player()->state().italian, italian);
        EXPECT_EQ(w.player()->state().path, path);
        // Another file opened: the display is reset, the player goes.
        QPointer<TPlayer> was = w.player();
        openFile(w, other);
        QCoreApplication::processEvents();
        EXPECT_EQ(w.player(), nullptr);
        EXPECT_TRUE(was.isNull() || !was->isVisible());
        w.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
        EXPECT_EQ(w.state().recording, other);
        // An acquisition shows no recording to play.
        mainwin_test::startAcquisition(w);
        QTest::keyClick(&w, Qt::Key_R, Qt::ControlModifier);
        EXPECT_EQ(w.player(), nullptr);
        EXPECT_TRUE(title->toolTip().isEmpty());
        w.stopWithoutAsking();
    }
    DialogSeam::clear();
}

TEST(PlayerMainWindow, ReplayOnTheCommandLine) {
    const QString build = qEnvironmentVariable("HUB_BUILD_DIR", QStringLiteral(HUB_BUILD_DIR_DEFAULT));
    const QString program = build + QStringLiteral("/monitor/hubmonitor");
    struct Case {
        QStringList args;
        int status;
        const char* says;
    } cases[] = {
        {{QStringLiteral("--help")}, 0, "--replay FILE.dat"},
        {{QStringLiteral("--replay")}, 2, "--replay needs one recording"},
        {{QStringLiteral("--replay"), QString()}, 2, "--replay needs one recording"},
        {{QStringLiteral("--replay"), QStringLiteral("a.dat"), QStringLiteral("b.dat")}, 2,
         "--replay needs one recording"},
    };
    for (const Case& c : cases) {
        QProcess p;
        p.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
        p.start(program, c.args);
        ASSERT_TRUE(p.waitForFinished(10000));
        EXPECT_EQ(p.exitCode(), c.status) << c.args.join(' ').toStdString();
        const QString out = QString::fromLocal8Bit(p.readAllStandardOutput() + p.readAllStandardError());
        EXPECT_TRUE(out.contains(QLatin1String(c.says))) << out.toStdString();
    }
}

TEST(PlayerMainWindow, AViewerStartedToReplayOpensThePlayerOnceLoaded) {
    QTemporaryDir dir;
    playertest::Generator gen(5);
    const QString path = dir.filePath(QStringLiteral("night.dat"));
    ASSERT_TRUE(gen.make({false, 2, true, 40, 1}).rec.save(path));
    QuietWindow w;
    w.startAs(MainWindowState::Language::Italian, path);
    w.openPlayerAfterLoad();
    w.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.player() && w.player()->state().ready; }, 10000));
    EXPECT_TRUE(w.state().viewer());
    EXPECT_EQ(w.player()->state().position, w.player()->state().count);
    EXPECT_TRUE(w.player()->state().italian);
    // Each start resets the display: the counter is the second acquisition's.
    EXPECT_EQ(control<QLabel>(w, "LCounter")->text(), QStringLiteral("40"));
}
