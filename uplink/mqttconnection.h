#pragma once
// One client connection to an MQTT broker. The libmosquitto handle lives on a
// network thread (the connection's own, or one shared by several connections)
// and is driven there by the thread's event loop: socket notifiers and a
// one-second timer, so an idle connection costs nothing. Everything the caller
// sees arrives as queued signals in the thread that created the connection.
//
// Delivery is the caller's business, on purpose: a message is either
// delivered() (QoS 1: the broker's PUBACK; QoS 0: written to the socket) or
// undelivered() (not connected when it was to go out, the connection fell
// before the broker confirmed it, or the broker refused it: rejected() comes
// first then, with the broker's reason). Nothing is kept or resent behind the
// caller's back, so a caller holding a journal never gets a stale copy from a
// library queue after a reconnect.
#include "uplink/mqtturl.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <atomic>
#include <chrono>
#include <optional>
#include <vector>

class QThread;

namespace hub {

struct MqttMessage {
    QString topic;
    QByteArray payload;
    int qos = 0; // 0 or 1
    bool retain = false;
};

struct MqttOptions {
    MqttUrl url;          // host, port, TLS, user; the site is not used here
    QString password;     // empty: none sent
    QString caFile;       // mqtts: the CA to trust; empty: the system's CAs
    QString clientId;     // empty: a random one (then cleanSession must stay true)
    bool cleanSession = true; // false: the broker keeps the session, without expiry

    int keepAliveSeconds = 10;
    // For a connection that mostly publishes: the broker's answers are read
    // when the next message goes out, or 250 ms after the last one, rather
    // than on a wake-up each. Whatever the broker sends waits as long, so a
    // connection that subscribes to anything urgent leaves this off.
    bool lazyReads = false;
    std::optional<MqttMessage> will; // published by the broker if the connection dies
};

class MqttWorker;

class MqttConnection : public QObject {
    Q_OBJECT
public:
    enum class State {
        Stopped,    // before start() and after stop()
        Connecting, // a connection attempt is under way
        Connected,  // the broker accepted us (CONNACK 0)
        Waiting,    // the last attempt failed or the connection fell; retrying later
    };
    Q_ENUM(State)

    // Delay before reconnect attempt `failures` (0 = first retry): 1 s doubling,
    // plus random jitter up to half of it, never over 60 s. `u` in [0, 1).
    static std::chrono::milliseconds reconnectDelay(int failures, double u);
    // An MQTT 5 reason code in words ("not authorised").
    static QString reasonText(int code);

    // With no thread given, the connection starts and owns a thread of its own.
    explicit MqttConnection(MqttOptions options, QThread* networkThread = nullptr, QObject* parent = nullptr);
    ~MqttConnection() override; // stop() without a last message if still running

    // Connects, and keeps reconnecting until stop(). A stopped connection stays stopped.
    void start();
    // Publishes `last` (QoS 1; e.g. a retained "offline" status) and waits up to
    // timeoutMs for the broker to confirm it, then disconnects cleanly (the
    // will is not published). Returns when the handle is gone. Safe from any
    // thread; undelivered() comes for whatever was still in flight.
    void stop(const std::optional<MqttMessage>& last = std::nullopt, int timeoutMs = 2000);

    // Returns the message's token (never 0), used by delivered()/undelivered().
    quint64 publish(const MqttMessage& message);
    quint64 publish(const QString& topic, const QByteArray& payload, int qos, bool retain = false);
    // Publishes the messages in order and hands them to the network together
    // (as few TCP segments as they fit in): a burst costs the broker and the
    // loopback one delivery, not one a message. Tokens in the same order.
    std::vector<quint64> publish(const std::vector<MqttMessage>& messages);
    // Kept for the connection's life and made again on every connect.
    void subscribe(const QString& filter, int qos = 1);
    // On the connection's own thread, for a listener there about to publish:
    // reads what the broker has sent and says it (delivered() and the rest)
    // before returning, rather than on a later pass of the event loop. Does
    // nothing from another thread.
    void readNow();

    State state() const { return m_state.load(); }
    QString stateText() const; // the last stateChanged detail

signals:
    void stateChanged(hub::MqttConnection::State state, const QString& detail);
    void connected();
    void disconnected(const QString& reason);
    // The broker refused the connection (bad user or password, not authorised):
    // the reason as the broker's CONNACK code says it. Retries go on.
    void refused(const QString& reason);
    void delivered(quint64 token);
    void undelivered(quint64 token);
    // The broker answered a QoS 1 message with a failure (its ACL refused the
    // topic, a quota...): the message was dropped. undelivered() follows.
    void rejected(quint64 token, const QString& topic, const QString& reason);
    void messageReceived(const QString& topic, const QByteArray& payload, bool retained);

private:
    friend class MqttWorker;
    void onWorkerState(hub::MqttConnection::State state, const QString& detail);

    MqttWorker* m_worker = nullptr;
    QThread* m_thread = nullptr;
    bool m_ownThread = false;
    bool m_stopped = false;
    std::atomic<State> m_state{State::Stopped};
    QString m_stateText;
    std::atomic<quint64> m_nextToken{1};
};

} // namespace hub
