#pragma once
// Recordings built byte by byte, so a test can also cut them short or put a
// record of an unknown type in the middle.
#include "common/tdatetime.h"
#include "monitor/staterecord.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <array>
#include <cstring>

namespace hubtest {

class DatBuilder {
public:
    DatBuilder& header(std::uint8_t type, double time) {
        bytes.append(static_cast<char>(type));
        char t[8];
        std::memcpy(t, &time, 8);
        bytes.append(t, 8);
        return *this;
    }
    DatBuilder& startEnd(double time) { return header(100, time); }
    DatBuilder& settings(double time, std::uint8_t kind, std::uint8_t fill) {
        header(1, time);
        bytes.append(static_cast<char>(kind));
        bytes.append(QByteArray(hub::settingsBlockSize(kind), static_cast<char>(fill)));
        return *this;
    }
    DatBuilder& state(double time, const hub::StateRecord& s) {
        header(2, time);
        bytes.append(reinterpret_cast<const char*>(s.data()), 12);
        return *this;
    }
    bool save(const QString& path) const {
        QFile f(path);
        return f.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
               f.write(bytes) == bytes.size();
    }
    QByteArray bytes;
};

// A state record with the three bytes of couple c (0..3) and `other` in every
// byte of the other couples.
inline hub::StateRecord coupleRecord(int c, std::uint8_t first, std::uint8_t second,
                                     std::uint8_t status, std::uint8_t other = 0) {
    hub::StateRecord s;
    s.fill(other);
    s[3 * c] = first;
    s[3 * c + 1] = second;
    s[3 * c + 2] = status;
    return s;
}

} // namespace hubtest
