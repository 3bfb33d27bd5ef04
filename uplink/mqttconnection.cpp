#include "uplink/mqttconnection.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QPointer>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mosquitto.h>
#include <mqtt_protocol.h>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <set>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace hub {

std::chrono::milliseconds MqttConnection::reconnectDelay(int failures, double u) {
    // The base doubles from 1 s and stops at 40 s, so that base plus half of it
    // stays within 60 s and even the longest delays keep their spread.
    const int shift = std::clamp(failures, 0, 6);
    const double base = std::min(1000.0 * double(1 << shift), 40000.0);
    const double jitter = base * 0.5 * std::clamp(u, 0.0, 1.0);
    return std::chrono::milliseconds(static_cast<long long>(std::min(base + jitter, 60000.0)));
}

namespace {
void initLibraryOnce() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

// A kept session never expires on the broker's side by itself: a site or a
// room may be away for days and must find what was published meanwhile.
constexpr uint32_t kSessionKeptForever = 0xFFFFFFFF;
constexpr int kSendMaximum = 1000;
// The pause after which a site's throttled "state" goes out: both are then
// done in the same wake-up of the thread, not in two.
constexpr int kReadLaterMs = 250;
} // namespace

QString MqttConnection::reasonText(int code) {
    switch (code) {
    case 0x10: return QStringLiteral("no matching subscribers");
    case 0x80: return QStringLiteral("unspecified error");
    case 0x83: return QStringLiteral("implementation specific error");
    case 0x84: return QStringLiteral("unsupported protocol version");
    case 0x85: return QStringLiteral("client identifier not valid");
    case 0x86: return QStringLiteral("bad user name or password");
    case 0x87: return QStringLiteral("not authorised");
    case 0x88: return QStringLiteral("server unavailable");
    case 0x89: return QStringLiteral("server busy");
    case 0x8A: return QStringLiteral("banned");
    case 0x8C: return QStringLiteral("bad authentication method");
    case 0x90: return QStringLiteral("topic name invalid");
    case 0x91: return QStringLiteral("packet identifier in use");
    case 0x95: return QStringLiteral("packet too large");
    case 0x97: return QStringLiteral("quota exceeded");
    case 0x99: return QStringLiteral("payload format invalid");
    case 0x9A: return QStringLiteral("retain not supported");
    case 0x9B: return QStringLiteral("QoS not supported");
    case 0x9F: return QStringLiteral("connection rate exceeded");
    default: break;
    }
    return QStringLiteral("reason code 0x%1").arg(code, 2, 16, QLatin1Char('0'));
}

// Lives on the network thread; every member is touched only there.
class MqttWorker : public QObject {
public:
    MqttWorker(MqttOptions options, MqttConnection* facade)
        : m_opt(std::move(options)), m_facade(facade), m_facadeAlive(facade), m_misc(this), m_retry(this),
          m_writeLater(this), m_flush(this), m_readLater(this) {
        initLibraryOnce();
        m_flush.setSingleShot(true);
        connect(&m_flush, &QTimer::timeout, this, [this] { flush(); });
        m_misc.setInterval(1000);
        // Housekeeping on whole seconds, in the same wake-up as the uplink's
        // own once-a-second timers rather than one each.
        m_misc.setTimerType(Qt::VeryCoarseTimer);
        m_retry.setSingleShot(true);
        m_writeLater.setSingleShot(true);
        connect(&m_misc, &QTimer::timeout, this, [this] {
            pump(Misc);
            deliver();
        });
        connect(&m_retry, &QTimer::timeout, this, [this] { attempt(); });
        connect(&m_writeLater, &QTimer::timeout, this, [this] { updateWrite(); });
        m_readLater.setSingleShot(true);
        connect(&m_readLater, &QTimer::timeout, this, [this] {
            m_lazyRead = false;
            if (m_read) m_read->setEnabled(true);
            pump(Read);
            deliver();
        });
    }
    ~MqttWorker() override { closeHandle(); }

    void start() {
        if (m_running) return;
        m_running = true;
        m_failures = 0;
        attempt();
    }

