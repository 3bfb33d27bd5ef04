#pragma once
// The time line's day scan: the calendar days on which a recording holds state
// records, in file order.
#include "monitor/analysis/textexport.h"

#include <QDate>
#include <QList>
#include <QString>

namespace hub {

class RecordFile;

struct DayScan {
    QList<QDate> days;
    qint64 stateRecords = 0;
};

// Reads from the current position to the first failed read. A day is listed
// when it differs from the previous state record's day only (the day before
// the first is day 0, 30 December 1899), so a clock set back lists a day again.
// Records of unknown type are taken as bare 9-byte records.
DayScan scanDays(RecordFile& file, const AnalysisProgress& progress = {});

} // namespace hub
