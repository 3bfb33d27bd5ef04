#include "uplink/contract.h"

#include "common/tdatetime.h"
#include "monitor/display/monitormodel.h"
#include "monitor/elementevents.h"
#include "monitor/hubstate.h"
#include "monitor/settings/settingsdecoders.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <limits>

namespace hub {

QString uplinkTopic(const QString& prefix, const QString& site, const char* name) {
    return prefix + QLatin1Char('/') + site + QLatin1Char('/') + QLatin1String(name);
}

namespace {
int formatUplinkTimeOf(const QDateTime& t, qint64 ms, char* out) {
    const qint64 day = floorDiv(ms, 86400000);
    const qint64 inDay = ms - day * 86400000;
    const QDate d = QDate::fromJulianDay(2440588 + day);
    if (d.year() < 1 || d.year() > 9999) {
        const QByteArray s = t.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ")).toLatin1();
        const int n = int(std::min<qsizetype>(s.size(), 39));
        std::memcpy(out, s.constData(), size_t(n));
        return n;
    }
    return std::snprintf(out, 25, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", d.year(), d.month(), d.day(),
                         int(inDay / 3600000), int(inDay / 60000 % 60), int(inDay / 1000 % 60), int(inDay % 1000));
}

// Every payload carries a time, most of them many a second: formatted from
// the milliseconds, not through the locale machinery. Buffer of 40 or more.
int formatUplinkTime(const QDateTime& t, char* out) {
    if (!t.isValid()) return 0;
    const qint64 ms = t.toMSecsSinceEpoch();
    // A record's events share its time: the text is made once for them all.
    thread_local qint64 lastMs = std::numeric_limits<qint64>::min();
    thread_local char lastText[40];
    thread_local int lastSize = 0;
    if (ms == lastMs) {
        std::memcpy(out, lastText, size_t(lastSize));
        return lastSize;
    }
    const int n = formatUplinkTimeOf(t, ms, out);
    lastMs = ms;
    lastSize = n;
    std::memcpy(lastText, out, size_t(n));
    return n;
}

const char* elementWord(int element) {
    static const auto words = [] {
        std::array<QByteArray, 32> w;
        for (int e = 0; e < int(w.size()); ++e) w[size_t(e)] = elementName(e).toLatin1();
        return w;
    }();
    return element >= 0 && element < int(words.size()) ? words[size_t(element)].constData() : "";
}

void appendHex(QByteArray& b, const StateRecord& r) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (std::uint8_t x : r) {
        b.append(kDigits[x >> 4]);
        b.append(kDigits[x & 15]);
    }
}
} // namespace

QString uplinkTime(const QDateTime& t) {
    char buf[40];
    const int n = formatUplinkTime(t, buf);
    return QString::fromLatin1(buf, n);
}

QString upperHex(const QByteArray& bytes) { return QString::fromLatin1(bytes.toHex()).toUpper(); }

QString siteStateName(SiteState s) {
    switch (s) {
    case SiteState::Online: return QStringLiteral("online");
    case SiteState::Offline: return QStringLiteral("offline");
    case SiteState::Lost: break;
    }
    return QStringLiteral("lost");
}

QString linkStateName(LinkState s) {
    switch (s) {
    case LinkState::Receiving: return QStringLiteral("receiving");
    case LinkState::NoData: return QStringLiteral("nodata");
    case LinkState::Stopped: return QStringLiteral("stopped");
    case LinkState::DeviceGone: break;
    }
    return QStringLiteral("devicegone");
}

std::optional<SettingsSummary> summariseSettings(std::uint8_t kind, const QByteArray& block) {
    if (block.size() != settingsBlockSize(kind)) return std::nullopt;
    MonitorModel m;
    HubState st;
    if (isSwHub(kind)) {
        std::array<std::uint8_t, kSwBlockSize> b{};
        std::memcpy(b.data(), block.constData(), b.size());
        RiceviSet_SW(m, st, kind, b, false);
    } else {
        std::array<std::uint8_t, kTcBlockSize> b{};
        std::memcpy(b.data(), block.constData(), b.size());
        RiceviSet_TC(m, st, kind, b, false, nullptr);
    }
    SettingsSummary s;
    for (int c = 1; c <= 4; ++c) {
        const PowerBarModel& bar = m.bars[size_t(c - 1)];
        s.couples[size_t(c - 1)] = bar.visible;
        if (!bar.visible) continue;
        int beams = 0;
        for (int k = 1; k <= 8; ++k) beams += m.raggio(c, k).visible ? 1 : 0;
        s.beams[size_t(c - 1)] = beams;
        // The bar shows 25 % a level, from level 0 at 25 %.
        s.power[size_t(c - 1)] = std::clamp(bar.progress / 25 - 1, 0, 3);
    }
    s.hubText = st.versHub;
    return s;
}

