#include "uplink/siteuplink.h"

#include "monitor/elementevents.h"
#include "uplink/mqttconnection.h"
#include "uplink/outbox.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QThread>
#include <QRandomGenerator>
#include <QTimer>
#include <cstdio>
#include <set>

namespace hub {

UplinkConfig withJournalIn(UplinkConfig c, const QString& dir) {
    const QDir d(dir);
    c.journalPath = d.filePath(c.url.site + QStringLiteral(".outbox"));
    c.ackLogPath = d.filePath(c.url.site + QStringLiteral(".acks"));
    return c;
}

QString UplinkStatus::text(const QString& site) const {
    QString s = QStringLiteral("uplink %1: ").arg(site);
    switch (connection) {
    case Connection::Off: s += QStringLiteral("off"); break;
    case Connection::Connecting: s += QStringLiteral("connecting"); break;
    case Connection::Online: s += QStringLiteral("online"); break;
    case Connection::Waiting: s += QStringLiteral("waiting"); break;
    case Connection::Refused: s += QStringLiteral("REFUSED"); break;
    }
    // Online the count comes and goes with every event; it matters while the broker is away.
    if (unconfirmed > 0 && connection != Connection::Online) s += QStringLiteral(", %1 unconfirmed").arg(unconfirmed);
    if (refused > 0) s += QStringLiteral(", %1 REFUSED BY THE BROKER").arg(refused);
    if (!journalError.isEmpty()) s += QStringLiteral(", JOURNAL FAILING");
    return s;
}

class SiteUplinkCore : public QObject {
public:
    SiteUplinkCore(UplinkConfig config, SiteUplink* facade)
        : m_c(std::move(config)), m_facade(facade), m_stateTimer(this), m_confirmTimer(this), m_reportTimer(this),
          m_refusedTimer(this) {
        m_refusedTimer.setSingleShot(true);
        connect(&m_refusedTimer, &QTimer::timeout, this, [this] { retryRefused(); });
        m_confirmTimer.setSingleShot(true);
        m_reportTimer.setSingleShot(true);
        // Whole-second timers fire together with the connection's housekeeping:
        // one wake-up a second for all three.
        m_confirmTimer.setTimerType(Qt::VeryCoarseTimer);
        m_reportTimer.setTimerType(Qt::VeryCoarseTimer);
        connect(&m_reportTimer, &QTimer::timeout, this, [this] { report(); });
        connect(&m_confirmTimer, &QTimer::timeout, this, [this] {
            QString error;
            m_outbox.release(&error);
            noteJournal(error);
            report();
        });
        m_stateTimer.setSingleShot(true);
        // Fires only once records pause: while they flow, a due "state" goes
        // out with the record's events, in their batch, not on a wake-up of its own.
        connect(&m_stateTimer, &QTimer::timeout, this, [this] {
            if (m_stateDirty && m_online) publishState();
        });
        m_startTime = QDateTime::currentDateTimeUtc();
    }

    bool openJournal(QString* error, QString* note) {
        if (!m_outbox.open(m_c.journalPath, error)) return false;
        *note = m_outbox.note();
        m_status.lastSeq = m_outbox.nextSeq() - 1;
        m_status.unconfirmed = m_outbox.unconfirmedCount();
        return true;
    }

    void begin() {
        MqttOptions o;
        o.url = m_c.url;
        o.password = m_c.password;
        o.caFile = m_c.caFile;
        o.keepAliveSeconds = m_c.keepAliveSeconds;
        o.lazyReads = true; // a site only hears acknowledgements and resend requests
        o.will = MqttMessage{topic("status"), statusPayload(SiteState::Lost, m_c.program, m_startTime), 1, true};
        m_conn = new MqttConnection(o, QThread::currentThread(), this);
        connect(m_conn, &MqttConnection::stateChanged, this, [this](MqttConnection::State s, const QString& d) {
            using C = UplinkStatus::Connection;
            m_status.detail = d;
            switch (s) {
            case MqttConnection::State::Stopped: m_status.connection = C::Off; break;
            case MqttConnection::State::Connecting: m_status.connection = m_refused ? C::Refused : C::Connecting; break;
            case MqttConnection::State::Connected: m_status.connection = C::Online; break;
            case MqttConnection::State::Waiting: m_status.connection = m_refused ? C::Refused : C::Waiting; break;
            }
            report();
        });
        connect(m_conn, &MqttConnection::refused, this, [this](const QString&) { m_refused = true; });
        connect(m_conn, &MqttConnection::connected, this, [this] { onConnected(); });
        connect(m_conn, &MqttConnection::disconnected, this, [this] { m_online = false; });
        connect(m_conn, &MqttConnection::delivered, this, [this](quint64 t) { onDelivered(t); });
        connect(m_conn, &MqttConnection::undelivered, this, [this](quint64 t) { m_tokenSeq.remove(t); });
        connect(m_conn, &MqttConnection::rejected, this,
                [this](quint64 t, const QString& topic, const QString& why) { onRejected(t, topic, why); });
        connect(m_conn, &MqttConnection::messageReceived, this,
                [this](const QString& t, const QByteArray& p, bool retained) { onMessage(t, p, retained); });
        m_conn->subscribe(topic("ack"), 1);
        m_conn->subscribe(topic("resend"), 1);
        m_conn->start();
        report();
    }

