#pragma once
// The control room without its windows: every message from the broker goes
// through here into the site table, the history and the archive; gaps are
// asked again, acknowledgements go back to the sites, and a new alarm keeps
// beeping until it is acknowledged or silenced.
#include "hubroom/archive.h"
#include "hubroom/history.h"
#include "hubroom/sites.h"
#include "monitor/display/monitormodel.h"
#include "monitor/hubstate.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

namespace hub::room {

struct RoomOptions {
    QString prefix = QStringLiteral("hub");
    int silentAfter = 30;    // seconds
    QString historyPath;     // SQLite file; empty: no history
    QString archiveDir;      // empty: no archive
    int beepEveryMs = 1000;
    int tickMs = 1000;       // the coarse timer (silent sites, gaps asked again)
    // The history's writes are committed together at most this long after
    // the first of them: one transaction a batch, not one an event. A crash
    // loses at most this span, which the numbering asks the sites again for.
    int commitEveryMs = 150;
};

// A site's monitor as the site draws it: every settings block and state
// record applied in order from the start, so counters and remembered LEDs
// match the site's, whether or not a window shows it.
struct SiteModel {
    SiteModel();
    // False when the block is the one applied already.
    bool settings(const SettingsMsg& m);
    void record(const StateRecord& r);
    MonitorModel model;
    HubState hub;
    std::vector<std::uint8_t> block;
    std::uint8_t kind = 0;
};

class Room : public QObject {
    Q_OBJECT
public:
    // publish(topic, payload): QoS 1, not retained.
    using PublishFn = std::function<void(const QString& topic, const QByteArray& payload)>;
    using BeepFn = std::function<void()>;

    explicit Room(RoomOptions options, QObject* parent = nullptr);
    ~Room() override;

    // Opens the history and restores where each site's numbering stood.
    bool open(QString* error = nullptr);
    void setPublisher(PublishFn fn) { publish_ = std::move(fn); }
    void setBeeper(BeepFn fn) { beep_ = std::move(fn); }

    // One message from the broker.
    void message(const QString& topic, const QByteArray& payload);
    // The coarse timer's work (also called by tests with their own clock).
    void tick();

    // Acknowledges one log entry / every open one of a site; publishes `ack`.
    bool acknowledge(qint64 entryId, const QString& by, const QString& note);
    int acknowledgeSite(const QString& site, const QString& by, const QString& note);
    // Stops the sound; the alarms stay unacknowledged.
    void silence();
    bool beeping() const { return beeping_; }
    long long beeps() const { return beepCount_; }

    const SiteTable& sites() const { return sites_; }
    History& history() { return history_; }
    Archive* archive() { return archive_.get(); }
    // The site's monitor model (null before anything came from the site).
    const SiteModel* model(const QString& site) const;
    const RoomOptions& options() const { return options_; }
    // Test seam: the steady clock in ms.
    void setClock(std::function<qint64()> now) { now_ = std::move(now); }
    // Ends the archive's files (the room stops).
    void closeArchive();
    // Commits the history's open batch now.
    void flush();

signals:
    void siteChanged(const QString& site);
    // A log entry was added or changed (restore, acknowledgement).
    void logChanged(qint64 entryId);
    // A new alarm: the window comes to the front.
    void alarmRaised(const QString& site);
    void beepingChanged(bool on);

private:
    void startBeeping();
    void stopBeeping();
    void persist(const QString& site);
    // Opens the batch the history's writes go into.
    void batch();

    RoomOptions options_;
    SiteTable sites_;
    History history_;
    std::unique_ptr<Archive> archive_;
    PublishFn publish_;
    BeepFn beep_;
    QTimer tick_;
    QTimer beepTimer_;
    QTimer commitTimer_;
    bool batchOpen_ = false;
    QElapsedTimer clock_;
    std::function<qint64()> now_;
    bool beeping_ = false;
    long long beepCount_ = 0;
    std::map<QString, std::uint64_t> saved_; // numbering last written to the history
    std::map<QString, std::unique_ptr<SiteModel>> models_;
};

} // namespace hub::room
