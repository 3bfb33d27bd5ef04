// The replay player's hook into the main window: Ctrl+R, the player beside
// the window, and the window showing the player's position.
#include "common/DialogSeam.h"
#include "common/tdatetime.h"
#include "monitor/FAnaBarre.h"
#include "monitor/player/FPlayer.h"
#include "monitor/player/indextimeline.h"
#include "monitor/version.h"

#include <QElapsedTimer>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QShortcut>
#include <cstdio>

namespace hub {

namespace {
QString playerHint(bool italian) {
    return italian ? QStringLiteral("Ctrl+R: riproduzione della registrazione nel tempo")
                   : QStringLiteral("Ctrl+R: play the recording back through time");
}
// For the bench: HUBMONITOR_REPLAY_PROBE=1 prints the time from opening the
// player to its first display; HUBMONITOR_REPLAY_SPEED=N then plays the
// recording from its start at xN.
void benchHooks(TPlayer* p) {
    const bool probe = qEnvironmentVariableIntValue("HUBMONITOR_REPLAY_PROBE") == 1;
    const int speed = qEnvironmentVariableIntValue("HUBMONITOR_REPLAY_SPEED");
    if (!probe && speed <= 0) return;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(p, &TPlayer::ready, p, [p, probe, speed, clock] {
        if (probe) {
            std::printf("hubmonitor: player ready after %lld ms; %lld records\n",
                        static_cast<long long>(clock.elapsed()),
                        static_cast<long long>(p->state().count));
            std::fflush(stdout);
        }
        if (speed > 0) {
            p->seek(0);
            p->setSpeed(speed);
            p->setPlaying(true);
        }
    });
}

} // namespace

void TAnalisiBarre::buildPlayerHook() {
    auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_R), this);
    shortcut->setObjectName(QStringLiteral("ShortcutPlayer"));
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut, &QShortcut::activated, this, [this] { openPlayer(); });
}

bool TAnalisiBarre::canOpenPlayer() const {
    return !playerFile_.isEmpty() && !state_.acquiring() && !ProgRead->isVisible();
}

TPlayer* TAnalisiBarre::openPlayer() {
    if (player_) {
        player_->raise();
        player_->activateWindow();
        return player_;
    }
    if (!canOpenPlayer()) return nullptr;
    auto* p = new TPlayer(state_.italian(), this);
    player_ = p;
    connect(p, &TPlayer::positionChanged, this, &TAnalisiBarre::showReplayPosition);
    connect(p, &TPlayer::closed, this, &TAnalisiBarre::playerClosed);
    // Beside the main window; where the screen is too narrow on its right the
    // window moves left to make room, and where the two cannot fit side by
    // side the player keeps to the screen's right edge.
    QPoint at = frameGeometry().topRight() + QPoint(8, 0);
    if (const QScreen* s = screen()) {
        const QRect room = s->availableGeometry();
        const int need = frameGeometry().width() + 8 + p->frameGeometry().width();
        if (at.x() + p->frameGeometry().width() > room.right() + 1) {
            if (need <= room.width()) {
                move(room.left() + (room.width() - need) / 2 + (x() - frameGeometry().x()), y());
                at = frameGeometry().topRight() + QPoint(9, 0);
            } else {
                at.setX(std::max(room.left(), room.right() + 1 - p->frameGeometry().width()));
            }
        }
        at.setY(std::clamp(at.y(), room.top(), std::max(room.top(), room.bottom() - p->height())));
    }
    p->move(at);
    p->show();
    benchHooks(p);
    p->open(playerFile_, &indexTimeline);
    return p;
}

void TAnalisiBarre::showReplayPosition(std::int64_t n) {
    if (!player_ || !player_->timeline()) return;
    const bool compact = state_.zoom.isCompact();
    const PlayerTimeline& t = *player_->timeline();
    const ReplayOutcome out = mirror_.at >= 0 && mirror_.compact == compact
                                  ? t.stateAfterFrom(mirror_.at, mirror_.out, n, Monitor1->model(), hub, compact)
                                  : t.stateAfter(n, Monitor1->model(), hub, compact);
    mirror_ = {n, out, compact};
    // As ReadFile leaves a fresh window after reading the cut file.
    LStart->setText(out.hasStart ? dateTimeText(out.start) : QStringLiteral("//"));
    LCounter->setText(QString::number(out.counter));
    if (out.windowCaption)
        setWindowTitle(*out.windowCaption);
    else if (state_.viewer())
        setWindowTitle(state_.italian() ? QStringLiteral("ZEMBRA ---- INTERROGAZIONE")
                                        : QStringLiteral("ZEMBRA ---- INQUIRY"));
    else
        setWindowTitle(QLatin1String(kMainCaption));
    // A cut without a start record leaves the idle display, which forgets the file.
    state_.recording = out.idleReset ? QString() : playerFile_;
    state_.settings = settingsKindOf(hub);
    showState();
    Monitor1->refresh();
}

void TAnalisiBarre::playerClosed() {
    TPlayer* p = player_;
    if (!p) return;
    // Back to a viewer of the whole file.
    if (p->state().ready && p->state().position != p->state().count)
        showReplayPosition(p->state().count);
    state_.recording = playerFile_;
    showState();
    player_ = nullptr;
    mirror_ = {};
}

void TAnalisiBarre::dropPlayer() {
    playerFile_.clear();
    mirror_ = {};
    PanelTit->setToolTip(QString());
    if (TPlayer* p = player_) {
        player_ = nullptr;
        p->disconnect(this);
        p->close();
    }
}

void TAnalisiBarre::afterLoad() {
    playerFile_ = state_.recording;
    // The player is found from the title panel's hint: no control is added.
    PanelTit->setToolTip(playerFile_.isEmpty() ? QString() : playerHint(state_.italian()));
    if (std::exchange(playerAfterLoad_, false)) openPlayer();
}

} // namespace hub
