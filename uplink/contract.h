#pragma once
// The payloads a site and a control room exchange (docs/uplink.md): built and
// read here only, so both sides and the tests agree byte for byte. Every
// object carries "v":1; times are UTC with milliseconds and a Z.
#include "monitor/staterecord.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

namespace hub {

inline constexpr int kUplinkFormat = 1;
inline constexpr char kDefaultTopicPrefix[] = "hub";

QString uplinkTopic(const QString& prefix, const QString& site, const char* name);
// "2026-12-08T03:12:45.120Z"
QString uplinkTime(const QDateTime& t);
QString upperHex(const QByteArray& bytes);

enum class SiteState { Online, Offline, Lost };
enum class LinkState { Receiving, NoData, Stopped, DeviceGone };
QString siteStateName(SiteState s);
QString linkStateName(LinkState s);

// What a settings block draws: couples present, beams shown, power level 0..3.
struct SettingsSummary {
    std::array<bool, 4> couples{};
    std::array<int, 4> beams{};
    std::array<int, 4> power{};
    QString hubText; // LVersHUB as the decoders set it
};
// The settings block as the recording keeps it (9 bytes SW, 70 TC); nullopt
// when its size does not fit the kind.
std::optional<SettingsSummary> summariseSettings(std::uint8_t kind, const QByteArray& block);

QByteArray statusPayload(SiteState s, const QString& program, const QDateTime& since);
QByteArray linkPayload(LinkState s, const QString& port, const QString& hubText, const QDateTime& since);
QByteArray settingsPayload(std::uint8_t kind, const QByteArray& block, const SettingsSummary& summary,
                           const QDateTime& time);
QByteArray statePayload(const StateRecord& record, const QDateTime& time, std::uint64_t seq);

struct UplinkEvent {
    std::uint64_t seq = 0;
    QDateTime time;
    int barrier = 0;  // 1..8
    int element = 0;  // elementevents.h numbering: 1..8 beams, 9..14 status LEDs, 15 power
    bool on = false;
    int level = -1;   // power only: 0..3
    // The state record that produced the event (none for power events), so a
    // reader can rebuild every recorded record, not only the throttled state.
    std::optional<StateRecord> record;
};
QByteArray eventPayload(const UplinkEvent& e);
std::optional<UplinkEvent> parseEvent(const QByteArray& payload);

struct UplinkAck {
    std::uint64_t seq = 0;
    QString by, note;
    QString time; // as sent
};
std::optional<UplinkAck> parseAck(const QByteArray& payload);
// The "from" of a resend request.
std::optional<std::uint64_t> parseResend(const QByteArray& payload);

} // namespace hub
