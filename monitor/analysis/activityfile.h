#pragma once
// The activity charts' intermediate files (".DMo" for a day, ".HMo" for an
// hour): a recording resampled for one couple into 11-byte slot records
// (8-byte slot time, first barrier's beams, second barrier's beams,
// CoupleStatus), drawn one pixel column a record.
#include "monitor/analysis/textexport.h"

#include <QDate>
#include <QString>
#include <array>
#include <cstdint>

namespace hub {

class RecordFile;

constexpr int kActivityRecordSize = 11;
// The steps are these decimal day fractions, not exactly 120 s and 5 s; slot
// times are summed step by step, so stored files depend on the exact values.
constexpr double kDayStep = 0.001389;
constexpr double kHourStep = 0.000058;

enum class ChartMode : std::uint8_t { Day = 0, Hour = 1 };

// Times on the continuous axis of linearDays(), which for any day from 1900 on
// are the recording's own time stamps.
struct ActivityRange {
    ChartMode mode = ChartMode::Day;
    double t0 = 0; // first slot time
    double t1 = 0; // excluded end
    double step = kDayStep;
};

// The day from 00:00:00 for one day; the hour from h:00:00 to h:59:59.
ActivityRange dayRange(const QDate& day);
ActivityRange hourRange(const QDate& day, int hour);

inline QString activityPathFor(const QString& datPath, ChartMode mode) {
    return datPath + (mode == ChartMode::Hour ? QStringLiteral(".HMo") : QStringLiteral(".DMo"));
}

// "Couple : A" .. "Couple : D" for couple 1..4.
QString coupleTitle(int couple);
// The chart titles: "Day : " + short date + "  --  " + couple, and
// "Hour : " + the day's short date, " ", h ".00.00" + "  --  " + couple.
QString dayTitle(const QDate& day, int couple);
QString hourTitle(const QDate& day, int hour, int couple);

using ActivitySlot = std::array<std::uint8_t, 3>;

struct ActivityResult {
    bool ok = false;
    qint64 records = 0; // slot records written
    bool pastEnd = false; // the recording went on beyond the range
    QString error;
};

// Resamples the recording (read from its start) for couple 1..4 into the
// intermediate file at outPath, created afresh.
ActivityResult buildActivityFile(RecordFile& recording, int couple, const ActivityRange& range,
                                 const QString& outPath, const AnalysisProgress& progress = {});

} // namespace hub