    void end(int timeoutMs) {
        m_stateTimer.stop();
        m_confirmTimer.stop();
        m_refusedTimer.stop();
        m_reportTimer.stop();
        if (m_stateDirty && m_online) publishState();
        if (m_conn) {
            m_conn->stop(MqttMessage{topic("status"),
                                     statusPayload(SiteState::Offline, m_c.program, QDateTime::currentDateTimeUtc()),
                                     1, true},
                         timeoutMs);
            delete m_conn;
            m_conn = nullptr;
        }
        QString error;
        m_outbox.release(&error);
        noteJournal(error);
        m_online = false;
        m_status.connection = UplinkStatus::Connection::Off;
        m_status.detail = QStringLiteral("stopped");
        report();
        // The core is deleted from another thread once this one is over.
        m_reportTimer.stop();
    }

    void acquisitionStarted(const QString& port, const QDateTime& time) {
        // A new acquisition starts from the all-clear state: an element active
        // in its first record is an event.
        m_prev = StateRecord{};
        m_power.fill(-1);
        m_port = port;
        link(LinkState::NoData, port, m_hubText, time);
    }
    void acquisitionEnded(const QDateTime& time) { link(LinkState::Stopped, m_port, m_hubText, time); }

    void settings(std::uint8_t kind, const QByteArray& block, const QDateTime& time) {
        const auto summary = summariseSettings(kind, block);
        if (!summary) return;
        for (int c = 1; c <= 4; ++c) {
            const int now = summary->couples[size_t(c - 1)] ? summary->power[size_t(c - 1)] : -1;
            const int was = m_power[size_t(c - 1)];
            if (was >= 0 && now >= 0 && now != was) {
                m_outbox.hold();
                for (int b : {2 * c - 1, 2 * c}) journalEvent(b, Element::Power, now > was, now, time);
            }
            m_power[size_t(c - 1)] = now;
        }
        publishNew();
        m_settings = MqttMessage{topic("settings"), settingsPayload(kind, block, *summary, time), 1, true};
        if (m_online) m_conn->publish(*m_settings);
        if (summary->hubText != m_hubText) {
            m_hubText = summary->hubText;
            if (m_linkState) link(*m_linkState, m_port, m_hubText, m_linkSince);
        }
        report();
    }

    void state(const StateRecord& rec, const QDateTime& time) {
        // The record's events reach the journal together, then the broker.
        m_outbox.hold();
        forEachElementChange(m_prev, rec, [&](int b, int e, bool on) { journalEvent(b, e, on, -1, time, &rec); });
        m_prev = rec;
        m_record = rec;
        m_recordTime = time;
        m_stateDirty = true;
        const bool stateDue = !m_statePublished.isValid() || m_statePublished.hasExpired(m_c.stateIntervalMs);
        publishNew(stateDue);
        if (m_stateDirty) m_stateTimer.start(m_c.stateIntervalMs);
        else m_stateTimer.stop();
        report();
    }

    void link(LinkState s, const QString& port, const QString& hubText, const QDateTime& time) {
        const bool same = m_linkState && *m_linkState == s && (port.isEmpty() || port == m_port) &&
                          (hubText.isEmpty() || hubText == m_hubText);
        if (same && m_link) return;
        if (!m_linkState || *m_linkState != s) m_linkSince = time;
        m_linkState = s;
        if (!port.isEmpty()) m_port = port;
        if (!hubText.isEmpty()) m_hubText = hubText;
        m_link = MqttMessage{topic("link"), linkPayload(s, m_port, m_hubText, m_linkSince), 1, true};
        if (m_online) m_conn->publish(*m_link);
    }

