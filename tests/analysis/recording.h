#pragma once
// Recordings built byte by byte for the analysis tests, including cut and
// corrupt ones the writer would never produce.
#include "common/tdatetime.h"
#include "monitor/staterecord.h"

#include <QByteArray>
#include <QDate>
#include <QFile>
#include <QTime>
#include <cstring>

namespace testrec {

inline double at(int y, int m, int d, int h = 0, int min = 0, int s = 0, int ms = 0) {
    return hub::toTDateTime(QDate(y, m, d), QTime(h, min, s, ms));
}

struct Recording {
    QByteArray bytes;

    Recording& header(std::uint8_t type, double t) {
        bytes.append(static_cast<char>(type));
        bytes.append(reinterpret_cast<const char*>(&t), 8);
        return *this;
    }
    Recording& startEnd(double t) { return header(100, t); }
    Recording& settings(double t, std::uint8_t kind) {
        header(1, t);
        bytes.append(static_cast<char>(kind));
        bytes.append(QByteArray(hub::settingsBlockSize(kind), '\x5A'));
        return *this;
    }
    Recording& state(double t, const hub::StateRecord& s) {
        header(2, t);
        bytes.append(reinterpret_cast<const char*>(s.data()), 12);
        return *this;
    }
    // One couple's three bytes (couple 1..4), the rest zero.
    Recording& couple(double t, int c, std::uint8_t b1, std::uint8_t b2, std::uint8_t status) {
        hub::StateRecord s{};
        s[3 * (c - 1)] = b1;
        s[3 * (c - 1) + 1] = b2;
        s[3 * (c - 1) + 2] = status;
        return state(t, s);
    }
    Recording& raw(const QByteArray& b) {
        bytes.append(b);
        return *this;
    }
    bool save(const QString& path) const {
        QFile f(path);
        return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
    }
};

inline QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace testrec
