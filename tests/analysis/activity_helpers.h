#pragma once
#include "monitor/analysis/activityfile.h"
#include "monitor/datafile.h"
#include "recording.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <vector>

struct Slot {
    double time;
    std::uint8_t b1, b2, status;
};

inline std::vector<Slot> parseSlots(const QByteArray& bytes) {
    std::vector<Slot> v;
    for (int i = 0; i + 11 <= bytes.size(); i += 11) {
        Slot s;
        std::memcpy(&s.time, bytes.constData() + i, 8);
        s.b1 = static_cast<std::uint8_t>(bytes[i + 8]);
        s.b2 = static_cast<std::uint8_t>(bytes[i + 9]);
        s.status = static_cast<std::uint8_t>(bytes[i + 10]);
        v.push_back(s);
    }
    return v;
}

// Builds the intermediate file of rec in dir and returns its bytes.
inline QByteArray buildSlots(const QTemporaryDir& dir, const testrec::Recording& rec, int couple,
                             const hub::ActivityRange& range, hub::ActivityResult* result = nullptr) {
    const QString dat = dir.filePath("rec.dat");
    EXPECT_TRUE(rec.save(dat));
    hub::RecordFile f;
    EXPECT_TRUE(f.open(dat));
    const QString out = hub::activityPathFor(dat, range.mode);
    const hub::ActivityResult r = hub::buildActivityFile(f, couple, range, out);
    EXPECT_TRUE(r.ok) << r.error.toStdString();
    if (result) *result = r;
    return testrec::readAll(out);
}
