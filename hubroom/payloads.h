#pragma once
// The uplink's payloads as the control room reads and writes them: one JSON
// object a message, "v":1, UTC times with milliseconds. A payload that is not
// one we can read is refused whole (nullopt), never half applied.
#include "monitor/staterecord.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace hub::room {

// PREFIX/SITE/NAME split; nullopt for a topic that is not a site's.
struct SiteTopic {
    QString site;
    QString name;
};
std::optional<SiteTopic> splitTopic(const QString& prefix, const QString& topic);
bool validSiteName(const QString& site);

struct StatusMsg {
    QString state; // online, offline, lost
    QString program;
    QDateTime since;
};
struct LinkMsg {
    QString state; // receiving, nodata, stopped, devicegone
    QString port;
    QString hub;
    QDateTime since;
};
struct SettingsMsg {
    std::uint8_t kind = 0;
    std::vector<std::uint8_t> block; // 9 (SW) or 70 (TC) bytes
    std::array<bool, 4> couples{};
    std::array<int, 4> beams{};
    QDateTime time;
};
struct StateMsg {
    StateRecord record{};
    QDateTime time;
    std::uint64_t seq = 0;
};
struct EventMsg {
    std::uint64_t seq = 0;
    QDateTime time;
    int barrier = 0; // 1..8
    int element = 0; // elementevents.h numbering (1..15)
    bool on = false;
    int level = -1;  // power events only
    std::optional<StateRecord> record; // the state record that produced it
};

// Why a payload was refused: a version we do not know is counted apart.
enum class ParseError { None, Json, Version, Field };

std::optional<StatusMsg> parseStatus(const QByteArray& p, ParseError* err = nullptr);
std::optional<LinkMsg> parseLink(const QByteArray& p, ParseError* err = nullptr);
std::optional<SettingsMsg> parseSettings(const QByteArray& p, ParseError* err = nullptr);
std::optional<StateMsg> parseState(const QByteArray& p, ParseError* err = nullptr);
std::optional<EventMsg> parseEvent(const QByteArray& p, ParseError* err = nullptr);

QByteArray ackPayload(std::uint64_t seq, const QString& by, const QString& note,
                      const QDateTime& time);
QByteArray resendPayload(std::uint64_t from);

QString isoTime(const QDateTime& t); // "2026-12-08T03:12:45.120Z"
QDateTime parseIsoTime(const QString& s); // invalid when not such a time

// Hex as the contract writes it; nullopt for an odd length or a non-hex digit.
std::optional<std::vector<std::uint8_t>> fromHex(const QString& s);

} // namespace hub::room
