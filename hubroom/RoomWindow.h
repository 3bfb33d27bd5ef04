#pragma once
// hubroom's main window: the grid of sites with its filter box, the alarm log
// with acknowledgement, search and export, and the sound's Silence button.
#include "hubroom/room.h"

#include <QAbstractTableModel>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <map>

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QSpinBox;
class QTableView;

namespace hub::room {

class SiteGrid;
class SiteMonitor;

// The log's rows, newest first, as the history returns them for a query.
class AlarmLogModel : public QAbstractTableModel {
    Q_OBJECT
public:
    AlarmLogModel(bool italian, QObject* parent = nullptr) : QAbstractTableModel(parent), italian_(italian) {}
    void setEntries(std::vector<LogEntry> e);
    const std::vector<LogEntry>& entries() const { return entries_; }
    int rowCount(const QModelIndex& = QModelIndex()) const override { return static_cast<int>(entries_.size()); }
    int columnCount(const QModelIndex& = QModelIndex()) const override { return 8; }
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

private:
    bool italian_;
    std::vector<LogEntry> entries_;
};

class RoomWindow : public QMainWindow {
    Q_OBJECT
public:
    RoomWindow(Room& room, bool italian, QWidget* parent = nullptr);
    ~RoomWindow() override;

    SiteGrid* grid() { return grid_; }
    QTableView* logView() { return logView_; }
    AlarmLogModel* logModel() { return logModel_; }
    QLineEdit* filterBox() { return filter_; }
    QLineEdit* operatorBox() { return operator_; }
    // Opens (or brings up) a site's monitor.
    SiteMonitor* openSite(const QString& site);
    SiteMonitor* siteMonitor(const QString& site);
    // The broker connection's state, shown in the status bar.
    void setConnectionText(const QString& text);
    // Applies pending changes now (the window otherwise batches them).
    void refreshNow();
    // The log's query from the search row.
    LogQuery query() const;

    // Handlers.
    void BAckClick();
    void BAckSiteClick();
    void BSilenceClick();
    void BExportClick();
    void BSearchClick();

private:
    void scheduleRefresh();
    void onAlarm(const QString& site);
    QString askNote(const QString& what);
    bool haveOperator();

    Room& room_;
    bool italian_;
    SiteGrid* grid_;
    QScrollArea* gridScroll_;
    QLineEdit* filter_;
    QLineEdit* operator_;
    QLabel* summary_;
    QLabel* connection_;
    QPushButton* silence_;
    QTableView* logView_;
    AlarmLogModel* logModel_;
    QLineEdit* qSite_;
    QSpinBox* qBarrier_;
    QComboBox* qKind_;
    QCheckBox* qPeriod_;
    QDateTimeEdit* qFrom_;
    QDateTimeEdit* qTo_;
    QTimer refresh_;
    bool gridDirty_ = true;
    bool logDirty_ = true;
    std::map<QString, QPointer<SiteMonitor>> monitors_;
};

} // namespace hub::room
