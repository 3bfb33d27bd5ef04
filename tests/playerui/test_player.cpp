// The player window on a timeline written out by the test: transport, keys,
// playback, zoom, the typed jump, the strip's clicks, the list and the texts.
#include "faketimeline.h"

#include "common/tdatetime.h"
#include "monitor/player/FPlayer.h"
#include "monitor/player/TimeStrip.h"

#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace hub;
using playerui_test::FakeTimeline;
using playerui_test::sec;

namespace {

// Ten records; a 36 s quiet gap after the fifth.
std::unique_ptr<FakeTimeline> night() {
    auto t = std::make_unique<FakeTimeline>(std::vector<double>{0, 1, 2, 3, 4, 40, 41, 42, 43, 44});
    t->event(2, 1, Element::Alarm, true)
        .event(3, 2, 3, true)
        .event(4, 1, Element::Alarm, false)
        .event(6, 3, Element::Tamper, true)
        .event(7, 1, Element::Fault, true)
        .event(9, 2, Element::Alarm, true)
        .mark(1, MarkKind::Start)
        .mark(10, MarkKind::End);
    return t;
}

struct Player {
    explicit Player(std::unique_ptr<FakeTimeline> t = night(), bool italian = false) : w(italian) {
        fake = t.get();
        w.open(QStringLiteral("night.dat"), std::move(t));
        w.show();
    }
    TPlayer w;
    FakeTimeline* fake;
};

std::optional<EventKind> kindOf(int k) {
    return k < 0 ? std::nullopt : std::optional<EventKind>(static_cast<EventKind>(k));
}

} // namespace

TEST(PlayerTransport, PreviousAndNextEventOfAKindForOneBarrierOrAny) {
    const int any = -1, beam = 0, alarm = 1, tamper = 2, fault = 3;
    struct Case {
        std::int64_t from;
        int kind, barrier, direction;
        std::int64_t want; // the position stays where there is none
    } cases[] = {
        {0, any, 0, +1, 2},    {2, any, 0, +1, 3},      {0, alarm, 0, +1, 2},
        {2, alarm, 0, +1, 4},  // switching off is an event of its kind too
        {4, alarm, 1, +1, 4},  {4, alarm, 2, +1, 9},    {10, tamper, 0, -1, 6},
        {6, tamper, 0, -1, 6}, {10, fault, 1, -1, 7},   {10, fault, 2, -1, 10},
        {10, beam, 0, -1, 3},  {2, any, 0, -1, 2},      {9, any, 0, -1, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "from " << c.from << " kind " << c.kind << " barrier "
                                        << c.barrier << " direction " << c.direction);
        Player p;
        p.w.seek(c.from);
        p.w.setEventChoice(kindOf(c.kind), c.barrier);
        EXPECT_EQ(p.w.stepEvent(c.direction), c.want != c.from);
        EXPECT_EQ(p.w.state().position, c.want);
    }
}

TEST(PlayerTransport, KeysMoveThePlayerWhereverTheFocusIs) {
    struct Case {
        std::vector<Qt::Key> keys;
        std::int64_t want;
    } cases[] = {
        {{Qt::Key_Home}, 0},
        {{Qt::Key_Home, Qt::Key_Right, Qt::Key_Right}, 2},
        {{Qt::Key_End, Qt::Key_Left}, 9},
        {{Qt::Key_Left, Qt::Key_Right, Qt::Key_Right}, 10}, // not past the end
        {{Qt::Key_Home, Qt::Key_Left}, 0},
        {{Qt::Key_Home, Qt::Key_PageDown, Qt::Key_PageDown}, 3},
        {{Qt::Key_PageUp}, 9},
    };
    for (const Case& c : cases) {
        Player p;
        for (Qt::Key k : c.keys) QTest::keyClick(p.w.findChild<QTableWidget*>("GridEvents"), k);
        EXPECT_EQ(p.w.state().position, c.want) << "keys: " << c.keys.size();
    }
    Player p;
    QTest::keyClick(&p.w, Qt::Key_Space);
    EXPECT_TRUE(p.w.state().playing);
    QTest::keyClick(&p.w, Qt::Key_Space);
    EXPECT_FALSE(p.w.state().playing);
    // Typing a date: the arrows are the line edit's.
    p.w.seek(10);
    auto* edit = p.w.findChild<QLineEdit*>("EditJump");
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_Left);
    QTest::keyClick(edit, Qt::Key_Space);
    EXPECT_EQ(p.w.state().position, 10);
    EXPECT_FALSE(p.w.state().playing);
}

