#include "monitor/player/FPlayer.h"

#include "common/tdatetime.h"
#include "monitor/player/TimeStrip.h"
#include "monitor/player/playertime.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace hub {

namespace {

constexpr double kSecond = 1.0 / 86400.0;
// Events listed before and after the cursor.
constexpr int kListBefore = 12;
constexpr int kListAfter = 12;
// A tick never steps through more records than this (a recording far denser
// than any hub sends); the rest waits for the next tick.
constexpr int kMaxStepsPerTick = 200000;
constexpr int kListEveryMs = 500;

struct Text {
    const char* english;
    const char* italian;
};
QString tr2(const Text& t, bool italian) {
    return QString::fromUtf8(italian ? t.italian : t.english);
}

const Text kTitle{"ZEMBRA ---- REPLAY", "ZEMBRA ---- RIPRODUZIONE"};
const Text kRecordOf{"record %1 of %2", "record %1 di %2"};
const Text kIndexing{"Indexing the recording...", "Indicizzazione della registrazione..."};
const Text kSkipQuiet{"Skip quiet", "Salta le pause"};
const Text kAnyKind{"Any event", "Ogni evento"};
const Text kAnyBarrier{"Any barrier", "Ogni barriera"};
const Text kBarrierN{"Barrier %1", "Barriera %1"};
const Text kPrevEvent{"Previous event (PgUp)", "Evento precedente (PgUp)"};
const Text kNextEvent{"Next event (PgDn)", "Evento successivo (PgDn)"};
const Text kPrevRecord{"Previous record (Left)", "Record precedente (Sinistra)"};
const Text kNextRecord{"Next record (Right)", "Record successivo (Destra)"};
const Text kFirst{"Start of the recording (Home)", "Inizio della registrazione (Home)"};
const Text kLast{"End of the recording (End)", "Fine della registrazione (Fine)"};
const Text kPlayPause{"Play / pause (Space)", "Riproduci / pausa (Spazio)"};
const Text kZoomIn{"Zoom in (+, wheel)", "Ingrandisci (+, rotella)"};
const Text kZoomOut{"Zoom out (-, wheel)", "Riduci (-, rotella)"};
const Text kWhole{"Whole recording", "Tutta la registrazione"};
const Text kGo{"Go", "Vai"};
const Text kJumpHint{"Date and time to go to (%1)", "Data e ora a cui andare (%1)"};
const Text kNotUnderstood{"Not a date and time: %1", "Data e ora non valide: %1"};
const Text kNoEvent{"No such event", "Nessun evento del tipo scelto"};
const Text kHeaders[4] = {{"Time", "Ora"}, {"Barrier", "Barriera"}, {"Element", "Elemento"},
                          {"State", "Stato"}};
const Text kKinds[kEventKinds] = {
    {"Beam interrupted", "Raggio interrotto"}, {"Alarm", "Allarme"},   {"Tamper", "Tamper"},
    {"Fault", "Guasto"}, {"Disqualification", "Disqualifica"},        {"Stand-by", "Stand-by"},
    {"Blind", "Accecamento"}, {"Power", "Potenza"}};
// The kinds as the event choice names them, in its order.
const Text kChoiceKinds[kEventKinds] = {
    {"beam", "raggio"}, {"Alarm", "Allarme"}, {"Tamper", "Tamper"}, {"Fault", "Guasto"},
    {"Disq.", "Disq."}, {"Stb", "Stb"},       {"Blind", "Accec."},  {"Power", "Potenza"}};
const Text kMarks[kMarkKinds] = {{"Start", "Inizio"},
                                      {"Settings", "Impostazioni"},
                                      {"End", "Fine"},
                                      {"Clock back", "Orologio indietro"}};
const Text kMarksLane{"REC", "REG"};

// The legend under the strip: every kind as the strip draws it, and the
// recording's marks.
class StripLegend : public QWidget {
public:
    explicit StripLegend(QWidget* parent) : QWidget(parent) {
        setObjectName(QStringLiteral("Legend"));
        setMinimumHeight(22);
    }
    void setItalian(bool italian) {
        italian_ = italian;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        QFont f = font();
        f.setPixelSize(11);
        p.setFont(f);
        int x = 4;
        const int h = height();
        for (int k : {1, 2, 3, 4, 5, 6, 7, 0}) {
            const auto kind = static_cast<EventKind>(k);
            QRect lane(x, (h - TTimeStrip::kLaneHeight) / 2, 14, TTimeStrip::kLaneHeight);
            const QRect band = TTimeStrip::kindBand(lane, kind);
            // Thin bands are drawn taller here so the swatch can be seen.
            const QRect swatch(x, h / 2 - std::max(3, band.height()) / 2 - 1, 14,
                               std::max(5, band.height() + 2));
            TTimeStrip::paintKind(p, kind, swatch);
            x += 17;
            const QString text = playerKindText(kind, italian_);
            p.setPen(Qt::black);
            p.drawText(QRect(x, 0, 200, h), Qt::AlignLeft | Qt::AlignVCenter, text);
            x += p.fontMetrics().horizontalAdvance(text) + 12;
        }
        for (int k = 0; k < kMarkKinds; ++k) {
            const auto kind = static_cast<MarkKind>(k);
            TTimeStrip::paintMark(p, kind, QRect(x, 1, 12, h - 2));
            x += 15;
            const QString text = playerMarkText(kind, italian_);
            p.setPen(Qt::black);
            p.drawText(QRect(x, 0, 200, h), Qt::AlignLeft | Qt::AlignVCenter, text);
            x += p.fontMetrics().horizontalAdvance(text) + 12;
        }
    }
    QSize sizeHint() const override { return QSize(900, 22); }

private:
    bool italian_ = false;
};

QToolButton* tool(QWidget* parent, const char* name, const QString& text) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setText(text);
    b->setFocusPolicy(Qt::NoFocus);
    b->setMinimumWidth(30);
    return b;
}

} // namespace

