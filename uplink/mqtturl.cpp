#include "uplink/mqtturl.h"


namespace hub {

bool isValidSiteName(const QString& name) {
    if (name.isEmpty() || name.size() > 64) return false;
    for (QChar c : name) {
        const char16_t u = c.unicode();
        const bool ok = (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '-' ||
                        u == '_';
        if (!ok) return false;
    }
    return true;
}

namespace {

std::optional<MqttUrl> fail(QString* error, const QString& why) {
    if (error) *error = why;
    return std::nullopt;
}

bool validHostName(const QString& h) {
    if (h.isEmpty() || h.size() > 253) return false;
    for (QChar c : h) {
        const char16_t u = c.unicode();
        const bool ok = (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '-' ||
                        u == '.' || u == '_';
        if (!ok) return false;
    }
    return true;
}

// The shape only (hex groups, colons, a dotted tail); the resolver has the
// last word.
bool validIpv6(const QString& h) {
    if (h.count(QLatin1Char(':')) < 2 || h.size() > 45) return false;
    for (QChar c : h) {
        const char16_t u = c.unicode();
        const bool ok = (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F') || u == ':' ||
                        u == '.';
        if (!ok) return false;
    }
    return true;
}

} // namespace

std::optional<MqttUrl> MqttUrl::parse(const QString& text, QString* error) {
    MqttUrl url;
    QString rest;
    if (text.startsWith(QLatin1String("mqtt://"))) {
        rest = text.mid(7);
    } else if (text.startsWith(QLatin1String("mqtts://"))) {
        url.tls = true;
        url.port = kTlsPort;
        rest = text.mid(8);
    } else {
        return fail(error, QStringLiteral("the URL must begin with mqtt:// or mqtts://"));
    }

    const qsizetype slash = rest.indexOf(QLatin1Char('/'));
    QString authority = slash < 0 ? rest : rest.left(slash);
    if (slash >= 0) {
        url.site = rest.mid(slash + 1);
        if (!isValidSiteName(url.site))
            return fail(error, QStringLiteral("bad site name '%1': use 1 to 64 letters, digits, '-' or '_'")
                                   .arg(url.site));
    }

    const qsizetype at = authority.lastIndexOf(QLatin1Char('@'));
    if (at >= 0) {
        url.user = authority.left(at);
        authority = authority.mid(at + 1);
        if (url.user.contains(QLatin1Char(':')))
            return fail(error, QStringLiteral("a password does not belong in the URL: give it in a file or in "
                                              "the environment"));
        if (url.user.isEmpty()) return fail(error, QStringLiteral("empty user name before '@'"));
    }

    QString portText;
    if (authority.startsWith(QLatin1Char('['))) {
        const qsizetype close = authority.indexOf(QLatin1Char(']'));
        if (close < 0) return fail(error, QStringLiteral("unclosed '[' in the host"));
        url.host = authority.mid(1, close - 1);
        const QString after = authority.mid(close + 1);
        if (!after.isEmpty()) {
            if (!after.startsWith(QLatin1Char(':'))) return fail(error, QStringLiteral("bad text after the host"));
            portText = after.mid(1);
            if (portText.isEmpty()) return fail(error, QStringLiteral("empty port after ':'"));
        }
        if (!validIpv6(url.host))
            return fail(error, QStringLiteral("bad IPv6 address '%1'").arg(url.host));
    } else {
        const qsizetype colon = authority.indexOf(QLatin1Char(':'));
        url.host = colon < 0 ? authority : authority.left(colon);
        if (colon >= 0) {
            portText = authority.mid(colon + 1);
            if (portText.isEmpty()) return fail(error, QStringLiteral("empty port after ':'"));
        }
        if (url.host.isEmpty()) return fail(error, QStringLiteral("no host in the URL"));
        if (!validHostName(url.host)) return fail(error, QStringLiteral("bad host name '%1'").arg(url.host));
    }
    if (!portText.isEmpty()) {
        bool ok = false;
        const uint p = portText.toUInt(&ok, 10);
        if (!ok || p < 1 || p > 65535 || portText.startsWith(QLatin1Char('+')))
            return fail(error, QStringLiteral("bad port '%1': use 1 to 65535").arg(portText));
        url.port = static_cast<quint16>(p);
    }
    return url;
}

QString MqttUrl::toString() const {
    QString s = tls ? QStringLiteral("mqtts://") : QStringLiteral("mqtt://");
    if (!user.isEmpty()) s += user + QLatin1Char('@');
    s += host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    if (port != (tls ? kTlsPort : kPlainPort)) s += QLatin1Char(':') + QString::number(port);
    if (!site.isEmpty()) s += QLatin1Char('/') + site;
    return s;
}

} // namespace hub