namespace {
QByteArray compact(const QJsonObject& o) { return QJsonDocument(o).toJson(QJsonDocument::Compact); }

QJsonObject versioned() {
    QJsonObject o;
    o.insert(QStringLiteral("v"), kUplinkFormat);
    return o;
}

std::optional<QJsonObject> readVersioned(const QByteArray& payload) {
    QJsonParseError err{};
    const QJsonDocument d = QJsonDocument::fromJson(payload, &err);
    if (err.error != QJsonParseError::NoError || !d.isObject()) return std::nullopt;
    const QJsonObject o = d.object();
    if (o.value(QStringLiteral("v")).toInteger(-1) != kUplinkFormat) return std::nullopt;
    return o;
}

// A JSON number that is a whole seq (1 and up), as a 64-bit integer.
std::optional<std::uint64_t> readSeq(const QJsonValue& v) {
    if (!v.isDouble()) return std::nullopt;
    const qint64 i = v.toInteger(-1);
    if (i < 1) return std::nullopt;
    return std::uint64_t(i);
}
} // namespace

QByteArray statusPayload(SiteState s, const QString& program, const QDateTime& since) {
    QJsonObject o = versioned();
    o.insert(QStringLiteral("state"), siteStateName(s));
    o.insert(QStringLiteral("program"), program);
    o.insert(QStringLiteral("since"), uplinkTime(since));
    return compact(o);
}

QByteArray linkPayload(LinkState s, const QString& port, const QString& hubText, const QDateTime& since) {
    QJsonObject o = versioned();
    o.insert(QStringLiteral("state"), linkStateName(s));
    o.insert(QStringLiteral("port"), port);
    o.insert(QStringLiteral("hub"), hubText);
    o.insert(QStringLiteral("since"), uplinkTime(since));
    return compact(o);
}

QByteArray settingsPayload(std::uint8_t kind, const QByteArray& block, const SettingsSummary& summary,
                           const QDateTime& time) {
    QJsonObject o = versioned();
    o.insert(QStringLiteral("kind"), int(kind));
    o.insert(QStringLiteral("block"), upperHex(block));
    QJsonArray couples, beams;
    for (int c = 0; c < 4; ++c) {
        couples.append(summary.couples[size_t(c)]);
        beams.append(summary.beams[size_t(c)]);
    }
    o.insert(QStringLiteral("couples"), couples);
    o.insert(QStringLiteral("beams"), beams);
    o.insert(QStringLiteral("time"), uplinkTime(time));
    return compact(o);
}

// By hand as well, several times a second; the keys in the order a JSON
// object of the same fields has always been written in.
QByteArray statePayload(const StateRecord& record, const QDateTime& time, std::uint64_t seq) {
    char t[40];
    const int tn = formatUplinkTime(time, t);
    QByteArray b;
    b.reserve(96);
    b.append("{\"record\":\"");
    appendHex(b, record);
    b.append("\",\"seq\":").append(QByteArray::number(qulonglong(seq)));
    b.append(",\"time\":\"").append(t, tn).append("\",\"v\":1}");
    return b;
}

// Written by hand: the busiest payload, and every part of it is a number or a
// fixed word that needs no escaping.
QByteArray eventPayload(const UplinkEvent& e) {
    char t[40];
    const int tn = formatUplinkTime(e.time, t);
    char head[160];
    const int hn = std::snprintf(head, sizeof head, "{\"v\":1,\"seq\":%llu,\"time\":\"%.*s\",\"barrier\":%d,\"element\":\"%s\",\"on\":%s",
                                 static_cast<unsigned long long>(e.seq), tn, t, e.barrier, elementWord(e.element),
                                 e.on ? "true" : "false");
    QByteArray b;
    b.reserve(hn + 48);
    b.append(head, std::min(hn, int(sizeof head) - 1));
    if (e.element == Element::Power) b.append(",\"level\":").append(QByteArray::number(e.level));
    if (e.record) {
        b.append(",\"record\":\"");
        appendHex(b, *e.record);
        b.append('"');
    }
    b.append('}');
    return b;
}

std::optional<UplinkEvent> parseEvent(const QByteArray& payload) {
    const auto o = readVersioned(payload);
    if (!o) return std::nullopt;
    UplinkEvent e;
    const auto seq = readSeq(o->value(QStringLiteral("seq")));
    const auto element = elementFromName(o->value(QStringLiteral("element")).toString());
    if (!seq) return std::nullopt;
    e.seq = *seq;
    e.time = QDateTime::fromString(o->value(QStringLiteral("time")).toString(), Qt::ISODateWithMs);
    e.barrier = o->value(QStringLiteral("barrier")).toInt(0);
    if (!element) return std::nullopt;
    e.element = *element;
    if (!e.time.isValid() || e.barrier < 1 || e.barrier > 8 || !o->value(QStringLiteral("on")).isBool())
        return std::nullopt;
    e.on = o->value(QStringLiteral("on")).toBool();
    if (e.element == Element::Power) e.level = o->value(QStringLiteral("level")).toInt(-1);
    return e;
}

std::optional<UplinkAck> parseAck(const QByteArray& payload) {
    const auto o = readVersioned(payload);
    if (!o) return std::nullopt;
    const auto seq = readSeq(o->value(QStringLiteral("seq")));
    if (!seq) return std::nullopt;
    UplinkAck a;
    a.seq = *seq;
    a.by = o->value(QStringLiteral("by")).toString();
    a.note = o->value(QStringLiteral("note")).toString();
    a.time = o->value(QStringLiteral("time")).toString();
    return a;
}

std::optional<std::uint64_t> parseResend(const QByteArray& payload) {
    const auto o = readVersioned(payload);
    if (!o) return std::nullopt;
    return readSeq(o->value(QStringLiteral("from")));
}

} // namespace hub