    void stop(const std::optional<MqttMessage>& last, int timeoutMs) {
        m_running = false;
        m_retry.stop();
        if (m_mosq && m_connected) {
            if (m_read) m_read->setEnabled(false);
            if (m_write) m_write->setEnabled(false);
            const QDeadlineTimer deadline(timeoutMs);
            int lastMid = -1;
            if (last) {
                const QByteArray topic = last->topic.toUtf8();
                mosquitto_publish_v5(m_mosq, &lastMid, topic.constData(), int(last->payload.size()),
                                     last->payload.constData(), 1, last->retain, nullptr);
                m_stopMid = lastMid;
                m_stopAcked = false;
                // mosquitto_loop waits in select(): blocking until the PUBACK, not spinning.
                while (!m_stopAcked && !deadline.hasExpired()) {
                    const int ms = int(std::clamp<qint64>(deadline.remainingTime(), 1, 100));
                    if (mosquitto_loop(m_mosq, ms, 1) != MOSQ_ERR_SUCCESS) break;
                }
            }
            mosquitto_disconnect(m_mosq);
            while (mosquitto_want_write(m_mosq) && !deadline.hasExpired()) {
                if (mosquitto_loop(m_mosq, 50, 1) != MOSQ_ERR_SUCCESS) break;
            }
        }
        closeHandle();
        setState(MqttConnection::State::Stopped, QStringLiteral("stopped"));
    }

    void publish(const std::vector<quint64>& tokens, const std::vector<MqttMessage>& msgs) {
        if (!m_readJustNow) catchUp();
        m_readJustNow = false;
        // Corked, the sends below only fill the socket; uncorking sends them
        // in full segments. A send that fails just ends the batch early.
        const bool cork = msgs.size() > 1 && m_mosq && m_connected;
        if (cork) setCork(true);
        for (std::size_t i = 0; i < msgs.size(); ++i) publishOne(tokens[i], msgs[i]);
        if (cork) setCork(false);
        if (!m_inflight.empty()) readLater();
    }

    void publishOne(quint64 token, const MqttMessage& msg) {
        if (!m_mosq || !m_connected) {
            post([f = m_facade, token] { emit f->undelivered(token); });
            return;
        }
        // A site's events all go to one topic: converted once, not once an event.
        if (msg.topic != m_topic) {
            m_topic = msg.topic;
            m_topicUtf8 = msg.topic.toUtf8();
        }
        const QByteArray& topic = m_topicUtf8;
        int mid = 0;
        m_publishing = true;
        m_doneWhilePublishing.clear();
        const int rc = mosquitto_publish_v5(m_mosq, &mid, topic.constData(), int(msg.payload.size()),
                                            msg.payload.constData(), std::clamp(msg.qos, 0, 1), msg.retain, nullptr);
        m_publishing = false;
        if (rc != MOSQ_ERR_SUCCESS) {
            post([f = m_facade, token] { emit f->undelivered(token); });
            if (rc == MOSQ_ERR_NO_CONN || rc == MOSQ_ERR_CONN_LOST || rc == MOSQ_ERR_ERRNO)
                m_pendingLoss = QString::fromUtf8(mosquitto_strerror(rc));
            settle();
            return;
        }
        // A QoS 0 message may be written, and reported, before mosquitto_publish returns.
        if (m_doneWhilePublishing.count(mid)) {
            post([f = m_facade, token] { emit f->delivered(token); });
        } else {
            m_inflight[mid] = Inflight{token, msg.topic};
        }
        settle();
    }

    void readNow() {
        catchUp();
        deliver();
        m_readJustNow = true;
    }

    void subscribe(const QString& filter, int qos) {
        m_subs.emplace_back(filter, std::clamp(qos, 0, 1));
        if (m_mosq && m_connected) {
            mosquitto_subscribe(m_mosq, nullptr, filter.toUtf8().constData(), m_subs.back().second);
            settle();
        }
    }

private:
    enum Pump { Read, Write, Misc };

    // What the facade hears is queued, never said from inside a library
    // callback. A facade on this very thread (an uplink sharing it) gets it
    // from a zero timer, many at once: posting an event a time would wake
    // this thread's own loop through its event fd for every PUBACK.
    template <class F> void post(F&& f) {
        if (m_facade->thread() != QThread::currentThread()) {
            QMetaObject::invokeMethod(m_facade, std::forward<F>(f), Qt::QueuedConnection);
            return;
        }
        m_posts.emplace_back(std::forward<F>(f));
        if (!m_flush.isActive()) m_flush.start(0);
    }

    // From the top of a pass (a timer, readNow): says at once what the pass
    // noted, sparing the event loop a pass of its own for it.
    void deliver() {
        if (m_flushing || m_posts.empty()) return;
        m_flush.stop();
        flush();
    }

