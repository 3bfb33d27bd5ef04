#include "hubroom/RoomWindow.h"

#include "common/DialogSeam.h"
#include "hubroom/SiteGrid.h"
#include "hubroom/SiteMonitor.h"
#include "hubroom/roomtexts.h"
#include "monitor/elementevents.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QVBoxLayout>

namespace hub::room {

namespace {
QString localText(const QDateTime& t) {
    return t.isValid() ? t.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QString();
}
} // namespace

void AlarmLogModel::setEntries(std::vector<LogEntry> e) {
    beginResetModel();
    entries_ = std::move(e);
    endResetModel();
}

QVariant AlarmLogModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const LogEntry& e = entries_[static_cast<size_t>(index.row())];
    if (role == Qt::BackgroundRole && index.column() == 2) {
        const Condition c = worstCondition(static_cast<std::uint16_t>(1u << (e.element - 1)));
        return conditionColour(c);
    }
    if (role == Qt::ForegroundRole && index.column() == 2) {
        const Condition c = worstCondition(static_cast<std::uint16_t>(1u << (e.element - 1)));
        return inkOn(conditionColour(c));
    }
    if (role == Qt::FontRole && !e.acknowledged() && e.raised.isValid()) {
        QFont f;
        f.setBold(true);
        return f;
    }
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
    case 0: return e.site;
    case 1: return e.barrier;
    case 2: {
        const Condition c = worstCondition(static_cast<std::uint16_t>(1u << (e.element - 1)));
        return conditionLetter(c, italian_) + QStringLiteral("  ") + conditionText(c, italian_);
    }
    case 3: return localText(e.raised);
    case 4: return localText(e.restored);
    case 5: return e.ackBy;
    case 6: return localText(e.ackTime);
    case 7: return e.ackNote;
    }
    return {};
}

QVariant AlarmLogModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* en[] = {"Site", "Barrier", "Element", "Raised", "Restored", "Acknowledged by", "At", "Note"};
    static const char* it[] = {"Sito", "Barriera", "Elemento", "Inizio", "Ripristino", "Riconosciuto da", "Alle", "Nota"};
    return tr2(italian_, en[section], it[section]);
}

