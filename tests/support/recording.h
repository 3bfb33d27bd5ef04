#pragma once
// Recordings built byte by byte, so that a test can also write what the
// writer never would: a cut record, an unknown type, a file without its start.
//
// Two ways to the same bytes: single records (startEnd, settings, state) that
// a test lists and cuts with writeFile, or a Recording chained record by record.
#include "common/tdatetime.h"
#include "monitor/staterecord.h"

#include <QByteArray>
#include <QDate>
#include <QFile>
#include <QString>
#include <QTime>
#include <cstdint>
#include <cstring>
#include <vector>

namespace testrec {

using Bytes = std::vector<std::uint8_t>;

// A local date and time as a recording's time stamp.
inline double at(int y, int m, int d, int h = 0, int min = 0, int s = 0, int ms = 0) {
    return hub::toTDateTime(QDate(y, m, d), QTime(h, min, s, ms));
}

// A record's type byte and time stamp.
inline Bytes header(std::uint8_t type, double t) {
    Bytes r(9);
    r[0] = type;
    std::memcpy(r.data() + 1, &t, 8);
    return r;
}
inline Bytes startEnd(double t) {
    return header(100, t);
}
// A settings record: the kind byte and a block of the length the kind says.
inline Bytes settings(double t, std::uint8_t kind, const std::uint8_t* block) {
    Bytes r = header(1, t);
    r.push_back(kind);
    r.insert(r.end(), block, block + hub::settingsBlockSize(kind));
    return r;
}
inline Bytes state(double t, const hub::StateRecord& s) {
    Bytes r = header(2, t);
    r.insert(r.end(), s.begin(), s.end());
    return r;
}

// A state with couple c's (0..3) three bytes and `other` in every other byte.
inline hub::StateRecord coupleRecord(int c, std::uint8_t first, std::uint8_t second,
                                     std::uint8_t status, std::uint8_t other = 0) {
    hub::StateRecord s;
    s.fill(other);
    s[static_cast<size_t>(3 * c)] = first;
    s[static_cast<size_t>(3 * c + 1)] = second;
    s[static_cast<size_t>(3 * c + 2)] = status;
    return s;
}

inline bool saveBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// The records one after the other, the last cutLast bytes cut off.
inline bool writeFile(const QString& path, const std::vector<Bytes>& records, size_t cutLast = 0) {
    QByteArray all;
    for (const Bytes& r : records)
        all.append(reinterpret_cast<const char*>(r.data()), static_cast<qsizetype>(r.size()));
    all.chop(static_cast<qsizetype>(cutLast));
    return saveBytes(path, all);
}

inline QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class Recording {
  public:
    Recording& add(const Bytes& record) {
        bytes.append(reinterpret_cast<const char*>(record.data()),
                     static_cast<qsizetype>(record.size()));
        return *this;
    }
    Recording& header(std::uint8_t type, double t) { return add(testrec::header(type, t)); }
    Recording& startEnd(double t) { return add(testrec::startEnd(t)); }
    // A settings block of the kind's length, every byte `fill`.
    Recording& settings(double t, std::uint8_t kind, std::uint8_t fill = 0x5A) {
        const Bytes block(static_cast<size_t>(hub::settingsBlockSize(kind)), fill);
        return add(testrec::settings(t, kind, block.data()));
    }
    Recording& state(double t, const hub::StateRecord& s) { return add(testrec::state(t, s)); }
    // Couple c (1..4) with the three bytes given, every other byte zero.
    Recording& couple(double t, int c, std::uint8_t b1, std::uint8_t b2, std::uint8_t status) {
        return state(t, coupleRecord(c - 1, b1, b2, status));
    }
    Recording& raw(const QByteArray& b) {
        bytes.append(b);
        return *this;
    }
    bool save(const QString& path) const { return saveBytes(path, bytes); }

    QByteArray bytes;
};

} // namespace testrec
