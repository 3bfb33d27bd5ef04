#include "monitor/analysis/dayscan.h"
#include "monitor/datafile.h"
#include "recording.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace hub;
using testrec::at;
using testrec::Recording;

TEST(DayScan, DaysInFileOrderComparedWithThePreviousStateRecordOnly) {
    struct Case {
        const char* what;
        Recording rec;
        QList<QDate> days;
        qint64 states;
    } cases[] = {
        {"spanning midnight",
         Recording().startEnd(at(2026, 6, 12, 23)).couple(at(2026, 6, 12, 23, 30), 1, 1, 0, 0)
             .couple(at(2026, 6, 13, 0, 10), 1, 2, 0, 0).startEnd(at(2026, 6, 13, 1)),
         {QDate(2026, 6, 12), QDate(2026, 6, 13)}, 2},
        {"clock set back lists the earlier day again",
         Recording().startEnd(at(2026, 6, 12)).couple(at(2026, 6, 12, 10), 1, 1, 0, 0)
             .couple(at(2026, 6, 13, 10), 1, 2, 0, 0).couple(at(2026, 6, 12, 11), 1, 3, 0, 0),
         {QDate(2026, 6, 12), QDate(2026, 6, 13), QDate(2026, 6, 12)}, 3},
        {"settings records and start/end records add no day",
         Recording().startEnd(at(2026, 6, 10)).settings(at(2026, 6, 11), 0x41)
             .couple(at(2026, 6, 12, 10), 1, 1, 0, 0).settings(at(2026, 6, 14), 0x02)
             .couple(at(2026, 6, 12, 11), 1, 2, 0, 0).startEnd(at(2026, 6, 15)),
         {QDate(2026, 6, 12)}, 2},
        {"unknown types are bare 9-byte records",
         Recording().startEnd(at(2026, 6, 12)).header(9, at(2026, 6, 1)).couple(at(2026, 6, 12, 1), 1, 1, 0, 0),
         {QDate(2026, 6, 12)}, 1},
        {"a cut last record ends the scan",
         Recording().startEnd(at(2026, 6, 12)).couple(at(2026, 6, 12, 1), 1, 1, 0, 0)
             .header(2, at(2026, 6, 20)).raw("\x01\x02"),
         {QDate(2026, 6, 12)}, 1},
        {"no state records", Recording().startEnd(at(2026, 6, 12)).settings(at(2026, 6, 12), 0x41), {}, 0},
        {"a record on day 0 is not a new day",
         Recording().couple(0.25, 1, 1, 0, 0).couple(1.25, 1, 1, 0, 0), {QDate(1899, 12, 31)}, 2},
    };
    QTemporaryDir dir;
    for (auto& c : cases) {
        const QString p = dir.filePath("d.dat");
        ASSERT_TRUE(c.rec.save(p));
        RecordFile f;
        ASSERT_TRUE(f.open(p));
        const DayScan r = scanDays(f);
        EXPECT_EQ(r.days, c.days) << c.what;
        EXPECT_EQ(r.stateRecords, c.states) << c.what;
    }
}
