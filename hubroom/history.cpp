#include "hubroom/history.h"

#include "monitor/elementevents.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTextStream>
#include <QUuid>
#include <QVariant>

namespace hub::room {

bool isLoggedElement(int element) {
    return element == Element::Alarm || element == Element::Tamper || element == Element::Fault ||
           element == Element::Disq;
}

QString LogEntry::kind() const { return elementName(element); }

namespace {

QDateTime timeOf(const QVariant& v) { return v.isNull() ? QDateTime() : parseIsoTime(v.toString()); }

const char* kColumns =
    "id, site, barrier, element, seq, raised, restored, restore_seq, ack_by, ack_note, ack_time";

LogEntry entryOf(const QSqlQuery& q) {
    LogEntry e;
    e.id = q.value(0).toLongLong();
    e.site = q.value(1).toString();
    e.barrier = q.value(2).toInt();
    e.element = q.value(3).toInt();
    e.seq = q.value(4).toULongLong();
    e.raised = timeOf(q.value(5));
    e.restored = timeOf(q.value(6));
    e.restoreSeq = q.value(7).toULongLong();
    e.ackBy = q.value(8).toString();
    e.ackNote = q.value(9).toString();
    e.ackTime = timeOf(q.value(10));
    return e;
}

QString csvField(const QString& s) {
    if (!s.contains(QLatin1Char(',')) && !s.contains(QLatin1Char('"')) && !s.contains(QLatin1Char('\n')))
        return s;
    QString q = s;
    q.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

} // namespace

History::History() = default;
History::~History() { close(); }

bool History::open(const QString& path, QString* error) {
    close();
    const QString name = QStringLiteral("hubroom-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        const auto fail = [&](const QString& why) {
            if (error) *error = QStringLiteral("%1: %2").arg(path, why);
            return false;
        };
        if (!db.open()) {
            const QString why = db.lastError().text();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
            return fail(why);
        }
        QSqlQuery q(db);
        const char* schema[] = {
            // WAL: the window reads while events are written; NORMAL sync is
            // still safe against a crash of the program.
            "PRAGMA journal_mode=WAL",
            "PRAGMA synchronous=NORMAL",
            "CREATE TABLE IF NOT EXISTS sites (name TEXT PRIMARY KEY, contiguous INTEGER NOT NULL)",
            "CREATE TABLE IF NOT EXISTS events (site TEXT NOT NULL, seq INTEGER NOT NULL, "
            "barrier INTEGER, element INTEGER, onoff INTEGER, time TEXT, PRIMARY KEY (site, seq))",
            "CREATE TABLE IF NOT EXISTS log (id INTEGER PRIMARY KEY AUTOINCREMENT, site TEXT NOT NULL, "
            "barrier INTEGER NOT NULL, element INTEGER NOT NULL, seq INTEGER NOT NULL, raised TEXT, "
            "restored TEXT, restore_seq INTEGER, ack_by TEXT, ack_note TEXT, ack_time TEXT)",
            "CREATE INDEX IF NOT EXISTS log_open ON log (site, barrier, element, restored)",
            // The log's order, newest first: the window asks for its first
            // rows a few times a second, which must not sort the whole log.
            "CREATE INDEX IF NOT EXISTS log_when ON log (COALESCE(raised, restored), seq, id)",
            "CREATE INDEX IF NOT EXISTS log_unacked ON log (site, id) WHERE ack_by IS NULL",
            "CREATE TABLE IF NOT EXISTS acks (id INTEGER PRIMARY KEY AUTOINCREMENT, log_id INTEGER, "
            "site TEXT, seq INTEGER, by TEXT, note TEXT, time TEXT)",
        };
        for (const char* s : schema) {
            if (!q.exec(QString::fromLatin1(s))) {
                const QString why = q.lastError().text();
                q = QSqlQuery();
                db.close();
                db = QSqlDatabase();
                QSqlDatabase::removeDatabase(name);
                return fail(why);
            }
        }
    }
    connection_ = name;
    return true;
}

void History::close() {
    if (connection_.isEmpty()) return;
    statements_.clear();
    {
        QSqlDatabase db = QSqlDatabase::database(connection_, false);
        if (depth_ > 0) db.commit();
        db.close();
    }
    QSqlDatabase::removeDatabase(connection_);
    connection_.clear();
    depth_ = 0;
}

QSqlQuery* History::run(const QString& sql, const QVariantList& binds) const {
    auto& q = statements_[sql];
    if (!q) {
        q = std::make_unique<QSqlQuery>(QSqlDatabase::database(connection_));
        if (!q->prepare(sql)) {
            q.reset();
            statements_.erase(sql);
            return nullptr;
        }
    }
    for (int i = 0; i < binds.size(); ++i) q->bindValue(i, binds[i]);
    return q->exec() ? q.get() : nullptr;
}

void History::begin() {
    if (depth_++ == 0) QSqlDatabase::database(connection_).transaction();
}

void History::commit() {
    if (depth_ > 0 && --depth_ == 0) QSqlDatabase::database(connection_).commit();
}

std::optional<LogEntry> History::addEvent(const QString& site, const EventMsg& e) {
    if (!isLoggedElement(e.element) || connection_.isEmpty()) return std::nullopt;
    const QSqlQuery* ins = run(QStringLiteral("INSERT OR IGNORE INTO events (site, seq, barrier, element, onoff, time) "
                                              "VALUES (?, ?, ?, ?, ?, ?)"),
                               {site, static_cast<qlonglong>(e.seq), e.barrier, e.element, e.on ? 1 : 0, isoTime(e.time)});
    if (!ins || ins->numRowsAffected() != 1) return std::nullopt;

    // The element's neighbours in seq order, whatever order they arrived in:
    // a raise is closed by the first restore after it, before the next raise.
    const auto neighbour = [&](bool on, bool after) -> std::optional<std::pair<std::uint64_t, QDateTime>> {
        QSqlQuery* n = run(QStringLiteral("SELECT seq, time FROM events WHERE site = ? AND barrier = ? AND element = ? "
                                          "AND onoff = ? AND seq %1 ? ORDER BY seq %2 LIMIT 1")
                               .arg(after ? QLatin1String(">") : QLatin1String("<"),
                                    after ? QLatin1String("ASC") : QLatin1String("DESC")),
                           {site, e.barrier, e.element, on ? 1 : 0, static_cast<qlonglong>(e.seq)});
        if (!n || !n->next()) return std::nullopt;
        std::pair out{static_cast<std::uint64_t>(n->value(0).toLongLong()), parseIsoTime(n->value(1).toString())};
        n->finish();
        return out;
    };
    const auto entryWith = [&](const char* column, std::uint64_t seq) -> std::optional<qint64> {
        QSqlQuery* f = run(QStringLiteral("SELECT id FROM log WHERE site = ? AND barrier = ? AND element = ? AND %1 = ?")
                               .arg(QLatin1String(column)),
                           {site, e.barrier, e.element, static_cast<qlonglong>(seq)});
        if (!f || !f->next()) return std::nullopt;
        const qint64 id = f->value(0).toLongLong();
        f->finish();
        return id;
    };
    const auto exec = [&](const QString& sql, const QVariantList& binds) {
        const QSqlQuery* u = run(sql, binds);
        return u ? u->lastInsertId().toLongLong() : qint64(0);
    };
    const QString site_ = site;
    const auto insert = [&](const QVariant& seq, const QVariant& raised, const QVariant& restored,
                            const QVariant& restoreSeq) {
        return exec(QStringLiteral("INSERT INTO log (site, barrier, element, seq, raised, restored, restore_seq) "
                                   "VALUES (?, ?, ?, ?, ?, ?, ?)"),
                    {site_, e.barrier, e.element, seq, raised, restored, restoreSeq});
    };
    const QVariant none;

    if (e.on) {
        const auto off = neighbour(false, true);
        const auto nextOn = neighbour(true, true);
        if (off && (!nextOn || off->first < nextOn->first)) {
            // Its restore came first: that entry was waiting for this raise.
            if (const auto id = entryWith("restore_seq", off->first)) {
                const auto waiting = entry(*id);
                if (waiting && !waiting->raised.isValid()) {
                    exec(QStringLiteral("UPDATE log SET seq = ?, raised = ? WHERE id = ?"),
                         {static_cast<qlonglong>(e.seq), isoTime(e.time), *id});
                    return entry(*id);
                }
            }
            return entry(insert(static_cast<qlonglong>(e.seq), isoTime(e.time), isoTime(off->second),
                                static_cast<qlonglong>(off->first)));
        }
        return entry(insert(static_cast<qlonglong>(e.seq), isoTime(e.time), none, none));
    }
    const auto on = neighbour(true, false);
    const auto prevOff = neighbour(false, false);
    if (on && (!prevOff || prevOff->first < on->first)) {
        if (const auto id = entryWith("seq", on->first)) {
            const auto raised = entry(*id);
            if (raised && raised->raised.isValid()) {
                if (raised->restoreSeq != 0 && raised->restoreSeq > e.seq) {
                    // It had been closed by a later restore, for want of this
                    // one: that restore now stands alone.
                    insert(static_cast<qlonglong>(raised->restoreSeq), none, isoTime(raised->restored),
                           static_cast<qlonglong>(raised->restoreSeq));
                }
                if (raised->restoreSeq == 0 || raised->restoreSeq > e.seq) {
                    exec(QStringLiteral("UPDATE log SET restored = ?, restore_seq = ? WHERE id = ?"),
                         {isoTime(e.time), static_cast<qlonglong>(e.seq), *id});
                    return entry(*id);
                }
            }
        }
    }
    return entry(insert(static_cast<qlonglong>(e.seq), none, isoTime(e.time), static_cast<qlonglong>(e.seq)));
}

bool History::acknowledge(qint64 id, const QString& by, const QString& note, const QDateTime& at,
                          LogEntry* out) {
    if (connection_.isEmpty() || by.isEmpty()) return false;
    QSqlDatabase db = QSqlDatabase::database(connection_);
    QSqlQuery u(db);
    u.prepare(QStringLiteral("UPDATE log SET ack_by = ?, ack_note = ?, ack_time = ? "
                             "WHERE id = ? AND ack_by IS NULL"));
    u.addBindValue(by);
    u.addBindValue(note);
    u.addBindValue(isoTime(at));
    u.addBindValue(id);
    if (!u.exec() || u.numRowsAffected() != 1) return false;
    const auto e = entry(id);
    if (!e) return false;
    QSqlQuery a(db);
    a.prepare(QStringLiteral("INSERT INTO acks (log_id, site, seq, by, note, time) VALUES (?, ?, ?, ?, ?, ?)"));
    a.addBindValue(id);
    a.addBindValue(e->site);
    a.addBindValue(static_cast<qlonglong>(e->seq));
    a.addBindValue(by);
    a.addBindValue(note);
    a.addBindValue(isoTime(at));
    a.exec();
    if (out) *out = *e;
    return true;
}

std::optional<LogEntry> History::entry(qint64 id) const {
    QSqlQuery* q = run(QStringLiteral("SELECT %1 FROM log WHERE id = ?").arg(QLatin1String(kColumns)), {id});
    if (!q || !q->next()) return std::nullopt;
    LogEntry e = entryOf(*q);
    q->finish();
    return e;
}

std::vector<LogEntry> History::search(const LogQuery& lq) const {
    std::vector<LogEntry> out;
    if (connection_.isEmpty()) return out;
    QString sql = QStringLiteral("SELECT %1 FROM log WHERE 1=1").arg(QLatin1String(kColumns));
    QVariantList binds;
    if (!lq.site.isEmpty()) sql += QStringLiteral(" AND site = ?"), binds << lq.site;
    if (lq.barrier > 0) sql += QStringLiteral(" AND barrier = ?"), binds << lq.barrier;
    if (!lq.kind.isEmpty()) {
        const auto e = elementFromName(lq.kind);
        sql += QStringLiteral(" AND element = ?");
        binds << (e ? *e : -1);
    }
    // ISO times in UTC with a fixed width sort as text.
    if (lq.from.isValid()) sql += QStringLiteral(" AND COALESCE(raised, restored) >= ?"), binds << isoTime(lq.from);
    if (lq.to.isValid()) sql += QStringLiteral(" AND COALESCE(raised, restored) < ?"), binds << isoTime(lq.to);
    sql += QStringLiteral(" ORDER BY COALESCE(raised, restored) DESC, seq DESC, id DESC");
    if (lq.limit > 0) sql += QStringLiteral(" LIMIT %1").arg(lq.limit);
    QSqlQuery q(QSqlDatabase::database(connection_));
    q.prepare(sql);
    for (const QVariant& b : binds) q.addBindValue(b);
    if (!q.exec()) return out;
    while (q.next()) out.push_back(entryOf(q));
    return out;
}

std::vector<LogEntry> History::unacknowledged(const QString& site) const {
    std::vector<LogEntry> out;
    if (connection_.isEmpty()) return out;
    QSqlQuery q(QSqlDatabase::database(connection_));
    q.prepare(QStringLiteral("SELECT %1 FROM log WHERE ack_by IS NULL AND raised IS NOT NULL%2 ORDER BY id")
                  .arg(QLatin1String(kColumns), site.isEmpty() ? QString() : QStringLiteral(" AND site = ?")));
    if (!site.isEmpty()) q.addBindValue(site);
    if (!q.exec()) return out;
    while (q.next()) out.push_back(entryOf(q));
    return out;
}

long long History::storedEvents() const {
    if (connection_.isEmpty()) return 0;
    QSqlQuery q(QSqlDatabase::database(connection_));
    return q.exec(QStringLiteral("SELECT COUNT(*) FROM events")) && q.next() ? q.value(0).toLongLong() : 0;
}

void History::saveSite(const QString& site, std::uint64_t contiguous) {
    if (connection_.isEmpty()) return;
    run(QStringLiteral("INSERT INTO sites (name, contiguous) VALUES (?, ?) "
                       "ON CONFLICT(name) DO UPDATE SET contiguous = excluded.contiguous"),
        {site, static_cast<qlonglong>(contiguous)});
}

std::vector<std::pair<QString, std::uint64_t>> History::sites() const {
    std::vector<std::pair<QString, std::uint64_t>> out;
    if (connection_.isEmpty()) return out;
    QSqlQuery q(QSqlDatabase::database(connection_));
    if (!q.exec(QStringLiteral("SELECT name, contiguous FROM sites ORDER BY name"))) return out;
    while (q.next()) out.emplace_back(q.value(0).toString(), q.value(1).toULongLong());
    return out;
}

bool History::exportCsv(const LogQuery& q, const QString& path, QString* error) const {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        if (error) *error = QStringLiteral("%1: %2").arg(path, f.errorString());
        return false;
    }
    QTextStream out(&f);
    out << "site,barrier,kind,seq,raised,restored,acknowledged_by,acknowledged_at,note\n";
    auto rows = search(q);
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        const LogEntry& e = *it;
        out << csvField(e.site) << ',' << e.barrier << ',' << e.kind() << ',' << e.seq << ','
            << (e.raised.isValid() ? isoTime(e.raised) : QString()) << ','
            << (e.restored.isValid() ? isoTime(e.restored) : QString()) << ',' << csvField(e.ackBy)
            << ',' << (e.ackTime.isValid() ? isoTime(e.ackTime) : QString()) << ','
            << csvField(e.ackNote) << '\n';
    }
    out.flush();
    if (f.error() != QFileDevice::NoError || !f.flush()) {
        if (error) *error = QStringLiteral("%1: %2").arg(path, f.errorString());
        return false;
    }
    return true;
}

} // namespace hub::room