QString playerKindText(EventKind k, bool italian) {
    return tr2(kKinds[static_cast<int>(k)], italian);
}

QString playerElementText(int element, bool italian) {
    if (element >= 1 && element <= 8)
        return (italian ? QStringLiteral("Raggio %1") : QStringLiteral("Beam %1")).arg(element);
    if (element >= Element::Alarm && element <= Element::Power)
        return tr2(kChoiceKinds[static_cast<int>(kindOfElement(element))], italian);
    return QString();
}

QString playerMarkText(MarkKind k, bool italian) {
    return tr2(kMarks[static_cast<int>(k)], italian);
}

TPlayer::TPlayer(bool italian, QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("Player"));
    setAttribute(Qt::WA_DeleteOnClose);
    state_.italian = italian;
    buildControls();
    showTexts();
    // Keys reach the player before its controls, except while a date is typed.
    qApp->installEventFilter(this);
    resize(980, 640);
    // The keys are the player's: no control holds the focus at first (a
    // blinking text cursor would also repaint twice a second).
    setFocusPolicy(Qt::StrongFocus);
    setFocus();
}

TPlayer::~TPlayer() {
    qApp->removeEventFilter(this);
    if (worker_) {
        cancel_ = true;
        worker_->wait();
    }
}

void TPlayer::buildControls() {
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(6, 6, 6, 6);
    top->setSpacing(4);

    auto* head = new QHBoxLayout;
    LPosition = new QLabel(this);
    LPosition->setObjectName(QStringLiteral("LPosition"));
    QFont pf = LPosition->font();
    pf.setPixelSize(18);
    pf.setBold(true);
    LPosition->setFont(pf);
    LRecord = new QLabel(this);
    LRecord->setObjectName(QStringLiteral("LRecord"));
    ProgIndex = new QProgressBar(this);
    ProgIndex->setObjectName(QStringLiteral("ProgIndex"));
    ProgIndex->setRange(0, 1000);
    ProgIndex->setTextVisible(false);
    LStatus = new QLabel(this);
    LStatus->setObjectName(QStringLiteral("LStatus"));
    QPalette sp = LStatus->palette();
    sp.setColor(QPalette::WindowText, QColor(0x80, 0x00, 0x00));
    LStatus->setPalette(sp);
    head->addWidget(LPosition);
    head->addSpacing(16);
    head->addWidget(LRecord);
    head->addSpacing(16);
    head->addWidget(ProgIndex, 1);
    head->addWidget(LStatus, 1);
    top->addLayout(head);

    Strip = new TTimeStrip(this);
    top->addWidget(Strip);
    StripScroll = new QScrollBar(Qt::Horizontal, this);
    StripScroll->setObjectName(QStringLiteral("StripScroll"));
    StripScroll->setFocusPolicy(Qt::NoFocus);
    top->addWidget(StripScroll);
    auto* legend = new StripLegend(this);
    Legend = legend;
    top->addWidget(Legend);

    auto* bar = new QHBoxLayout;
    BFirst = tool(this, "BFirst", QStringLiteral("|<<"));
    BPrevRecord = tool(this, "BPrevRecord", QStringLiteral("<"));
    BPlay = tool(this, "BPlay", QString());
    BPlay->setMinimumWidth(70);
    BNextRecord = tool(this, "BNextRecord", QStringLiteral(">"));
    BLast = tool(this, "BLast", QStringLiteral(">>|"));
    ComboSpeed = new QComboBox(this);
    ComboSpeed->setObjectName(QStringLiteral("ComboSpeed"));
    ComboSpeed->setFocusPolicy(Qt::NoFocus);
    for (int s : kSpeeds) ComboSpeed->addItem(QStringLiteral("x%1").arg(s), s);
    CheckQuiet = new QCheckBox(this);
    CheckQuiet->setObjectName(QStringLiteral("CheckQuiet"));
    CheckQuiet->setFocusPolicy(Qt::NoFocus);
    ComboKind = new QComboBox(this);
    ComboKind->setObjectName(QStringLiteral("ComboKind"));
    ComboKind->setFocusPolicy(Qt::NoFocus);
    ComboBarrier = new QComboBox(this);
    ComboBarrier->setObjectName(QStringLiteral("ComboBarrier"));
    ComboBarrier->setFocusPolicy(Qt::NoFocus);
    BPrevEvent = tool(this, "BPrevEvent", QStringLiteral("<<"));
    BNextEvent = tool(this, "BNextEvent", QStringLiteral(">>"));
    BZoomOut = tool(this, "BZoomOut", QStringLiteral("-"));
    BZoomIn = tool(this, "BZoomIn", QStringLiteral("+"));
    BWhole = tool(this, "BWhole", QStringLiteral("[ ]"));
    EditJump = new QLineEdit(this);
    EditJump->setObjectName(QStringLiteral("EditJump"));
    EditJump->setMinimumWidth(170);
    BJump = new QPushButton(this);
    BJump->setObjectName(QStringLiteral("BJump"));
    BJump->setFocusPolicy(Qt::NoFocus);
    for (QWidget* w : std::initializer_list<QWidget*>{BFirst, BPrevRecord, BPlay, BNextRecord, BLast,
                                                      ComboSpeed, CheckQuiet})
        bar->addWidget(w);
    bar->addSpacing(12);
    for (QWidget* w : std::initializer_list<QWidget*>{BPrevEvent, ComboKind, ComboBarrier, BNextEvent})
        bar->addWidget(w);
    bar->addSpacing(12);
    for (QWidget* w : std::initializer_list<QWidget*>{BZoomOut, BZoomIn, BWhole}) bar->addWidget(w);
    bar->addStretch(1);
    bar->addWidget(EditJump);
    bar->addWidget(BJump);
    top->addLayout(bar);

    GridEvents = new QTableWidget(0, 4, this);
    GridEvents->setObjectName(QStringLiteral("GridEvents"));
    GridEvents->setEditTriggers(QAbstractItemView::NoEditTriggers);
    GridEvents->setSelectionBehavior(QAbstractItemView::SelectRows);
    GridEvents->setSelectionMode(QAbstractItemView::SingleSelection);
    GridEvents->setFocusPolicy(Qt::NoFocus);
    GridEvents->verticalHeader()->hide();
    GridEvents->verticalHeader()->setDefaultSectionSize(18);
    GridEvents->horizontalHeader()->setStretchLastSection(true);
    GridEvents->setColumnWidth(0, 200);
    GridEvents->setColumnWidth(1, 80);
    GridEvents->setColumnWidth(2, 120);
    top->addWidget(GridEvents, 1);

    playTimer_ = new QTimer(this);
    playTimer_->setObjectName(QStringLiteral("TimerPlay"));
    playTimer_->setTimerType(Qt::CoarseTimer);
    pollTimer_ = new QTimer(this);
    pollTimer_->setInterval(100);

    connect(Strip, &TTimeStrip::seekTime, this, &TPlayer::seekTime);
    connect(Strip, &TTimeStrip::seekRecord, this, [this](std::int64_t n) { seek(n); });
    connect(Strip, &TTimeStrip::zoomBy, this, &TPlayer::zoom);
    connect(StripScroll, &QScrollBar::valueChanged, this, &TPlayer::scrolled);
    connect(BFirst, &QToolButton::clicked, this, [this] { seek(0); });
    connect(BLast, &QToolButton::clicked, this, [this] { seek(state_.count); });
    connect(BPrevRecord, &QToolButton::clicked, this, [this] { stepRecord(-1); });
    connect(BNextRecord, &QToolButton::clicked, this, [this] { stepRecord(1); });
    connect(BPlay, &QToolButton::clicked, this, &TPlayer::togglePlay);
    connect(ComboSpeed, &QComboBox::activated, this,
            [this](int i) { setSpeed(ComboSpeed->itemData(i).toInt()); });
    connect(CheckQuiet, &QCheckBox::toggled, this, &TPlayer::setSkipQuiet);
    const auto choice = [this] {
        const int k = ComboKind->currentData().toInt();
        setEventChoice(k < 0 ? std::nullopt : std::optional<EventKind>(static_cast<EventKind>(k)),
                       ComboBarrier->currentData().toInt());
    };
    connect(ComboKind, &QComboBox::activated, this, choice);
    connect(ComboBarrier, &QComboBox::activated, this, choice);
    connect(BPrevEvent, &QToolButton::clicked, this, [this] { stepEvent(-1); });
    connect(BNextEvent, &QToolButton::clicked, this, [this] { stepEvent(1); });
    connect(BZoomIn, &QToolButton::clicked, this, &TPlayer::zoomIn);
    connect(BZoomOut, &QToolButton::clicked, this, &TPlayer::zoomOut);
    connect(BWhole, &QToolButton::clicked, this, &TPlayer::showWhole);
    connect(BJump, &QPushButton::clicked, this, [this] { jumpTo(EditJump->text()); });
    connect(EditJump, &QLineEdit::returnPressed, this, [this] { jumpTo(EditJump->text()); });
    connect(GridEvents, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        if (row >= 0 && row < static_cast<int>(listed_.size()))
            seek(listed_[static_cast<size_t>(row)].record);
    });
    connect(playTimer_, &QTimer::timeout, this, &TPlayer::tick);
    connect(pollTimer_, &QTimer::timeout, this, &TPlayer::pollIndexer);
}

