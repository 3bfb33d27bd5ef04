#include "hubroom/roomlink.h"

#include <QCoreApplication>

namespace hub::room {

MqttOptions roomMqttOptions(const MqttUrl& url, const QString& password, const QString& caFile,
                            const QString& clientId) {
    MqttOptions mo;
    mo.url = url;
    mo.password = password;
    mo.caFile = caFile;
    // A fixed id and a kept session: the broker holds the events that come
    // while the room is closed, and hands them over when it is back.
    mo.clientId = clientId.isEmpty()
                      ? QStringLiteral("hubroom-%1").arg(url.user.isEmpty() ? QStringLiteral("room") : url.user)
                      : clientId;
    mo.cleanSession = false;
    return mo;
}

RoomLink::RoomLink(Room& room, MqttOptions options, QObject* parent)
    : QObject(parent), room_(room), conn_(std::make_unique<MqttConnection>(std::move(options))) {
    room_.setPublisher([this](const QString& t, const QByteArray& p) { conn_->publish(t, p, 1, false); });
    connect(conn_.get(), &MqttConnection::messageReceived, this,
            [this](const QString& t, const QByteArray& p, bool) { room_.message(t, p); });
    connect(conn_.get(), &MqttConnection::stateChanged, this,
            [this](MqttConnection::State, const QString& detail) {
                text_ = detail;
                emit stateChanged(detail);
            });
    conn_->subscribe(room_.options().prefix + QStringLiteral("/#"), 1);
}

RoomLink::~RoomLink() {
    stop();
    room_.setPublisher({});
}

void RoomLink::start() { conn_->start(); }

void RoomLink::stop() {
    if (!conn_) return;
    conn_->stop();
    // What the broker delivered before the stop is already confirmed to it:
    // take it in now, or it would be lost with the queued signals.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

} // namespace hub::room