    void flush() {
        m_flushing = true;
        const QPointer<MqttWorker> alive(this);
        while (!m_posts.empty()) {
            std::vector<std::function<void()>> batch;
            batch.swap(m_posts);
            for (auto& f : batch) {
                if (!m_facadeAlive) break; // the facade went, and with it whoever listened
                f();
                if (!alive) return;
            }
            if (!m_facadeAlive) m_posts.clear();
        }
        m_flushing = false;
    }

public:
    bool flushing() const { return m_flushing; }

private:

    void setState(MqttConnection::State s, const QString& detail) {
        m_facade->m_state.store(s);
        post([f = m_facade, s, detail] { f->onWorkerState(s, detail); });
    }

    QString where() const { return m_opt.url.host + QLatin1Char(':') + QString::number(m_opt.url.port); }

    void attempt() {
        closeHandle();
        if (!m_running) return;
        setState(MqttConnection::State::Connecting, QStringLiteral("connecting to %1").arg(where()));
        const QByteArray id = m_opt.clientId.toUtf8();
        m_mosq = mosquitto_new(id.isEmpty() ? nullptr : id.constData(), id.isEmpty() ? true : m_opt.cleanSession,
                               this);
        if (!m_mosq) return lose(QStringLiteral("cannot create the MQTT client"));
        // MQTT 5: a broker that refuses a publish (its ACL) says so in the
        // PUBACK; 3.1.1 acknowledges it like any other and drops it.
        mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
        mosquitto_int_option(m_mosq, MOSQ_OPT_TCP_NODELAY, 1);
        // A record can make dozens of events at once. The library keeps all but
        // this many unconfirmed ones back and then sends each as its own
        // segment when a PUBACK frees a place: let a burst go at once (the
        // broker's own receive maximum, when it sets one, still holds).
        mosquitto_int_option(m_mosq, MOSQ_OPT_SEND_MAXIMUM, kSendMaximum);
        if (!m_opt.url.user.isEmpty()) {
            const QByteArray u = m_opt.url.user.toUtf8(), p = m_opt.password.toUtf8();
            mosquitto_username_pw_set(m_mosq, u.constData(), p.isEmpty() ? nullptr : p.constData());
        }
        if (m_opt.url.tls) {
            const QByteArray ca = m_opt.caFile.toLocal8Bit();
            if (!ca.isEmpty() && ::access(ca.constData(), R_OK) != 0)
                return lose(QStringLiteral("cannot read the CA file '%1': %2")
                                .arg(m_opt.caFile, QString::fromLocal8Bit(strerror(errno))));
            const int rc = ca.isEmpty() ? mosquitto_tls_set(m_mosq, nullptr, "/etc/ssl/certs", nullptr, nullptr, nullptr)
                                        : mosquitto_tls_set(m_mosq, ca.constData(), nullptr, nullptr, nullptr, nullptr);
            if (rc != MOSQ_ERR_SUCCESS)
                return lose(QStringLiteral("cannot use the CA file '%1': %2")
                                .arg(m_opt.caFile, QString::fromUtf8(mosquitto_strerror(rc))));
        }
        if (m_opt.will) {
            const QByteArray t = m_opt.will->topic.toUtf8();
            mosquitto_will_set(m_mosq, t.constData(), int(m_opt.will->payload.size()), m_opt.will->payload.constData(),
                               std::clamp(m_opt.will->qos, 0, 1), m_opt.will->retain);
        }
        mosquitto_connect_v5_callback_set(m_mosq, &MqttWorker::onConnect);
        mosquitto_disconnect_callback_set(m_mosq, &MqttWorker::onDisconnect);
        mosquitto_publish_v5_callback_set(m_mosq, &MqttWorker::onPublish);
        mosquitto_message_callback_set(m_mosq, &MqttWorker::onMessage);

        // Without an expiry interval an MQTT 5 broker ends the session with
        // the connection, clean start or not.
        if (!m_opt.cleanSession && !id.isEmpty() && !keepSession())
            return lose(QStringLiteral("cannot ask %1 to keep the session").arg(where()));
        const QByteArray host = m_opt.url.host.toUtf8();
        const int rc = mosquitto_connect_async(m_mosq, host.constData(), m_opt.url.port, m_opt.keepAliveSeconds);
        if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_CONN_PENDING) {
            const QString why = rc == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(strerror(errno))
                                                     : QString::fromUtf8(mosquitto_strerror(rc));
            return lose(QStringLiteral("cannot connect to %1: %2").arg(where(), why));
        }
        const int fd = mosquitto_socket(m_mosq);
        if (fd < 0) return lose(QStringLiteral("cannot connect to %1").arg(where()));
        m_read = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        m_write = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
        // What the socket brings is said on a pass of its own: a listener may
        // stop or delete the connection, and with it this very notifier.
        connect(m_read.get(), &QSocketNotifier::activated, this, [this] { pump(Read); });
        connect(m_write.get(), &QSocketNotifier::activated, this, [this] { pump(Write); });
        m_misc.start();
        settle();
    }

    // libmosquitto has no asynchronous connect taking CONNECT properties, and
    // its blocking one would hold this thread for as long as an unreachable
    // host takes to time out. The blocking call stores the properties for the
    // handle's connects before it looks at the address, so one given an
    // impossible port stores them and returns at once; the asynchronous
    // connect then sends them. A session test pins this.
    bool keepSession() {
        mosquitto_property* props = nullptr;
        if (mosquitto_property_add_int32(&props, MQTT_PROP_SESSION_EXPIRY_INTERVAL, kSessionKeptForever) !=
            MOSQ_ERR_SUCCESS)
            return false;
        const int rc = mosquitto_connect_bind_v5(m_mosq, "127.0.0.1", -1, m_opt.keepAliveSeconds, nullptr, props);
        mosquitto_property_free_all(&props);
        return rc == MOSQ_ERR_INVAL;
    }

    void pump(Pump what) {
        m_readJustNow = false;
        if (!m_mosq) return;
        int rc = MOSQ_ERR_SUCCESS;
        switch (what) {
        case Read: {
            // PUBACKs free places for messages the library held back; corked,
            // those go out together rather than one segment each. Nothing is
            // held back below the send limit: no cork, two system calls saved.
            const bool cork = m_inflight.size() > m_sendLimit;
            if (cork) setCork(true);
            rc = mosquitto_loop_read(m_mosq, 1);
            if (cork) setCork(false);
            break;
        }
        case Write:
            rc = mosquitto_loop_write(m_mosq, 1);
            // Until the broker's CONNACK the library may want to write while it
            // cannot (TCP or TLS handshake under way): look again shortly
            // rather than on every wake-up of an always-writable socket.
            if (!m_connected && m_write) {
                m_write->setEnabled(false);
                m_writeLater.start(10);
            }
            break;
        case Misc: rc = mosquitto_loop_misc(m_mosq); break;
        }
        if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_CONN_PENDING && m_pendingLoss.isEmpty()) {
            const QString why = rc == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(strerror(errno))
                                                     : QString::fromUtf8(mosquitto_strerror(rc));
            m_pendingLoss = (m_connected ? QStringLiteral("connection to %1 lost: %2")
                                         : QStringLiteral("cannot connect to %1: %2"))
                                .arg(where(), why);
        }
        settle();
    }

    // After every call into the library: act on what its callbacks noted (they
    // must not destroy the handle under it) and watch for writability only
    // while there is something to write.
    void settle() {
        if (!m_pendingRefusal.isEmpty()) {
            const QString why = m_pendingRefusal;
            m_pendingRefusal.clear();
            post([f = m_facade, why] { emit f->refused(why); });
        }
        if (!m_pendingLoss.isEmpty()) {
            const QString why = m_pendingLoss;
            m_pendingLoss.clear();
            return lose(why);
        }
        if (m_justConnected) {
            m_justConnected = false;
            for (const auto& [filter, qos] : m_subs)
                mosquitto_subscribe(m_mosq, nullptr, filter.toUtf8().constData(), qos);
            post([f = m_facade] { emit f->connected(); });
        }
        updateWrite();
    }

    // The broker's PUBACKs come a moment after a publish, and waking for them
    // costs as much as the publish itself. With lazy reads they are read when
    // the next message goes out, and a timer reads them, and watches the
    // socket again, once publishing pauses.
    void readLater() {
        if (!m_read || !m_opt.lazyReads) return;
        if (!m_lazyRead) {
            m_lazyRead = true;
            m_read->setEnabled(false);
        }
        m_readLater.start(kReadLaterMs);
    }
    void catchUp() {
        if (m_lazyRead && m_mosq) pump(Read);
    }

    void setCork(bool on) {
        const int fd = m_mosq ? mosquitto_socket(m_mosq) : -1;
        const int v = on ? 1 : 0;
        if (fd >= 0) ::setsockopt(fd, IPPROTO_TCP, TCP_CORK, &v, sizeof v);
    }

    void updateWrite() {
        if (!m_write || !m_mosq) return;
        if (!m_connected && m_writeLater.isActive()) return;
        m_write->setEnabled(mosquitto_want_write(m_mosq));
    }

    void lose(const QString& reason) {
        const bool wasConnected = m_connected;
        closeHandle();
        if (wasConnected) post([f = m_facade, reason] { emit f->disconnected(reason); });
        if (!m_running) return;
        const auto delay = MqttConnection::reconnectDelay(m_failures++, QRandomGenerator::global()->generateDouble());
        setState(MqttConnection::State::Waiting,
                 QStringLiteral("%1; retrying in %2 s").arg(reason).arg(double(delay.count()) / 1000.0, 0, 'f', 1));
        m_retry.start(int(delay.count()));
    }

    void closeHandle() {
        m_readLater.stop();
        m_lazyRead = false;
        m_read.reset();
        m_write.reset();
        m_misc.stop();
        m_writeLater.stop();
        if (m_mosq) {
            mosquitto_destroy(m_mosq);
            m_mosq = nullptr;
        }
        m_connected = false;
        m_justConnected = false;
        // Whatever the broker has not confirmed is the caller's to send again, in order.
        std::vector<quint64> lost;
        for (const auto& [mid, f] : m_inflight) lost.push_back(f.token);
        m_inflight.clear();
        std::sort(lost.begin(), lost.end());
        for (quint64 token : lost) post([f = m_facade, token] { emit f->undelivered(token); });
    }

    static void onConnect(mosquitto*, void* obj, int rc, int, const mosquitto_property* props) {
        auto* self = static_cast<MqttWorker*>(obj);
        if (rc == 0) {
            // The library keeps back what exceeds the broker's receive maximum as well as our own.
            std::uint16_t receiveMaximum = 0;
            self->m_sendLimit = std::size_t(kSendMaximum);
            if (mosquitto_property_read_int16(props, MQTT_PROP_RECEIVE_MAXIMUM, &receiveMaximum, false) &&
                receiveMaximum > 0)
                self->m_sendLimit = std::min(self->m_sendLimit, std::size_t(receiveMaximum));
            self->m_connected = true;
            self->m_justConnected = true;
            self->m_failures = 0;
            self->setState(MqttConnection::State::Connected, QStringLiteral("connected to %1").arg(self->where()));
            return;
        }
        const QString why = QStringLiteral("%1 refused the connection: %2").arg(self->where(), MqttConnection::reasonText(rc));
        self->m_pendingRefusal = why;
        self->m_pendingLoss = why;
    }
    static void onDisconnect(mosquitto*, void* obj, int rc) {
        auto* self = static_cast<MqttWorker*>(obj);
        if (self->m_pendingLoss.isEmpty() && self->m_running)
            self->m_pendingLoss = rc == 0 ? QStringLiteral("disconnected from %1").arg(self->where())
                                          : QStringLiteral("connection to %1 lost").arg(self->where());
    }
    static void onPublish(mosquitto*, void* obj, int mid, int reason, const mosquitto_property*) {
        auto* self = static_cast<MqttWorker*>(obj);
        if (mid == self->m_stopMid) self->m_stopAcked = true;
        const auto it = self->m_inflight.find(mid);
        if (it == self->m_inflight.end()) {
            if (self->m_publishing) self->m_doneWhilePublishing.insert(mid);
            return;
        }
        const Inflight f = it->second;
        self->m_inflight.erase(it);
        // Codes below 0x80 are successes ("no matching subscribers" among them).
        if (reason >= 0x80) {
            const QString why = MqttConnection::reasonText(reason);
            self->post([c = self->m_facade, f, why] {
                emit c->rejected(f.token, f.topic, why);
                emit c->undelivered(f.token);
            });
            return;
        }
        self->post([c = self->m_facade, t = f.token] { emit c->delivered(t); });
    }
    static void onMessage(mosquitto*, void* obj, const mosquitto_message* m) {
        auto* self = static_cast<MqttWorker*>(obj);
        const QString topic = QString::fromUtf8(m->topic);
        const QByteArray payload(static_cast<const char*>(m->payload), m->payloadlen);
        const bool retained = m->retain;
        self->post([f = self->m_facade, topic, payload, retained] { emit f->messageReceived(topic, payload, retained); });
    }

    MqttOptions m_opt;
    MqttConnection* m_facade;
    mosquitto* m_mosq = nullptr;
    std::unique_ptr<QSocketNotifier> m_read, m_write;
    QPointer<MqttConnection> m_facadeAlive;
    QTimer m_misc, m_retry, m_writeLater, m_flush, m_readLater;
    bool m_lazyRead = false;
    QString m_topic; // the last topic published to, and its UTF-8
    QByteArray m_topicUtf8;
    bool m_readJustNow = false; // readNow() read everything: the publish that follows need not read again
    std::vector<std::function<void()>> m_posts; // for a facade on this thread, in order
    bool m_flushing = false;
    bool m_running = false;
    bool m_connected = false;
    bool m_justConnected = false;
    bool m_publishing = false;
    int m_failures = 0;
    std::size_t m_sendLimit = std::size_t(kSendMaximum); // unconfirmed messages the library lets out at once
    int m_stopMid = -1;
    bool m_stopAcked = false;
    QString m_pendingLoss, m_pendingRefusal;
    struct Inflight {
        quint64 token;
        QString topic;
    };
    std::map<int, Inflight> m_inflight; // message id -> the caller's token and topic
    std::set<int> m_doneWhilePublishing;
    std::vector<std::pair<QString, int>> m_subs;
};