void TPlayer::showTexts() {
    const bool ita = state_.italian;
    setWindowTitle(tr2(kTitle, ita) +
                   (state_.path.isEmpty() ? QString() : QStringLiteral("  ") + QFileInfo(state_.path).fileName()));
    Strip->setMarksCaption(tr2(kMarksLane, ita));
    static_cast<StripLegend*>(Legend)->setItalian(ita);
    CheckQuiet->setText(tr2(kSkipQuiet, ita));
    // The event choice keeps its selection across the texts.
    const int kindIndex = std::max(0, ComboKind->currentIndex());
    const int barrierIndex = std::max(0, ComboBarrier->currentIndex());
    ComboKind->clear();
    ComboKind->addItem(tr2(kAnyKind, ita), -1);
    for (int k : {1, 2, 3, 4, 5, 6, 0, 7})
        ComboKind->addItem(tr2(kChoiceKinds[k], ita), k);
    ComboKind->setCurrentIndex(kindIndex);
    ComboBarrier->clear();
    ComboBarrier->addItem(tr2(kAnyBarrier, ita), 0);
    for (int b = 1; b <= 8; ++b) ComboBarrier->addItem(tr2(kBarrierN, ita).arg(b), b);
    ComboBarrier->setCurrentIndex(barrierIndex);
    BFirst->setToolTip(tr2(kFirst, ita));
    BLast->setToolTip(tr2(kLast, ita));
    BPrevRecord->setToolTip(tr2(kPrevRecord, ita));
    BNextRecord->setToolTip(tr2(kNextRecord, ita));
    BPlay->setToolTip(tr2(kPlayPause, ita));
    BPrevEvent->setToolTip(tr2(kPrevEvent, ita));
    BNextEvent->setToolTip(tr2(kNextEvent, ita));
    BZoomIn->setToolTip(tr2(kZoomIn, ita));
    BZoomOut->setToolTip(tr2(kZoomOut, ita));
    BWhole->setToolTip(tr2(kWhole, ita));
    BJump->setText(tr2(kGo, ita));
    EditJump->setPlaceholderText(positionTimeText(toTDateTime(QDate(2026, 12, 8), QTime(3, 12))));
    EditJump->setToolTip(tr2(kJumpHint, ita).arg(EditJump->placeholderText()));
    QStringList headers;
    for (const Text& h : kHeaders) headers << tr2(h, ita);
    GridEvents->setHorizontalHeaderLabels(headers);
    showPlayButton();
}