TEST(PlayerPlayback, PlaysAtTheRecordedPaceTimesTheSpeed) {
    struct Case {
        int speed;
        bool skipQuiet;
        std::int64_t from;
        double seconds;
        int ticks; // the seconds split over this many ticks
        std::int64_t want;
        bool playing;
    } cases[] = {
        {1, false, 0, 0.5, 1, 1, true},   {1, false, 0, 2.5, 1, 3, true},
        {1, false, 0, 2.5, 10, 3, true},  {4, false, 0, 1.0, 1, 5, true},
        {64, false, 0, 0.5, 1, 5, true},  {64, false, 0, 1.0, 1, 10, false},
        {1, false, 5, 1.0, 1, 5, true},   {1, true, 5, 1.0, 1, 6, true},
        {1, true, 5, 1.0, 4, 6, true},    {2, true, 0, 3.0, 1, 7, true},
        {1, false, 5, 36.0, 12, 6, true}, {8, false, 0, 10.0, 1, 10, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "x" << c.speed << (c.skipQuiet ? " skip quiet" : "")
                                        << " from " << c.from << " for " << c.seconds << " s in "
                                        << c.ticks << " ticks");
        Player p;
        p.w.seek(c.from);
        p.w.setSpeed(c.speed);
        p.w.setSkipQuiet(c.skipQuiet);
        p.w.setPlaying(true);
        for (int i = 0; i < c.ticks; ++i) p.w.advance(c.seconds / c.ticks);
        EXPECT_EQ(p.w.state().position, c.want);
        EXPECT_EQ(p.w.state().playing, c.playing);
    }
}

TEST(PlayerPlayback, AClockGoingBackNeverStallsIt) {
    Player p(std::make_unique<FakeTimeline>(std::vector<double>{0, 1, 2, 1.5, 2.5, 3.5}));
    p.w.seek(0);
    p.w.setPlaying(true);
    p.w.advance(3.0);
    EXPECT_EQ(p.w.state().position, 5);
    p.w.advance(1.0);
    EXPECT_EQ(p.w.state().position, 6);
}

TEST(PlayerPlayback, ACoarseTimerRunsOnlyWhilePlaying) {
    Player p;
    auto* timer = p.w.findChild<QTimer*>("TimerPlay");
    ASSERT_NE(timer, nullptr);
    EXPECT_FALSE(timer->isActive());
    // Play from the end starts at the beginning.
    p.w.setPlaying(true);
    EXPECT_EQ(p.w.state().position, 0);
    for (int speed : {1, 64}) {
        p.w.setSpeed(speed);
        EXPECT_TRUE(timer->isActive());
        EXPECT_GE(timer->interval(), 100) << speed;
    }
    p.w.setPlaying(false);
    EXPECT_FALSE(timer->isActive());
    p.w.setSpeed(3); // not a speed on offer
    EXPECT_EQ(p.w.state().speed, 64);
}