    void drain() {
        m_drainWanted = true;
        checkDrained();
    }

private:
    QString topic(const char* name) const { return uplinkTopic(m_c.prefix, m_c.url.site, name); }

    void journalEvent(int barrier, int element, bool on, int level, const QDateTime& time,
                      const StateRecord* rec = nullptr) {
        QString error;
        const std::uint64_t seq = m_outbox.append(
            [&](std::uint64_t s) {
                UplinkEvent e{s, time, barrier, element, on, level, std::nullopt};
                if (rec) e.record = *rec;
                return eventPayload(e);
            }, &error);
        noteJournal(error);
        m_new.push_back(seq);
    }

    // Writes what the journal holds back, then publishes the new events (and
    // with them the latest "state", when asked).
    void publishNew(bool withState = false) {
        QString error;
        m_outbox.release(&error);
        noteJournal(error);
        m_status.lastSeq = m_outbox.nextSeq() - 1;
        m_status.unconfirmed = m_outbox.unconfirmedCount();
        // The broker's answers so far are heard first, in this pass rather
        // than one of their own; their confirmations reach the journal with
        // the next record's events. The connection may be found gone.
        if (m_online && (!m_new.empty() || withState)) m_conn->readNow();
        if (m_online) {
            std::vector<OutboxEvent> events;
            events.reserve(m_new.size());
            for (std::uint64_t seq : m_new) events.push_back(OutboxEvent{seq, *m_outbox.payload(seq)});
            std::optional<MqttMessage> state;
            if (withState) state = takeState();
            publishEvents(events, state);
        }
        m_new.clear();
    }

    void publishEvent(std::uint64_t seq, const QByteArray& payload) {
        const quint64 token = m_conn->publish(m_eventTopic, payload, 1, false);
        m_tokenSeq.insert(token, seq);
    }

    // Events that go out at the same moment (a record's, a reconnect's backlog) go together.
    void publishEvents(const std::vector<OutboxEvent>& events, const std::optional<MqttMessage>& after = {}) {
        if (events.empty() && !after) return;
        std::vector<MqttMessage> messages;
        messages.reserve(events.size() + 1);
        for (const OutboxEvent& e : events) messages.push_back(MqttMessage{m_eventTopic, e.payload, 1, false});
        if (after) messages.push_back(*after);
        const std::vector<quint64> tokens = m_conn->publish(messages);
        for (std::size_t i = 0; i < events.size(); ++i) m_tokenSeq.insert(tokens[i], events[i].seq);
    }

    void publishState() {
        if (auto m = takeState()) m_conn->publish(*m);
    }
    std::optional<MqttMessage> takeState() {
        m_stateDirty = false;
        if (!m_online) return std::nullopt;
        m_statePublished.start();
        return MqttMessage{topic("state"), statePayload(m_record, m_recordTime, m_outbox.nextSeq() - 1), 1, true};
    }

    void onConnected() {
        m_online = true;
        m_refused = false;
        // The refused events go out again below with all the others.
        m_refusedTimer.stop();
        m_retryDue.clear();
        m_conn->publish(topic("status"), statusPayload(SiteState::Online, m_c.program, QDateTime::currentDateTimeUtc()),
                        1, true);
        if (m_link) m_conn->publish(*m_link);
        if (m_settings) m_conn->publish(*m_settings);
        if (m_stateDirty || !m_recordTime.isNull()) publishState();
        // Everything the broker has not confirmed, in order, before anything new.
        publishEvents(m_outbox.unconfirmed());
        report();
    }

    void onDelivered(quint64 token) {
        const auto it = m_tokenSeq.find(token);
        if (it == m_tokenSeq.end()) return;
        const std::uint64_t seq = it.value();
        m_tokenSeq.erase(it);
        if (m_refusedSeqs.erase(seq) && m_refusedSeqs.empty()) {
            m_refusedRetries = 0;
            m_status.refusal.clear();
            m_refusalKey.clear();
        }
        m_status.refused = m_refusedSeqs.size();
        // Confirmations are written with the next record's events, or on the
        // next whole second, many at once: one lost in a crash only means the
        // event goes out once more, with its seq.
        QString error;
        m_outbox.hold();
        m_outbox.confirm(seq, &error);
        if (!m_confirmTimer.isActive()) m_confirmTimer.start(1000);
        m_status.unconfirmed = m_outbox.unconfirmedCount();
        report();
        checkDrained();
    }