void TPlayer::showPlayButton() {
    const bool ita = state_.italian;
    BPlay->setText(state_.playing ? (ita ? QStringLiteral("|| Pausa") : QStringLiteral("|| Pause"))
                                  : (ita ? QStringLiteral("> Avvia") : QStringLiteral("> Play")));
}

void TPlayer::open(const QString& path, Indexer indexer) {
    resetState(path);
    ProgIndex->show();
    ProgIndex->setValue(0);
    LStatus->setText(tr2(kIndexing, state_.italian));
    cancel_ = false;
    workerProgress_ = 0.0;
    worker_ = QThread::create([this, path, indexer] {
        built_ = indexer(path, &buildError_, [this](double f) {
            workerProgress_ = f;
            return !cancel_.load();
        });
    });
    connect(worker_, &QThread::finished, this, [this] {
        worker_->deleteLater();
        worker_ = nullptr;
        pollTimer_->stop();
        if (!built_) {
            state_.error = buildError_;
            ProgIndex->hide();
            LStatus->setText(buildError_);
            return;
        }
        timeline_ = std::move(built_);
        becomeReady();
    });
    pollTimer_->start();
    worker_->start();
}

void TPlayer::open(const QString& path, std::unique_ptr<PlayerTimeline> timeline) {
    resetState(path);
    timeline_ = std::move(timeline);
    becomeReady();
}