MqttConnection::MqttConnection(MqttOptions options, QThread* networkThread, QObject* parent) : QObject(parent) {
    if (networkThread) {
        m_thread = networkThread;
    } else {
        m_thread = new QThread;
        m_thread->setObjectName(QStringLiteral("mqtt"));
        m_ownThread = true;
        m_thread->start();
    }
    m_worker = new MqttWorker(std::move(options), this);
    m_worker->moveToThread(m_thread);
}

MqttConnection::~MqttConnection() {
    stop();
    if (m_ownThread) {
        delete m_worker;
        delete m_thread;
    } else if (QThread::currentThread() == m_thread && !m_worker->flushing()) {
        delete m_worker;
    } else {
        m_worker->deleteLater();
    }
}

void MqttConnection::start() {
    if (m_stopped) return;
    QMetaObject::invokeMethod(m_worker, [w = m_worker] { w->start(); }, Qt::QueuedConnection);
}

void MqttConnection::stop(const std::optional<MqttMessage>& last, int timeoutMs) {
    if (m_stopped) return;
    m_stopped = true;
    // Messages published before the stop go out before the last one.
    if (QThread::currentThread() == m_thread) {
        QCoreApplication::sendPostedEvents(m_worker, QEvent::MetaCall);
        m_worker->stop(last, timeoutMs);
    } else if (m_thread->isRunning()) {
        QMetaObject::invokeMethod(
            m_worker,
            [w = m_worker, last, timeoutMs] {
                QCoreApplication::sendPostedEvents(w, QEvent::MetaCall);
                w->stop(last, timeoutMs);
            },
            Qt::BlockingQueuedConnection);
    }
    if (m_ownThread) {
        m_thread->quit();
        m_thread->wait();
    }
}

