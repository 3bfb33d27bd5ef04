#include "hubroom/payloads.h"

#include "monitor/elementevents.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <cmath>

namespace hub::room {

namespace {

std::optional<QJsonObject> object(const QByteArray& p, ParseError* err) {
    QJsonParseError pe;
    const QJsonDocument d = QJsonDocument::fromJson(p, &pe);
    if (pe.error != QJsonParseError::NoError || !d.isObject()) {
        if (err) *err = ParseError::Json;
        return std::nullopt;
    }
    const QJsonObject o = d.object();
    if (o.value(QLatin1String("v")).toDouble(-1) != 1.0) {
        if (err) *err = ParseError::Version;
        return std::nullopt;
    }
    if (err) *err = ParseError::None;
    return o;
}

template <class T> std::optional<T> refuse(ParseError* err) {
    if (err) *err = ParseError::Field;
    return std::nullopt;
}

// A JSON number that is a whole, non-negative integer exactly representable.
std::optional<std::uint64_t> wholeNumber(const QJsonValue& v) {
    if (!v.isDouble()) return std::nullopt;
    const double d = v.toDouble();
    if (!(d >= 0) || d > 9007199254740992.0 || std::floor(d) != d) return std::nullopt;
    return static_cast<std::uint64_t>(d);
}

QString text(const QJsonObject& o, const char* key) { return o.value(QLatin1String(key)).toString(); }

bool oneOf(const QString& s, std::initializer_list<const char*> allowed) {
    for (const char* a : allowed)
        if (s == QLatin1String(a)) return true;
    return false;
}

} // namespace

bool validSiteName(const QString& site) {
    static const QRegularExpression re(QStringLiteral("^[A-Za-z0-9_-]{1,64}$"));
    return re.match(site).hasMatch();
}

std::optional<SiteTopic> splitTopic(const QString& prefix, const QString& topic) {
    const QStringList parts = topic.split(QLatin1Char('/'));
    if (parts.size() != 3 || parts[0] != prefix || !validSiteName(parts[1])) return std::nullopt;
    return SiteTopic{parts[1], parts[2]};
}

QString isoTime(const QDateTime& t) {
    return t.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
}

QDateTime parseIsoTime(const QString& s) {
    if (!s.endsWith(QLatin1Char('Z'))) return {};
    QDateTime t = QDateTime::fromString(s, Qt::ISODateWithMs);
    return t.isValid() ? t.toUTC() : QDateTime();
}

std::optional<std::vector<std::uint8_t>> fromHex(const QString& s) {
    if (s.size() % 2 != 0) return std::nullopt;
    std::vector<std::uint8_t> out(static_cast<size_t>(s.size() / 2));
    const auto digit = [](QChar c) -> int {
        const ushort u = c.unicode();
        if (u >= '0' && u <= '9') return u - '0';
        if (u >= 'A' && u <= 'F') return u - 'A' + 10;
        if (u >= 'a' && u <= 'f') return u - 'a' + 10;
        return -1;
    };
    for (qsizetype i = 0; i < s.size(); i += 2) {
        const int hi = digit(s[i]), lo = digit(s[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out[static_cast<size_t>(i / 2)] = static_cast<std::uint8_t>(hi * 16 + lo);
    }
    return out;
}

std::optional<StatusMsg> parseStatus(const QByteArray& p, ParseError* err) {
    const auto o = object(p, err);
    if (!o) return std::nullopt;
    StatusMsg m{text(*o, "state"), text(*o, "program"), parseIsoTime(text(*o, "since"))};
    if (!oneOf(m.state, {"online", "offline", "lost"})) return refuse<StatusMsg>(err);
    return m;
}

std::optional<LinkMsg> parseLink(const QByteArray& p, ParseError* err) {
    const auto o = object(p, err);
    if (!o) return std::nullopt;
    LinkMsg m{text(*o, "state"), text(*o, "port"), text(*o, "hub"),
              parseIsoTime(text(*o, "since"))};
    if (!oneOf(m.state, {"receiving", "nodata", "stopped", "devicegone"}))
        return refuse<LinkMsg>(err);
    return m;
}

std::optional<SettingsMsg> parseSettings(const QByteArray& p, ParseError* err) {
    const auto o = object(p, err);
    if (!o) return std::nullopt;
    SettingsMsg m;
    const auto kind = wholeNumber(o->value(QLatin1String("kind")));
    if (!kind || *kind > 255) return refuse<SettingsMsg>(err);
    m.kind = static_cast<std::uint8_t>(*kind);
    const auto block = fromHex(text(*o, "block"));
    if (!block || static_cast<int>(block->size()) != settingsBlockSize(m.kind))
        return refuse<SettingsMsg>(err);
    m.block = *block;
    const QJsonArray couples = o->value(QLatin1String("couples")).toArray();
    const QJsonArray beams = o->value(QLatin1String("beams")).toArray();
    for (int i = 0; i < 4; ++i) {
        m.couples[static_cast<size_t>(i)] = i < couples.size() && couples[i].toBool();
        m.beams[static_cast<size_t>(i)] = i < beams.size() ? beams[i].toInt() : 0;
    }
    m.time = parseIsoTime(text(*o, "time"));
    return m;
}

std::optional<StateMsg> parseState(const QByteArray& p, ParseError* err) {
    const auto o = object(p, err);
    if (!o) return std::nullopt;
    StateMsg m;
    const auto rec = fromHex(text(*o, "record"));
    const auto seq = wholeNumber(o->value(QLatin1String("seq")));
    if (!rec || rec->size() != m.record.size() || !seq) return refuse<StateMsg>(err);
    std::copy(rec->begin(), rec->end(), m.record.begin());
    m.seq = *seq;
    m.time = parseIsoTime(text(*o, "time"));
    return m;
}

std::optional<EventMsg> parseEvent(const QByteArray& p, ParseError* err) {
    const auto o = object(p, err);
    if (!o) return std::nullopt;
    EventMsg m;
    const auto seq = wholeNumber(o->value(QLatin1String("seq")));
    const auto barrier = wholeNumber(o->value(QLatin1String("barrier")));
    const auto element = elementFromName(text(*o, "element"));
    const QJsonValue on = o->value(QLatin1String("on"));
    m.time = parseIsoTime(text(*o, "time"));
    if (!seq || *seq == 0 || !barrier || *barrier < 1 || *barrier > 8 || !element ||
        !on.isBool() || !m.time.isValid())
        return refuse<EventMsg>(err);
    m.seq = *seq;
    m.barrier = static_cast<int>(*barrier);
    m.element = *element;
    m.on = on.toBool();
    if (const auto level = wholeNumber(o->value(QLatin1String("level")))) m.level = static_cast<int>(*level);
    // Older sites send no record; one that is there must be whole.
    if (o->contains(QLatin1String("record"))) {
        const auto rec = fromHex(text(*o, "record"));
        if (!rec || rec->size() != StateRecord{}.size()) return refuse<EventMsg>(err);
        m.record.emplace();
        std::copy(rec->begin(), rec->end(), m.record->begin());
    }
    return m;
}

QByteArray ackPayload(std::uint64_t seq, const QString& by, const QString& note,
                      const QDateTime& time) {
    QJsonObject o{{QStringLiteral("v"), 1},
                  {QStringLiteral("seq"), static_cast<double>(seq)},
                  {QStringLiteral("by"), by},
                  {QStringLiteral("note"), note},
                  {QStringLiteral("time"), isoTime(time)}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QByteArray resendPayload(std::uint64_t from) {
    QJsonObject o{{QStringLiteral("v"), 1}, {QStringLiteral("from"), static_cast<double>(from)}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

} // namespace hub::room