void TPlayer::resetState(const QString& path) {
    PlayerState fresh;
    fresh.italian = state_.italian;
    fresh.path = path;
    state_ = fresh;
    showTexts();
}

void TPlayer::pollIndexer() {
    state_.progress = workerProgress_.load();
    ProgIndex->setValue(static_cast<int>(state_.progress * 1000));
}

void TPlayer::becomeReady() {
    state_.ready = true;
    state_.progress = 1.0;
    state_.count = timeline_->recordCount();
    state_.position = state_.count;
    ProgIndex->hide();
    LStatus->clear();
    Strip->setTimeline(timeline_.get());
    showWhole();
    showPosition();
    emit ready();
}

double TPlayer::fullStart() const { return timeline_ ? timeline_->minTime() : 0.0; }

double TPlayer::fullEnd() const {
    if (!timeline_) return 1.0;
    // Never narrower than the narrowest zoom.
    return std::max(timeline_->maxTime(), fullStart() + kMinimumViewSeconds * kSecond);
}

double TPlayer::cursorTime() const {
    if (!timeline_ || state_.count == 0) return fullStart();
    return timeline_->timeOf(std::max<std::int64_t>(1, state_.position));
}

QString TPlayer::positionText() const {
    if (!timeline_ || state_.count == 0) return QString();
    return positionTimeText(cursorTime());
}