    // The broker dropped the event (its ACL refused the topic, a quota...): it
    // stays in the journal, is said, and goes out again at the reconnect
    // pace rather than at once, which would only be refused again.
    void onRejected(quint64 token, const QString& t, const QString& why) {
        const auto it = m_tokenSeq.find(token);
        if (it == m_tokenSeq.end()) {
            // Not an event (status, link, state, settings): nothing to keep, but
            // said, unless refused events are being said already.
            if (m_refusedSeqs.empty() && m_refusalKey != t + why) {
                m_refusalKey = t + why;
                m_status.refusal = QStringLiteral("the broker refused %1: %2").arg(t, why);
            }
            report();
            return;
        }
        const std::uint64_t seq = it.value();
        m_tokenSeq.erase(it);
        m_refusedSeqs.insert(seq);
        m_retryDue.insert(seq);
        m_status.refused = m_refusedSeqs.size();
        // Said once for a run of refusals, not once an event: the count tells the rest.
        if (m_refusalKey != t + why) {
            m_refusalKey = t + why;
            m_status.refusal =
                QStringLiteral("the broker refused %1 (event %2): %3; refused events stay in the journal")
                    .arg(t)
                    .arg(seq)
                    .arg(why);
        }
        if (!m_refusedTimer.isActive())
            m_refusedTimer.start(int(MqttConnection::reconnectDelay(m_refusedRetries++,
                                                                    QRandomGenerator::global()->generateDouble())
                                         .count()));
        report();
    }

    void retryRefused() {
        if (!m_online) return; // the reconnect sends them
        for (std::uint64_t seq : m_retryDue)
            if (const auto p = m_outbox.payload(seq); p && m_refusedSeqs.count(seq)) publishEvent(seq, *p);
        m_retryDue.clear();
    }

    void onMessage(const QString& t, const QByteArray& payload, bool retained) {
        if (t == topic("ack")) {
            if (!parseAck(payload)) return;
            appendAck(payload);
        } else if (t == topic("resend") && !retained) {
            const auto from = parseResend(payload);
            if (!from || !m_online) return;
            publishEvents(m_outbox.from(*from));
        }
    }

    void appendAck(const QByteArray& payload) {
        if (!m_ackLog.isOpen()) {
            m_ackLog.setFileName(m_c.ackLogPath);
            if (!m_ackLog.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
                setJournalError(QStringLiteral("cannot open the acknowledgement log %1: %2")
                                    .arg(m_c.ackLogPath, m_ackLog.errorString()));
                report();
                return;
            }
        }
        QByteArray line = payload.trimmed();
        line.replace('\n', ' ');
        line.append('\n');
        if (m_ackLog.write(line) != line.size()) {
            setJournalError(QStringLiteral("cannot write the acknowledgement log %1: %2")
                                .arg(m_c.ackLogPath, m_ackLog.errorString()));
            m_ackLog.close();
        }
        report();
    }

    void setJournalError(const QString& error) { m_status.journalError = error; }
    // A write that failed is said until the journal holds every event again.
    void noteJournal(const QString& error) {
        if (!error.isEmpty()) m_status.journalError = error;
        else if (m_outbox.unwrittenCount() == 0 && m_status.journalError.startsWith(QLatin1String("cannot write the outbox")))
            m_status.journalError.clear();
    }

    void checkDrained() {
        if (!m_drainWanted || m_outbox.unconfirmedCount() > 0) return;
        m_drainWanted = false;
        const std::uint64_t last = m_outbox.nextSeq() - 1;
        QMetaObject::invokeMethod(m_facade, [f = m_facade, last] { emit f->drained(last); }, Qt::QueuedConnection);
    }

    // The window hears of a new connection state or a journal failure at once;
    // of the counts alone at most once a second, not once an event.
    void report() {
        if (m_status == m_reported) return;
        const bool countsOnly = m_status.connection == m_reported.connection && m_status.detail == m_reported.detail &&
                                m_status.journalError == m_reported.journalError &&
                                m_status.refusal == m_reported.refusal &&
                                (m_status.refused == 0) == (m_reported.refused == 0);
        if (countsOnly && m_reportTimer.isActive()) return;
        m_reported = m_status;
        QMetaObject::invokeMethod(m_facade, [f = m_facade, s = m_status] { f->onCoreStatus(s); },
                                  Qt::QueuedConnection);
        m_reportTimer.start(1000);
    }

