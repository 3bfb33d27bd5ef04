#pragma once
// TPlayer: the replay player, a window of its own beside the main window. It
// indexes a recording in the background (a gauge meanwhile), then shows the
// time strip, the transport and the events around the cursor. Its position
// is announced with positionChanged(); the main window mirrors it.
#include "monitor/player/PlayerTimeline.h"

#include <QElapsedTimer>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QScrollBar;
class QTableWidget;
class QThread;
class QTimer;
class QToolButton;

namespace hub {

class TTimeStrip;

class TPlayer : public QWidget {
    Q_OBJECT
public:
    // One pass over a recording; progress(0..1) returns false to cancel.
    // nullptr (and *error, unless cancelled) when the file cannot be indexed.
    using Indexer = std::function<std::unique_ptr<PlayerTimeline>(
        const QString& path, QString* error, const std::function<bool(double)>& progress)>;

    static constexpr std::array<int, 7> kSpeeds{1, 2, 4, 8, 16, 32, 64};
    // Gaps longer than this play as kQuietPlayed when skipping quiet.
    static constexpr double kQuietGapSeconds = 10.0;
    static constexpr double kQuietPlayedSeconds = 1.0;
    static constexpr double kMinimumViewSeconds = 60.0;

    explicit TPlayer(bool italian, QWidget* parent = nullptr);
    ~TPlayer() override;

    // Indexes path on a worker thread; the window is usable (its gauge runs)
    // meanwhile. ready() and the cursor at the end when done.
    void open(const QString& path, Indexer indexer);
    // A timeline already at hand (tests): ready at once, cursor at the end.
    void open(const QString& path, std::unique_ptr<PlayerTimeline> timeline);
    const PlayerTimeline* timeline() const { return timeline_.get(); }
    const PlayerState& state() const { return state_; }

    // ---- transport ----
    void seek(std::int64_t n);
    void seekTime(double t); // the position that moment stands for
    void stepRecord(int delta);
    // Previous (-1) or next (+1) event of the chosen kind and barrier; false
    // when there is none (the position stays).
    bool stepEvent(int direction);
    void setPlaying(bool playing);
    void togglePlay();
    void setSpeed(int speed);
    void setSkipQuiet(bool on);
    void setEventChoice(std::optional<EventKind> kind, int barrier);
    // A typed date and time in the regional format: false when it does not read.
    bool jumpTo(const QString& text);
    // Plays on by this much real time, as the timer does on each tick.
    void advance(double realSeconds);

    // ---- the strip's range ----
    void setView(double t0, double t1);
    void zoom(double factor, double aroundTime);
    void zoomIn();
    void zoomOut();
    void showWhole();

    // The events the list shows, in its order.
    const std::vector<PlayerEvent>& listedEvents() const { return listed_; }
    QString positionText() const;
    QString recordText() const;

signals:
    void positionChanged(std::int64_t n);
    void ready();
    void closed();

protected:
    bool eventFilter(QObject* o, QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    bool handleKey(int key, Qt::KeyboardModifiers mods);
    void buildControls();
    void showTexts();
    void showPlayButton();
    void resetState(const QString& path);
    void becomeReady();
    void showPosition();
    void fillEventList();
    void followCursor();
    void syncScrollBar();
    void scrolled(int value);
    void pollIndexer();
    void tick();
    void restartTimer();
    double cursorTime() const;
    double fullStart() const;
    double fullEnd() const;

    PlayerState state_;
    std::unique_ptr<PlayerTimeline> timeline_;
    std::vector<PlayerEvent> listed_;
    double carry_ = 0.0; // recorded seconds played towards the next record

    // Indexing on a worker thread.
    QThread* worker_ = nullptr;
    std::atomic<double> workerProgress_{0.0};
    std::atomic<bool> cancel_{false};
    std::unique_ptr<PlayerTimeline> built_;
    QString buildError_;

    QTimer* playTimer_ = nullptr;
    QTimer* pollTimer_ = nullptr;
    QElapsedTimer sinceTick_;
    QElapsedTimer listShown_;
    bool listStale_ = false; // positions played since the list was filled
    bool syncingScroll_ = false;

    QLabel* LPosition = nullptr;
    QLabel* LRecord = nullptr;
    QLabel* LStatus = nullptr;
    QProgressBar* ProgIndex = nullptr;
    TTimeStrip* Strip = nullptr;
    QScrollBar* StripScroll = nullptr;
    QWidget* Legend = nullptr;
    QToolButton* BFirst = nullptr;
    QToolButton* BPrevRecord = nullptr;
    QToolButton* BPlay = nullptr;
    QToolButton* BNextRecord = nullptr;
    QToolButton* BLast = nullptr;
    QComboBox* ComboSpeed = nullptr;
    QCheckBox* CheckQuiet = nullptr;
    QComboBox* ComboKind = nullptr;
    QComboBox* ComboBarrier = nullptr;
    QToolButton* BPrevEvent = nullptr;
    QToolButton* BNextEvent = nullptr;
    QToolButton* BZoomOut = nullptr;
    QToolButton* BZoomIn = nullptr;
    QToolButton* BWhole = nullptr;
    QLineEdit* EditJump = nullptr;
    QPushButton* BJump = nullptr;
    QTableWidget* GridEvents = nullptr;
};

// The player's own texts, English or Italian.
QString playerKindText(EventKind k, bool italian);     // the legend's names
QString playerElementText(int element, bool italian);  // the list's element column
QString playerMarkText(MarkKind k, bool italian);

} // namespace hub