QString TPlayer::recordText() const {
    return tr2(kRecordOf, state_.italian).arg(state_.position).arg(state_.count);
}

void TPlayer::seek(std::int64_t n) {
    if (!state_.ready) return;
    n = std::clamp<std::int64_t>(n, 0, state_.count);
    carry_ = 0.0;
    if (n == state_.position) return;
    state_.position = n;
    showPosition();
    emit positionChanged(n);
}

void TPlayer::seekTime(double t) {
    if (!state_.ready) return;
    seek(timeline_->recordsUntil(t));
}

void TPlayer::stepRecord(int delta) { seek(state_.position + delta); }

bool TPlayer::stepEvent(int direction) {
    if (!state_.ready) return false;
    const std::optional<PlayerEvent> e =
        direction > 0 ? timeline_->nextEvent(state_.position, state_.barrier, state_.kind)
                      : timeline_->previousEvent(state_.position, state_.barrier, state_.kind);
    if (!e) {
        LStatus->setText(tr2(kNoEvent, state_.italian));
        return false;
    }
    LStatus->clear();
    seek(e->record);
    return true;
}

void TPlayer::setPlaying(bool playing) {
    if (!state_.ready) playing = false;
    // Playing from the end starts again from the beginning.
    if (playing && !state_.playing && state_.position >= state_.count) seek(0);
    state_.playing = playing;
    carry_ = 0.0;
    restartTimer();
    showPlayButton();
    if (!playing && listStale_) fillEventList();
}

void TPlayer::togglePlay() { setPlaying(!state_.playing); }

void TPlayer::setSpeed(int speed) {
    if (std::find(kSpeeds.begin(), kSpeeds.end(), speed) == kSpeeds.end()) return;
    state_.speed = speed;
    ComboSpeed->setCurrentIndex(ComboSpeed->findData(speed));
    restartTimer();
}

void TPlayer::setSkipQuiet(bool on) {
    state_.skipQuiet = on;
    if (CheckQuiet->isChecked() != on) CheckQuiet->setChecked(on);
}

void TPlayer::setEventChoice(std::optional<EventKind> kind, int barrier) {
    state_.kind = kind;
    state_.barrier = std::clamp(barrier, 0, 8);
    ComboKind->setCurrentIndex(ComboKind->findData(kind ? static_cast<int>(*kind) : -1));
    ComboBarrier->setCurrentIndex(ComboBarrier->findData(state_.barrier));
}

bool TPlayer::jumpTo(const QString& text) {
    const std::optional<double> t = parsePositionTime(text);
    if (!t) {
        LStatus->setText(tr2(kNotUnderstood, state_.italian).arg(text));
        return false;
    }
    LStatus->clear();
    seekTime(*t);
    return true;
}

