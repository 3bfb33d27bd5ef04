// The player as drawn, on a random night: PNGs of the strip at three zooms
// and during playback, in both languages, under <build>/screens (and under
// $HUB_PLAYER_SHOTS when set) for a look.
#include "../player/randomrecording.h"

#include "monitor/player/FPlayer.h"
#include "monitor/player/TimeStrip.h"
#include "monitor/player/indextimeline.h"

#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace hub;

namespace {

QStringList screenDirs() {
    QString build = qEnvironmentVariable("HUB_BUILD_DIR");
    if (build.isEmpty()) build = QDir::tempPath();
    QStringList dirs{build + QStringLiteral("/screens")};
    if (const QString extra = qEnvironmentVariable("HUB_PLAYER_SHOTS"); !extra.isEmpty()) dirs << extra;
    for (const QString& d : dirs) QDir().mkpath(d);
    return dirs;
}

void save(QWidget& w, const QString& name) {
    const QImage img = w.grab().toImage();
    for (const QString& d : screenDirs()) {
        const QString path = d + QStringLiteral("/player-") + name + QStringLiteral(".png");
        EXPECT_TRUE(img.save(path)) << path.toStdString();
    }
}

} // namespace

TEST(PlayerScreens, TheStripAtThreeZoomsAndPlayingInBothLanguages) {
    QTemporaryDir dir;
    playertest::Generator gen(11);
    const QString path = dir.filePath(QStringLiteral("night.dat"));
    ASSERT_TRUE(gen.make({true, 3, true, 600, 2, true}).rec.save(path));
    for (bool italian : {false, true}) {
        const QString lang = italian ? QStringLiteral("ita") : QStringLiteral("eng");
        auto index = std::make_unique<IndexTimeline>();
        QString error;
        ASSERT_TRUE(index->build(path, &error, {})) << error.toStdString();
        TPlayer p(italian);
        p.open(path, std::move(index));
        p.show();
        auto* strip = p.findChild<TTimeStrip*>(QStringLiteral("TimeStrip"));
        p.seek(p.state().count * 2 / 3);
        p.setEventChoice(EventKind::Alarm, 0);
        save(p, lang + QStringLiteral("-whole"));
        // The cursor is drawn where the position is.
        const QImage img = strip->grab().toImage();
        const int x = strip->xAt(p.timeline()->timeOf(p.state().position));
        EXPECT_EQ(img.pixel(x, strip->laneRect(4).center().y()), qRgb(0, 0, 0));
        p.zoomIn();
        p.zoomIn();
        p.zoomIn();
        save(p, lang + QStringLiteral("-zoomed"));
        for (int i = 0; i < 10; ++i) p.zoomIn();
        EXPECT_NEAR((p.state().viewEnd - p.state().viewStart) * 86400, 60, 1e-3);
        save(p, lang + QStringLiteral("-minute"));
        p.showWhole();
        p.zoomIn();
        p.setSpeed(64);
        p.setSkipQuiet(true);
        p.setPlaying(true);
        for (int i = 0; i < 20; ++i) p.advance(0.1);
        EXPECT_TRUE(p.state().playing);
        save(p, lang + QStringLiteral("-playing"));
        p.setPlaying(false);
    }
}