quint64 MqttConnection::publish(const MqttMessage& message) { return publish(std::vector<MqttMessage>{message}).front(); }

std::vector<quint64> MqttConnection::publish(const std::vector<MqttMessage>& messages) {
    std::vector<quint64> tokens;
    tokens.reserve(messages.size());
    for (std::size_t i = 0; i < messages.size(); ++i) tokens.push_back(m_nextToken.fetch_add(1));
    // On the network thread itself (an uplink sharing it) there is nothing to hand over.
    if (QThread::currentThread() == m_thread && !m_stopped) {
        m_worker->publish(tokens, messages);
        return tokens;
    }
    QMetaObject::invokeMethod(m_worker, [w = m_worker, tokens, messages] { w->publish(tokens, messages); },
                              Qt::QueuedConnection);
    return tokens;
}

quint64 MqttConnection::publish(const QString& topic, const QByteArray& payload, int qos, bool retain) {
    return publish(MqttMessage{topic, payload, qos, retain});
}

void MqttConnection::readNow() {
    if (QThread::currentThread() == m_thread && !m_stopped) m_worker->readNow();
}

void MqttConnection::subscribe(const QString& filter, int qos) {
    QMetaObject::invokeMethod(m_worker, [w = m_worker, filter, qos] { w->subscribe(filter, qos); },
                              Qt::QueuedConnection);
}

QString MqttConnection::stateText() const { return m_stateText; }

void MqttConnection::onWorkerState(State state, const QString& detail) {
    m_stateText = detail;
    emit stateChanged(state, detail);
}

} // namespace hub