void TPlayer::restartTimer() {
    if (!state_.playing) {
        playTimer_->stop();
        return;
    }
    // Coarse ticks: the display needs no more, and the processor stays idle
    // between them.
    playTimer_->setInterval(state_.speed >= 16 ? 100 : 250);
    sinceTick_.start();
    playTimer_->start();
}

void TPlayer::tick() {
    const double elapsed = sinceTick_.isValid() ? sinceTick_.restart() / 1000.0 : 0.0;
    advance(elapsed);
}

void TPlayer::advance(double realSeconds) {
    if (!state_.playing || !state_.ready) return;
    double budget = carry_ + realSeconds * state_.speed;
    std::int64_t n = state_.position;
    double now = n > 0 ? timeline_->timeOf(n) : (state_.count ? timeline_->timeOf(1) : 0.0);
    int steps = 0;
    while (n < state_.count && steps < kMaxStepsPerTick) {
        const double next = timeline_->timeOf(n + 1);
        // A clock that went back plays its record at once.
        // Stamps are kept to the millisecond: so are the gaps.
        double gap = std::max(0.0, std::round((next - now) * 86400000.0) / 1000.0);
        if (state_.skipQuiet && gap > kQuietGapSeconds) gap = kQuietPlayedSeconds;
        if (budget < gap) break;
        budget -= gap;
        now = next;
        ++n;
        ++steps;
    }
    carry_ = n < state_.count ? budget : 0.0;
    const double kept = carry_;
    if (n != state_.position) {
        state_.position = n;
        showPosition();
        emit positionChanged(n);
    }
    carry_ = kept;
    if (n >= state_.count) setPlaying(false);
}

void TPlayer::showPosition() {
    LPosition->setText(positionText());
    LRecord->setText(recordText());
    const double t = cursorTime();
    Strip->setCursorTime(state_.count ? std::optional<double>(t) : std::nullopt);
    followCursor();
    // While playing, the list follows twice a second: repainting the table
    // is the dearest part of a tick, and nobody reads it faster.
    if (state_.playing && listShown_.isValid() && listShown_.elapsed() < kListEveryMs) {
        listStale_ = true;
        return;
    }
    fillEventList();
}

void TPlayer::followCursor() {
    const double t = cursorTime();
    const double span = state_.viewEnd - state_.viewStart;
    if (t >= state_.viewStart && t <= state_.viewEnd) return;
    // Playing pages forwards with the cursor near the left; a jump centres it.
    if (state_.playing && t > state_.viewEnd)
        setView(t - span * 0.1, t + span * 0.9);
    else
        setView(t - span / 2, t + span / 2);
}

void TPlayer::fillEventList() {
    listShown_.start();
    listStale_ = false;
    std::vector<PlayerEvent> events;
    if (timeline_) timeline_->eventsAround(state_.position, kListBefore, kListAfter, events);
    // The rows at or before the cursor have happened: the last of them is current.
    int current = -1;
    for (size_t i = 0; i < events.size(); ++i)
        if (events[i].record <= state_.position) current = static_cast<int>(i);
    const bool same = events.size() == listed_.size() &&
                      std::equal(events.begin(), events.end(), listed_.begin(),
                                 [](const PlayerEvent& a, const PlayerEvent& b) {
                                     return a.record == b.record && a.barrier == b.barrier &&
                                            a.element == b.element && a.on == b.on;
                                 });
    if (!same) {
        listed_ = std::move(events);
        const bool ita = state_.italian;
        GridEvents->setRowCount(static_cast<int>(listed_.size()));
        for (size_t i = 0; i < listed_.size(); ++i) {
            const PlayerEvent& e = listed_[i];
            const int r = static_cast<int>(i);
            const QString cells[4] = {positionTimeText(e.time), QString::number(e.barrier),
                                      playerElementText(e.element, ita),
                                      e.on ? QStringLiteral("ON") : QStringLiteral("OFF")};
            for (int c = 0; c < 4; ++c) {
                QTableWidgetItem* item = GridEvents->item(r, c);
                if (!item) {
                    item = new QTableWidgetItem;
                    GridEvents->setItem(r, c, item);
                }
                item->setText(cells[c]);
            }
        }
    }
    if (current >= 0) {
        GridEvents->selectRow(current);
        GridEvents->scrollToItem(GridEvents->item(current, 0), QAbstractItemView::PositionAtCenter);
    } else {
        GridEvents->clearSelection();
    }
}