RoomWindow::RoomWindow(Room& room, bool italian, QWidget* parent)
    : QMainWindow(parent), room_(room), italian_(italian) {
    const bool it = italian;
    setWindowTitle(QStringLiteral("hubroom"));
    auto* central = new QWidget(this);
    auto* lay = new QVBoxLayout(central);
    lay->setContentsMargins(4, 4, 4, 4);

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(tr2(it, "Find site:", "Cerca sito:"), central));
    filter_ = new QLineEdit(central);
    filter_->setClearButtonEnabled(true);
    filter_->setMaximumWidth(220);
    top->addWidget(filter_);
    summary_ = new QLabel(central);
    top->addWidget(summary_, 1);
    top->addWidget(new QLabel(tr2(it, "Operator:", "Operatore:"), central));
    operator_ = new QLineEdit(central);
    operator_->setMaximumWidth(160);
    top->addWidget(operator_);
    silence_ = new QPushButton(tr2(it, "Silence", "Silenzia"), central);
    silence_->setEnabled(false);
    top->addWidget(silence_);
    lay->addLayout(top);

    auto* split = new QSplitter(Qt::Vertical, central);
    gridScroll_ = new QScrollArea(split);
    gridScroll_->setWidgetResizable(true);
    grid_ = new SiteGrid;
    grid_->setItalian(it);
    gridScroll_->setWidget(grid_);
    split->addWidget(gridScroll_);

    auto* logPane = new QWidget(split);
    auto* logLay = new QVBoxLayout(logPane);
    logLay->setContentsMargins(0, 0, 0, 0);
    auto* search = new QHBoxLayout;
    search->addWidget(new QLabel(tr2(it, "Log - site:", "Registro - sito:"), logPane));
    qSite_ = new QLineEdit(logPane);
    qSite_->setMinimumWidth(100);
    qSite_->setMaximumWidth(140);
    search->addWidget(qSite_);
    search->addWidget(new QLabel(tr2(it, "barrier:", "barriera:"), logPane));
    qBarrier_ = new QSpinBox(logPane);
    qBarrier_->setRange(0, 8);
    qBarrier_->setSpecialValueText(tr2(it, "all", "tutte"));
    search->addWidget(qBarrier_);
    qKind_ = new QComboBox(logPane);
    qKind_->addItem(tr2(it, "every kind", "ogni tipo"), QString());
    for (Condition c : {Condition::Alarm, Condition::Tamper, Condition::Fault, Condition::Disq})
        qKind_->addItem(conditionText(c, it), conditionName(c));
    search->addWidget(qKind_);
    qPeriod_ = new QCheckBox(tr2(it, "from", "dal"), logPane);
    search->addWidget(qPeriod_);
    qFrom_ = new QDateTimeEdit(QDateTime::currentDateTime().addDays(-1), logPane);
    qTo_ = new QDateTimeEdit(QDateTime::currentDateTime().addDays(1), logPane);
    qFrom_->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm"));
    qTo_->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm"));
    search->addWidget(qFrom_);
    search->addWidget(new QLabel(tr2(it, "to", "al"), logPane));
    search->addWidget(qTo_);
    auto* bSearch = new QPushButton(tr2(it, "Search", "Cerca"), logPane);
    search->addWidget(bSearch);
    auto* bExport = new QPushButton(tr2(it, "Export CSV...", "Esporta CSV..."), logPane);
    search->addWidget(bExport);
    search->addStretch(1);
    auto* bAck = new QPushButton(tr2(it, "Acknowledge", "Riconosci"), logPane);
    auto* bAckSite = new QPushButton(tr2(it, "Acknowledge site", "Riconosci sito"), logPane);
    search->addWidget(bAck);
    search->addWidget(bAckSite);
    logLay->addLayout(search);
    logModel_ = new AlarmLogModel(it, this);
    logView_ = new QTableView(logPane);
    logView_->setModel(logModel_);
    logView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    logView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    logView_->verticalHeader()->hide();
    logView_->verticalHeader()->setDefaultSectionSize(20);
    logView_->horizontalHeader()->setStretchLastSection(true);
    for (int c = 0; c < 8; ++c) logView_->setColumnWidth(c, c == 1 ? 60 : c == 2 ? 130 : 150);
    logLay->addWidget(logView_);
    split->addWidget(logPane);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    split->setSizes({420, 260});
    gridScroll_->setMinimumHeight(SiteGrid::kTileH + 2 * SiteGrid::kGap + 4);
    lay->addWidget(split, 1);
    setCentralWidget(central);
    connection_ = new QLabel(this);
    statusBar()->addWidget(connection_, 1);
    resize(1024, 720);

    connect(filter_, &QLineEdit::textChanged, this, [this] {
        gridDirty_ = true;
        refreshNow();
    });
    connect(silence_, &QPushButton::clicked, this, &RoomWindow::BSilenceClick);
    connect(bAck, &QPushButton::clicked, this, &RoomWindow::BAckClick);
    connect(bAckSite, &QPushButton::clicked, this, &RoomWindow::BAckSiteClick);
    connect(bExport, &QPushButton::clicked, this, &RoomWindow::BExportClick);
    connect(bSearch, &QPushButton::clicked, this, &RoomWindow::BSearchClick);
    connect(grid_, &SiteGrid::siteActivated, this, [this](const QString& s) { openSite(s); });
    connect(grid_, &SiteGrid::siteSelected, this, [this](const QString& s) { qSite_->setText(s); });

    // Changes are batched: a busy room repaints a few times a second, not once a message.
    refresh_.setSingleShot(true);
    refresh_.setInterval(250);
    connect(&refresh_, &QTimer::timeout, this, &RoomWindow::refreshNow);
    connect(&room_, &Room::siteChanged, this, [this](const QString& site) {
        gridDirty_ = true;
        const auto m = monitors_.find(site);
        if (m != monitors_.end() && m->second) {
            if (const Site* s = room_.sites().site(site)) m->second->feed(*s, room_.model(site));
        }
        scheduleRefresh();
    });
    connect(&room_, &Room::logChanged, this, [this] {
        logDirty_ = true;
        scheduleRefresh();
    });
    connect(&room_, &Room::alarmRaised, this, &RoomWindow::onAlarm);
    connect(&room_, &Room::beepingChanged, silence_, &QWidget::setEnabled);
    silence_->setEnabled(room_.beeping());
    refreshNow();
}

RoomWindow::~RoomWindow() {
    for (auto& [s, m] : monitors_) delete m.data();
}

void RoomWindow::scheduleRefresh() {
    if (!refresh_.isActive()) refresh_.start();
}

LogQuery RoomWindow::query() const {
    LogQuery q;
    q.site = qSite_->text().trimmed();
    q.barrier = qBarrier_->value();
    q.kind = qKind_->currentData().toString();
    if (qPeriod_->isChecked()) {
        q.from = qFrom_->dateTime().toUTC();
        q.to = qTo_->dateTime().toUTC();
    }
    return q;
}