TEST(PlayerView, ZoomsFromTheWholeRecordingDownToOneMinute) {
    std::vector<double> times;
    for (int s = 0; s <= 7200; s += 10) times.push_back(s);
    Player p(std::make_unique<FakeTimeline>(times));
    const auto span = [&] { return (p.w.state().viewEnd - p.w.state().viewStart) * 86400.0; };
    EXPECT_NEAR(span(), 7200, 1e-3);
    EXPECT_NEAR(p.w.state().viewStart, sec(0), 1e-9);
    p.w.seek(361); // 3600 s
    p.w.zoomIn();
    EXPECT_NEAR(span(), 3600, 1e-3);
    for (int i = 0; i < 10; ++i) p.w.zoomIn();
    EXPECT_NEAR(span(), 60, 1e-3);
    // Zoomed round the cursor, which stays in view.
    EXPECT_LE(p.w.state().viewStart, sec(3600));
    EXPECT_GE(p.w.state().viewEnd, sec(3600));
    // Seeking out of view brings the view along.
    p.w.seek(10);
    EXPECT_LE(p.w.state().viewStart, sec(90));
    EXPECT_GE(p.w.state().viewEnd, sec(90));
    EXPECT_NEAR(span(), 60, 1e-3);
    for (int i = 0; i < 10; ++i) p.w.zoomOut();
    EXPECT_NEAR(span(), 7200, 1e-3);
    EXPECT_NEAR(p.w.state().viewStart, sec(0), 1e-9);
    // The wheel zooms round the time under the mouse.
    auto* strip = p.w.findChild<TTimeStrip*>("TimeStrip");
    const QPoint at(strip->xAt(sec(1800)), TTimeStrip::kAxisHeight + 5);
    QWheelEvent wheel(at, strip->mapToGlobal(at), {}, QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(strip, &wheel);
    EXPECT_NEAR(span(), 3600, 1e-3);
    EXPECT_NEAR(strip->timeAt(at.x()), sec(1800), 20.0 / 86400);
}

TEST(PlayerJump, ATypedDateAndTimeInTheRegionalFormat) {
    setRegionalFormats(QStringLiteral("dd/MM/yyyy"), QStringLiteral("HH:mm:ss"));
    struct Case {
        const char* text;
        std::int64_t want; // -1: not a date and time, the position stays
    } cases[] = {
        {"08/12/2026 03:00:02", 3},      {"08/12/2026 03:00:01.999", 2},
        {"08/12/2026 03:00:41", 7},      {"  08/12/2026   03:00:00.000 ", 1},
        {"08/12/2026 03:00", 1},         {"08/12/2026", 0},
        {"09/12/2026", 10},              {"31/02/2026 03:00:00", -1},
        {"03:00:00", -1},                {"08/12/2026 25:00:00", -1},
        {"", -1},
    };
    for (const Case& c : cases) {
        Player p;
        p.w.seek(5);
        EXPECT_EQ(p.w.jumpTo(QString::fromLatin1(c.text)), c.want >= 0) << c.text;
        EXPECT_EQ(p.w.state().position, c.want >= 0 ? c.want : 5) << c.text;
    }
    resetRegionalFormats();
}

TEST(PlayerStrip, AClickOnAMarkJumpsToItsRecordAndAPressElsewhereSeeksThere) {
    Player p;
    auto* strip = p.w.findChild<TTimeStrip*>("TimeStrip");
    const auto bandCentre = [&](int lane, EventKind k) {
        return TTimeStrip::kindBand(strip->laneRect(lane), k).center().y();
    };
    // Two pixels before each mark: a seek by time would stop one record short.
    const auto before = [&](double second) { return strip->xAt(sec(second)) - 2; };
    struct Case {
        const char* what;
        int x, y;
        std::int64_t want;
    } cases[] = {
        {"alarm of barrier 1", before(1), bandCentre(0, EventKind::Alarm), 2},
        {"tamper of barrier 3", before(40), bandCentre(2, EventKind::Tamper), 6},
        {"fault of barrier 1", before(41), bandCentre(0, EventKind::Fault), 7},
        {"the end mark", before(44), strip->laneRect(8).center().y(), 10},
        // Nothing of that kind there: the press seeks to the time.
        {"alarm band, nothing", strip->xAt(sec(20)), bandCentre(0, EventKind::Alarm), 5},
        {"fault band beside an alarm", before(1), bandCentre(0, EventKind::Fault), 1},
        {"alarm band of another barrier", before(1), bandCentre(1, EventKind::Alarm), 1},
    };
    for (const Case& c : cases) {
        p.w.seek(3);
        QTest::mouseClick(strip, Qt::LeftButton, {}, QPoint(c.x, c.y));
        EXPECT_EQ(p.w.state().position, c.want) << c.what;
    }
    // Dragging the cursor seeks all the way.
    p.w.seek(1);
    const int y = strip->laneRect(4).center().y();
    QTest::mousePress(strip, Qt::LeftButton, {}, QPoint(strip->xAt(sec(0)), y));
    QTest::mouseMove(strip, QPoint(strip->xAt(sec(3.2)), y));
    EXPECT_EQ(p.w.state().position, 4);
    QTest::mouseMove(strip, QPoint(strip->xAt(sec(42.5)), y));
    EXPECT_EQ(p.w.state().position, 8);
    QTest::mouseRelease(strip, Qt::LeftButton, {}, QPoint(strip->xAt(sec(42.5)), y));
}

TEST(PlayerList, ShowsTheEventsAroundTheCursorAndADoubleClickGoesThere) {
    Player p;
    p.w.seek(4);
    std::vector<std::int64_t> records;
    for (const PlayerEvent& e : p.w.listedEvents()) records.push_back(e.record);
    EXPECT_EQ(records, (std::vector<std::int64_t>{2, 3, 4, 6, 7, 9}));
    auto* grid = p.w.findChild<QTableWidget*>("GridEvents");
    ASSERT_EQ(grid->rowCount(), 6);
    // The last event that has happened is the current row.
    ASSERT_EQ(grid->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(grid->selectionModel()->selectedRows().front().row(), 2);
    EXPECT_EQ(grid->item(3, 1)->text(), QStringLiteral("3"));
    EXPECT_EQ(grid->item(3, 2)->text(), QStringLiteral("Tamper"));
    EXPECT_EQ(grid->item(2, 3)->text(), QStringLiteral("OFF"));
    emit grid->cellDoubleClicked(4, 0);
    EXPECT_EQ(p.w.state().position, 7);
}

TEST(PlayerTexts, EnglishOrItalianByTheProgramsLanguage) {
    setRegionalFormats(QStringLiteral("dd/MM/yyyy"), QStringLiteral("HH:mm:ss"));
    struct Case {
        bool italian;
        const char* record;
        const char* alarm;
        const char* beam;
        const char* fault;
        const char* clockBack;
    } cases[] = {
        {false, "record 3 of 10", "Alarm", "Beam 4", "Fault", "Clock back"},
        {true, "record 3 di 10", "Allarme", "Raggio 4", "Guasto", "Orologio indietro"},
    };
    for (const Case& c : cases) {
        Player p(night(), c.italian);
        p.w.seek(3);
        EXPECT_EQ(p.w.recordText(), QString::fromUtf8(c.record));
        EXPECT_EQ(p.w.positionText(), QStringLiteral("08/12/2026 03:00:02.000"));
        EXPECT_EQ(playerKindText(EventKind::Alarm, c.italian), QString::fromUtf8(c.alarm));
        EXPECT_EQ(playerElementText(4, c.italian), QString::fromUtf8(c.beam));
        EXPECT_EQ(playerElementText(Element::Fault, c.italian), QString::fromUtf8(c.fault));
        EXPECT_EQ(playerMarkText(MarkKind::ClockBack, c.italian), QString::fromUtf8(c.clockBack));
    }
    resetRegionalFormats();
}

TEST(PlayerStrip, FaultsAndTampersNeverLookLikeAlarms) {
    // Each kind in its own band, and no two kinds painted alike.
    const QRect lane(0, 0, 12, TTimeStrip::kLaneHeight);
    std::vector<QImage> looks;
    for (int k = 0; k < kEventKinds; ++k) {
        const QRect band = TTimeStrip::kindBand(lane, static_cast<EventKind>(k));
        for (int j = 0; j < k; ++j)
            EXPECT_FALSE(band.intersects(TTimeStrip::kindBand(lane, static_cast<EventKind>(j))))
                << k << " and " << j;
        QImage img(12, 8, QImage::Format_RGB32);
        img.fill(Qt::white);
        QPainter painter(&img);
        TTimeStrip::paintKind(painter, static_cast<EventKind>(k), QRect(0, 0, 12, 8));
        painter.end();
        for (const QImage& other : looks) EXPECT_NE(img, other) << k;
        looks.push_back(img);
    }
    // The alarm is solid; the tamper and the fault leave white inside their bands.
    const auto whiteShare = [](const QImage& img) {
        int white = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) white += img.pixel(x, y) == qRgb(255, 255, 255);
        return white;
    };
    EXPECT_EQ(whiteShare(looks[static_cast<int>(EventKind::Alarm)]), 0);
    EXPECT_GT(whiteShare(looks[static_cast<int>(EventKind::Tamper)]), 12);
    EXPECT_GT(whiteShare(looks[static_cast<int>(EventKind::Fault)]), 12);
}