void TPlayer::setView(double t0, double t1) {
    const double lo = fullStart();
    const double hi = fullEnd();
    const double span = std::clamp(t1 - t0, kMinimumViewSeconds * kSecond, hi - lo);
    t0 = std::clamp(t0, lo, hi - span);
    state_.viewStart = t0;
    state_.viewEnd = t0 + span;
    Strip->setView(state_.viewStart, state_.viewEnd);
    syncScrollBar();
}

void TPlayer::zoom(double factor, double aroundTime) {
    const double span = state_.viewEnd - state_.viewStart;
    if (span <= 0) return;
    const double f = (aroundTime - state_.viewStart) / span;
    const double next = span * factor;
    setView(aroundTime - f * next, aroundTime - f * next + next);
}

void TPlayer::zoomIn() { zoom(0.5, cursorTime()); }
void TPlayer::zoomOut() { zoom(2.0, cursorTime()); }
void TPlayer::showWhole() { setView(fullStart(), fullEnd()); }

void TPlayer::syncScrollBar() {
    // The scroll bar counts seconds from the recording's first stamp.
    const double full = (fullEnd() - fullStart()) / kSecond;
    const double span = (state_.viewEnd - state_.viewStart) / kSecond;
    syncingScroll_ = true;
    StripScroll->setRange(0, static_cast<int>(std::min(2e9, std::max(0.0, full - span))));
    StripScroll->setPageStep(static_cast<int>(std::min(2e9, std::max(1.0, span))));
    StripScroll->setSingleStep(std::max(1, StripScroll->pageStep() / 10));
    StripScroll->setValue(static_cast<int>((state_.viewStart - fullStart()) / kSecond));
    syncingScroll_ = false;
}

void TPlayer::scrolled(int value) {
    if (syncingScroll_) return;
    const double span = state_.viewEnd - state_.viewStart;
    const double t0 = fullStart() + value * kSecond;
    setView(t0, t0 + span);
}

bool TPlayer::handleKey(int key, Qt::KeyboardModifiers mods) {
    if (mods & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    switch (key) {
    case Qt::Key_Space: togglePlay(); return true;
    case Qt::Key_Left: stepRecord(-1); return true;
    case Qt::Key_Right: stepRecord(1); return true;
    case Qt::Key_PageUp: stepEvent(-1); return true;
    case Qt::Key_PageDown: stepEvent(1); return true;
    case Qt::Key_Home: seek(0); return true;
    case Qt::Key_End: seek(state_.count); return true;
    case Qt::Key_Plus:
    case Qt::Key_Equal: zoomIn(); return true;
    case Qt::Key_Minus: zoomOut(); return true;
    default: return false;
    }
}

bool TPlayer::eventFilter(QObject* o, QEvent* e) {
    if (e->type() == QEvent::KeyPress && o->isWidgetType() &&
        static_cast<QWidget*>(o)->window() == this && o != EditJump) {
        const auto* k = static_cast<QKeyEvent*>(e);
        if (handleKey(k->key(), k->modifiers())) return true;
    }
    return QWidget::eventFilter(o, e);
}

void TPlayer::closeEvent(QCloseEvent* e) {
    playTimer_->stop();
    cancel_ = true;
    emit closed();
    QWidget::closeEvent(e);
}

} // namespace hub
