#pragma once
// Where a site's uplink goes: mqtt[s]://USER@HOST[:PORT][/SITE]. The password
// never travels in the URL (it would show in `ps` and shell histories).
#include <QString>
#include <optional>

namespace hub {

// Letters, digits, '-' and '_', 1 to 64 of them: a site name is one topic
// level and can never hold a wildcard or a '/'.
bool isValidSiteName(const QString& name);

struct MqttUrl {
    static constexpr quint16 kPlainPort = 1883;
    static constexpr quint16 kTlsPort = 8883;

    bool tls = false;
    QString user; // empty: connect without a user name
    QString host; // an IPv6 address without its brackets
    quint16 port = kPlainPort;
    QString site; // empty when the URL names none

    // nullopt and a one-line reason in *error for anything malformed.
    static std::optional<MqttUrl> parse(const QString& text, QString* error = nullptr);
    // The URL back, without a password (there is none to show).
    QString toString() const;
};

} // namespace hub
