#pragma once
// Contract payloads built for the room's tests.
#include "hubroom/payloads.h"

#include <QByteArray>
#include <QString>

namespace roomtest {

inline QString topic(const QString& site, const char* name) {
    return QStringLiteral("hub/%1/%2").arg(site, QLatin1String(name));
}
inline QByteArray status(const char* state) {
    return QByteArray(R"({"v":1,"state":")") + state +
           R"(","program":"hubmonitor 1.7","since":"2026-12-08T03:00:00.000Z"})";
}
inline QByteArray link(const char* state) {
    return QByteArray(R"({"v":1,"state":")") + state +
           R"(","port":"/dev/ttyUSB0","hub":"HUB SW 2.1","since":"2026-12-08T03:00:00.000Z"})";
}
inline QByteArray event(unsigned long long seq, int barrier, const char* element, bool on,
                        const char* time = "2026-12-08T03:12:45.120Z") {
    return QStringLiteral(R"({"v":1,"seq":%1,"time":"%2","barrier":%3,"element":"%4","on":%5})")
        .arg(seq)
        .arg(QLatin1String(time))
        .arg(barrier)
        .arg(QLatin1String(element), on ? QStringLiteral("true") : QStringLiteral("false"))
        .toUtf8();
}
// An event carrying the state record that produced it.
inline QByteArray eventOf(unsigned long long seq, int barrier, const char* element, bool on, const char* hex,
                          const char* time = "2026-12-08T03:12:45.120Z") {
    QByteArray e = event(seq, barrier, element, on, time);
    e.chop(1);
    return e + R"(,"record":")" + hex + R"("})";
}
inline QByteArray state(const char* hex, unsigned long long seq,
                        const char* time = "2026-12-08T03:12:45.000Z") {
    return QStringLiteral(R"({"v":1,"record":"%1","time":"%2","seq":%3})")
        .arg(QLatin1String(hex), QLatin1String(time))
        .arg(seq)
        .toUtf8();
}
// An SW hub with couples A and B of 8 beams.
inline QByteArray settingsSw(const char* time = "2026-12-08T03:00:00.000Z") {
    return QByteArray(R"({"v":1,"kind":64,"block":"FF0000000000030500","couples":[true,true,false,false],"beams":[8,8,0,0],"time":")") +
           time + R"("})";
}

} // namespace roomtest