void RoomWindow::refreshNow() {
    refresh_.stop();
    if (gridDirty_) {
        gridDirty_ = false;
        grid_->setTiles(tilesOf(room_.sites(), filter_->text().trimmed()));
        int alarms = 0, faults = 0, silent = 0, lost = 0;
        for (const Tile& t : grid_->tiles()) {
            Condition w = Condition::None;
            for (int b = 0; b < 8; ++b)
                if (t.present[static_cast<size_t>(b)]) w = std::max(w, t.cells[static_cast<size_t>(b)]);
            alarms += w == Condition::Alarm;
            faults += w == Condition::Fault || w == Condition::Tamper;
            silent += t.silent;
            lost += t.status == SiteStatus::Lost;
        }
        summary_->setText(tr2(italian_, "%1 sites   %2 in alarm   %3 tamper/fault   %4 silent   %5 lost",
                              "%1 siti   %2 in allarme   %3 manomissione/guasto   %4 silenti   %5 persi")
                              .arg(grid_->tiles().size())
                              .arg(alarms)
                              .arg(faults)
                              .arg(silent)
                              .arg(lost));
    }
    if (logDirty_) {
        logDirty_ = false;
        const qint64 keep = logView_->currentIndex().isValid() && logView_->currentIndex().row() < logModel_->rowCount()
                                ? logModel_->entries()[static_cast<size_t>(logView_->currentIndex().row())].id
                                : 0;
        LogQuery q = query();
        q.limit = 300; // the newest; the search by period and the export reach the rest
        logModel_->setEntries(room_.history().search(q));
        for (int r = 0; keep && r < logModel_->rowCount(); ++r)
            if (logModel_->entries()[static_cast<size_t>(r)].id == keep) {
                logView_->selectRow(r);
                break;
            }
    }
}

SiteMonitor* RoomWindow::siteMonitor(const QString& site) {
    const auto it = monitors_.find(site);
    return it != monitors_.end() ? it->second.data() : nullptr;
}

SiteMonitor* RoomWindow::openSite(const QString& site) {
    SiteMonitor* m = siteMonitor(site);
    if (!m) {
        m = new SiteMonitor(site, italian_);
        m->setAttribute(Qt::WA_DeleteOnClose);
        monitors_[site] = m;
    }
    if (const Site* s = room_.sites().site(site)) m->feed(*s, room_.model(site));
    m->show();
    m->raise();
    m->activateWindow();
    return m;
}

void RoomWindow::setConnectionText(const QString& text) { connection_->setText(text); }

void RoomWindow::onAlarm(const QString&) {
    // The guard may be looking elsewhere: the room comes to the front.
    if (isMinimized()) showNormal();
    raise();
    activateWindow();
}

bool RoomWindow::haveOperator() {
    if (!operator_->text().trimmed().isEmpty()) return true;
    showError(this, tr2(italian_, "Type the operator's name first.", "Scrivere prima il nome dell'operatore."));
    operator_->setFocus();
    return false;
}

QString RoomWindow::askNote(const QString& what) {
    if (const auto a = DialogSeam::take(QStringLiteral("ack-note"))) return a->toString();
    bool ok = false;
    const QString note = QInputDialog::getText(this, tr2(italian_, "Acknowledge", "Riconosci"),
                                               what, QLineEdit::Normal, QString(), &ok);
    return ok ? note : QString(QChar(0)); // NUL: cancelled
}

void RoomWindow::BAckClick() {
    const QModelIndex i = logView_->currentIndex();
    if (!i.isValid() || !haveOperator()) return;
    const LogEntry e = logModel_->entries()[static_cast<size_t>(i.row())];
    if (e.acknowledged() || !e.raised.isValid()) return;
    const QString note = askNote(tr2(italian_, "Note for %1, barrier %2:", "Nota per %1, barriera %2:")
                                     .arg(e.site)
                                     .arg(e.barrier));
    if (note == QString(QChar(0))) return;
    room_.acknowledge(e.id, operator_->text().trimmed(), note);
    refreshNow();
}

void RoomWindow::BAckSiteClick() {
    QString site = qSite_->text().trimmed();
    const QModelIndex i = logView_->currentIndex();
    if (site.isEmpty() && i.isValid()) site = logModel_->entries()[static_cast<size_t>(i.row())].site;
    if (site.isEmpty() || !haveOperator()) return;
    const QString note = askNote(tr2(italian_, "Note for every open entry of %1:", "Nota per ogni voce aperta di %1:").arg(site));
    if (note == QString(QChar(0))) return;
    room_.acknowledgeSite(site, operator_->text().trimmed(), note);
    refreshNow();
}

void RoomWindow::BSilenceClick() { room_.silence(); }

void RoomWindow::BSearchClick() {
    logDirty_ = true;
    refreshNow();
}

void RoomWindow::BExportClick() {
    const QString path = saveFileName(this, tr2(italian_, "Export the log", "Esporta il registro"), QString(),
                                      QStringLiteral("CSV (*.csv)"));
    if (path.isEmpty()) return;
    QString err;
    if (!room_.history().exportCsv(query(), path, &err)) showError(this, err);
}

} // namespace hub::room
