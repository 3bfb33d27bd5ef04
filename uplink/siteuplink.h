#pragma once
// A site's uplink: what its hub does, as the contract's messages, to a broker,
// with nothing lost. Events are numbered and journaled (Outbox) before they
// are published and leave the journal only on the broker's PUBACK; after any
// reconnect or restart every unconfirmed event goes out again, in order.
//
// The uplink works on a thread of its own (or a shared one); the post*()
// calls may come from any thread and only queue the work, so the window's
// thread never waits on a disk or a socket. statusChanged() is a queued signal.
#include "monitor/staterecord.h"
#include "uplink/contract.h"
#include "uplink/mqtturl.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>

class QThread;

namespace hub {

struct UplinkConfig {
    MqttUrl url;        // its site is the site's name
    QString password;
    QString caFile;
    QString prefix = QLatin1String(kDefaultTopicPrefix);
    QString journalPath; // SITE.outbox
    QString ackLogPath;  // SITE.acks: one JSON line an acknowledgement
    QString program;     // "hubmonitor 1.7"
    int stateIntervalMs = 250; // "state" at most this often, always the latest
    int keepAliveSeconds = 10;
};

// Where a site keeps its journal and acknowledgement log: in dir, named after the site.
UplinkConfig withJournalIn(UplinkConfig c, const QString& dir);

struct UplinkStatus {
    enum class Connection { Off, Connecting, Online, Waiting, Refused };
    Connection connection = Connection::Off;
    QString detail;              // the connection's own words
    std::uint64_t lastSeq = 0;   // the last event numbered
    std::size_t unconfirmed = 0; // events the broker has not confirmed yet
    QString journalError;        // empty while the journal writes
    std::size_t refused = 0;     // events the broker refused and has not taken since
    QString refusal;             // the last refusal: the topic, the event and the broker's reason
    // One short line for the window: "uplink SITE: online", "... waiting, 3 unconfirmed".
    QString text(const QString& site) const;
    bool operator==(const UplinkStatus&) const = default;
};

class SiteUplinkCore;

class SiteUplink : public QObject {
    Q_OBJECT
public:
    // With no thread given, the uplink runs on one of its own.
    explicit SiteUplink(UplinkConfig config, QThread* thread = nullptr, QObject* parent = nullptr);
    ~SiteUplink() override; // stop() if still running

    // Opens the journal (in the caller's thread: a journal that cannot be
    // opened is for the caller to report at start) and connects.
    bool start(QString* error);
    // Publishes "offline", disconnects cleanly and ends the uplink's thread.
    // Events not yet confirmed stay in the journal for the next start.
    void stop(int timeoutMs = 2000);

    void postAcquisitionStarted(const QString& port, const QDateTime& time);
    void postAcquisitionEnded(const QDateTime& time);
    void postSettings(std::uint8_t kind, const QByteArray& block, const QDateTime& time);
    void postState(const StateRecord& record, const QDateTime& time);
    void postLink(LinkState state, const QString& port, const QString& hubText, const QDateTime& time);
    // drained() follows once everything posted before is numbered and confirmed.
    void postDrain();

    const UplinkConfig& config() const { return m_config; }
    UplinkStatus status() const { return m_status; } // as last signalled
    // The journal's note from the start (a damaged tail dropped), empty if none.
    QString journalNote() const { return m_journalNote; }

signals:
    void statusChanged(const hub::UplinkStatus& status);
    // After postDrain(): every event posted before it is confirmed by the broker.
    void drained(std::uint64_t lastSeq);

private:
    friend class SiteUplinkCore;
    void onCoreStatus(const hub::UplinkStatus& s);

    UplinkConfig m_config;
    QThread* m_thread = nullptr;
    bool m_ownThread = false;
    bool m_running = false;
    SiteUplinkCore* m_core = nullptr;
    UplinkStatus m_status;
    QString m_journalNote;
};

} // namespace hub

Q_DECLARE_METATYPE(hub::UplinkStatus)