    UplinkConfig m_c;
    const QString m_eventTopic = topic("event");
    SiteUplink* m_facade;
    Outbox m_outbox;
    MqttConnection* m_conn = nullptr;
    QHash<quint64, std::uint64_t> m_tokenSeq; // publish token -> event seq
    bool m_online = false;
    bool m_refused = false;
    bool m_drainWanted = false;
    QDateTime m_startTime;
    StateRecord m_prev{};
    std::array<int, 4> m_power{-1, -1, -1, -1};
    StateRecord m_record{};
    QDateTime m_recordTime;
    bool m_stateDirty = false;
    QElapsedTimer m_statePublished;
    QTimer m_stateTimer;
    QTimer m_confirmTimer;
    QTimer m_reportTimer;
    QTimer m_refusedTimer;
    std::set<std::uint64_t> m_refusedSeqs; // refused by the broker, not taken since
    std::set<std::uint64_t> m_retryDue;    // refused, to go out again when m_refusedTimer fires
    int m_refusedRetries = 0;
    QString m_refusalKey; // the topic and reason m_status.refusal speaks of
    std::vector<std::uint64_t> m_new; // numbered, not yet published
    std::optional<LinkState> m_linkState;
    QDateTime m_linkSince;
    QString m_port, m_hubText;
    std::optional<MqttMessage> m_link, m_settings;
    QFile m_ackLog;
    UplinkStatus m_status, m_reported;
};

SiteUplink::SiteUplink(UplinkConfig config, QThread* thread, QObject* parent)
    : QObject(parent), m_config(std::move(config)), m_thread(thread) {
    qRegisterMetaType<hub::UplinkStatus>();
    if (!m_thread) {
        m_thread = new QThread;
        m_thread->setObjectName(QStringLiteral("uplink"));
        m_ownThread = true;
    }
}

SiteUplink::~SiteUplink() {
    stop();
    if (m_ownThread) delete m_thread;
}

bool SiteUplink::start(QString* error) {
    if (m_running || m_core) return m_running;
    m_core = new SiteUplinkCore(m_config, this);
    if (!m_core->openJournal(error, &m_journalNote)) {
        delete m_core;
        m_core = nullptr;
        return false;
    }
    m_core->moveToThread(m_thread);
    if (m_ownThread) m_thread->start();
    m_running = true;
    QMetaObject::invokeMethod(m_core, [c = m_core] { c->begin(); }, Qt::QueuedConnection);
    return true;
}

void SiteUplink::stop(int timeoutMs) {
    if (!m_running) return;
    m_running = false;
    if (QThread::currentThread() == m_thread) {
        m_core->end(timeoutMs);
    } else {
        QMetaObject::invokeMethod(m_core, [c = m_core, timeoutMs] { c->end(timeoutMs); },
                                  Qt::BlockingQueuedConnection);
    }
    if (m_ownThread) {
        m_thread->quit();
        m_thread->wait();
        delete m_core; // its thread is over, and it holds no timer or socket any more
    } else {
        m_core->deleteLater();
    }
    m_core = nullptr;
}

void SiteUplink::onCoreStatus(const UplinkStatus& s) {
    m_status = s;
    emit statusChanged(s);
}

void SiteUplink::postAcquisitionStarted(const QString& port, const QDateTime& time) {
    if (!m_running) return;
    QMetaObject::invokeMethod(m_core, [c = m_core, port, time] { c->acquisitionStarted(port, time); },
                              Qt::QueuedConnection);
}
void SiteUplink::postAcquisitionEnded(const QDateTime& time) {
    if (!m_running) return;
    QMetaObject::invokeMethod(m_core, [c = m_core, time] { c->acquisitionEnded(time); }, Qt::QueuedConnection);
}
void SiteUplink::postSettings(std::uint8_t kind, const QByteArray& block, const QDateTime& time) {
    if (!m_running) return;
    QMetaObject::invokeMethod(m_core, [c = m_core, kind, block, time] { c->settings(kind, block, time); },
                              Qt::QueuedConnection);
}
void SiteUplink::postState(const StateRecord& record, const QDateTime& time) {
    if (!m_running) return;
    QMetaObject::invokeMethod(m_core, [c = m_core, record, time] { c->state(record, time); }, Qt::QueuedConnection);
}
void SiteUplink::postLink(LinkState state, const QString& port, const QString& hubText, const QDateTime& time) {
    if (!m_running) return;
    QMetaObject::invokeMethod(m_core, [c = m_core, state, port, hubText, time] { c->link(state, port, hubText, time); },
                              Qt::QueuedConnection);
}
void SiteUplink::postDrain() {
    if (!m_running) return;
    QMetaObject::invokeMethod(m_core, [c = m_core] { c->drain(); }, Qt::QueuedConnection);
}

} // namespace hub
