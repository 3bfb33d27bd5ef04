#pragma once
// The room on the broker: one connection with a fixed client id and a kept
// session, subscribed to every site at QoS 1, feeding the room and carrying
// its acknowledgements and resend requests back to the sites.
#include "hubroom/room.h"
#include "uplink/mqttconnection.h"

#include <QObject>
#include <memory>

namespace hub::room {

// The room's connection options: persistent session, the fixed id.
MqttOptions roomMqttOptions(const MqttUrl& url, const QString& password, const QString& caFile,
                            const QString& clientId);

class RoomLink : public QObject {
    Q_OBJECT
public:
    RoomLink(Room& room, MqttOptions options, QObject* parent = nullptr);
    ~RoomLink() override;
    void start();
    void stop();
    MqttConnection& connection() { return *conn_; }
    // The connection's state as the status bar shows it.
    QString stateText() const { return text_; }

signals:
    void stateChanged(const QString& text);

private:
    Room& room_;
    std::unique_ptr<MqttConnection> conn_;
    QString text_;
};

} // namespace hub::room
