#pragma once
// The control room's history in SQLite: the alarm log (every alarm, tamper,
// fault and disq. event with its restore), the acknowledgements and the sites'
// numbering, kept across restarts. An event already stored (same site and
// seq) is never stored twice.
#include "hubroom/payloads.h"

#include <QDateTime>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>
#include <map>
#include <memory>
#include <cstdint>
#include <optional>
#include <vector>

namespace hub::room {

// Kinds the log keeps.
bool isLoggedElement(int element);

struct LogEntry {
    qint64 id = 0;
    QString site;
    int barrier = 0;
    int element = 0;         // elementevents.h numbering
    std::uint64_t seq = 0;   // the raising event's seq (the restore's when no raise was seen)
    QDateTime raised;        // invalid when the raise was never seen
    QDateTime restored;      // invalid while still active
    std::uint64_t restoreSeq = 0;
    QString ackBy;           // empty while not acknowledged
    QString ackNote;
    QDateTime ackTime;
    bool acknowledged() const { return !ackBy.isEmpty(); }
    QString kind() const;    // "alarm", "tamper", "fault", "disq"
};

struct LogQuery {
    QString site;            // empty: every site
    int barrier = 0;         // 0: every barrier
    QString kind;            // empty: every kind
    QDateTime from, to;      // raise (or restore) time in [from, to); invalid: open
    int limit = 0;           // 0: no limit
};

class History {
public:
    History();
    ~History();
    History(const History&) = delete;
    History& operator=(const History&) = delete;

    // Opens (creating) the database file; false with *error on failure.
    bool open(const QString& path, QString* error = nullptr);
    void close();
    bool isOpen() const { return !connection_.isEmpty(); }

    // Stores a logged kind's event: a raise opens an entry, a restore closes
    // the open entry of the same element. Returns the entry touched, or
    // nullopt when the event was stored before (or is not a logged kind).
    std::optional<LogEntry> addEvent(const QString& site, const EventMsg& e);

    // Records an acknowledgement of the entry's raise; false when unknown or
    // acknowledged already.
    bool acknowledge(qint64 id, const QString& by, const QString& note, const QDateTime& at,
                     LogEntry* entry = nullptr);

    // Newest first.
    std::vector<LogEntry> search(const LogQuery& q) const;
    std::optional<LogEntry> entry(qint64 id) const;
    // Unacknowledged entries of a site (every site when empty).
    std::vector<LogEntry> unacknowledged(const QString& site = QString()) const;

    // The sites and where their numbering stood.
    void saveSite(const QString& site, std::uint64_t contiguous);
    std::vector<std::pair<QString, std::uint64_t>> sites() const;

    // Logged events stored (raises and restores).
    long long storedEvents() const;

    // Writes the entries of q (oldest first) as CSV; false with *error.
    bool exportCsv(const LogQuery& q, const QString& path, QString* error = nullptr) const;

    // Many events at once go in one transaction (the load of a busy room).
    void begin();
    void commit();

private:
    // The statement for sql, prepared once and kept: a busy room runs the
    // same few statements hundreds of times a second. Executed with binds.
    QSqlQuery* run(const QString& sql, const QVariantList& binds) const;

    QString connection_;
    mutable std::map<QString, std::unique_ptr<QSqlQuery>> statements_;
    int depth_ = 0;
};

} // namespace hub::room
