#include "monitor/analysis/activityfile.h"

#include "common/tdatetime.h"
#include "monitor/analysis/outputfile.h"
#include "monitor/datafile.h"

namespace hub {

ActivityRange dayRange(const QDate& day) {
    ActivityRange r;
    r.mode = ChartMode::Day;
    r.t0 = linearDays(toTDateTime(day, QTime(0, 0, 0)));
    r.t1 = r.t0 + 1.0;
    r.step = kDayStep;
    return r;
}

ActivityRange hourRange(const QDate& day, int hour) {
    ActivityRange r;
    r.mode = ChartMode::Hour;
    r.t0 = linearDays(toTDateTime(day, QTime(hour, 0, 0)));
    r.t1 = linearDays(toTDateTime(day, QTime(hour, 59, 59)));
    r.step = kHourStep;
    return r;
}

QString coupleTitle(int couple) {
    const char letter = static_cast<char>('A' + qBound(1, couple, 4) - 1);
    return QStringLiteral("Couple : ") + QLatin1Char(letter);
}

QString dayTitle(const QDate& day, int couple) {
    return QStringLiteral("Day : ") + shortDateText(day) + QStringLiteral("  --  ") + coupleTitle(couple);
}

QString hourTitle(const QDate& day, int hour, int couple) {
    return QStringLiteral("Hour : ") + shortDateText(day) + QLatin1Char(' ') + QString::number(hour) +
           QStringLiteral(".00.00") + QStringLiteral("  --  ") + coupleTitle(couple);
}

namespace {
class SlotWriter {
public:
    explicit SlotWriter(OutputFile& out) : out_(out) {}
    void write(double p, const ActivitySlot& v) {
        std::uint8_t rec[kActivityRecordSize];
        std::memcpy(rec, &p, 8);
        rec[8] = v[0];
        rec[9] = v[1];
        rec[10] = v[2];
        out_.append(rec, sizeof rec);
        ++count;
    }
    qint64 count = 0;

private:
    OutputFile& out_;
};
} // namespace

ActivityResult buildActivityFile(RecordFile& recording, int couple, const ActivityRange& range,
                                 const QString& outPath, const AnalysisProgress& progress) {
    ActivityResult r;
    OutputFile out;
    if (!out.create(outPath, &recording)) {
        r.error = out.error();
        return r;
    }
    if (!recording.rewind()) {
        r.error = QStringLiteral("cannot read the recording from its start");
        return r;
    }
    SlotWriter w(out);
    const int first = 3 * (qBound(1, couple, 4) - 1);
    const double step = range.step;
    ActivitySlot acc{}, last{};
    double p = range.t0;
    bool seen = false;
    bool pastEnd = false;
    qint64 inRange = 0;

    std::uint8_t type = 0, kind = 0;
    double t = 0;
    std::uint8_t block[kTcBlockSize];
    int blockLength = 0;
    StateRecord s;
    while (recording.readHeader(type, t)) {
        if (type == kRecordSettings) {
            if (!recording.readSettings(kind, block, blockLength)) break;
            continue;
        }
        if (type != kRecordState) continue; // start/end and unknown types: 9 bytes
        if (!recording.readState(s)) break;
        t = linearDays(t); // days before 1900 must compare in time order too
        const ActivitySlot e{s[first], s[first + 1], s[first + 2]};
        if (t < range.t0) {
            acc = e; // the state in force when the range starts
            last = e;
            continue;
        }
        if (t >= range.t1) {
            pastEnd = true;
            break;
        }
        bool wrote = false;
        while (t > p) {
            w.write(p, acc);
            p += step;
            wrote = true;
            if (seen) acc = last;
        }
        seen = true;
        if (wrote) acc = {};
        for (int i = 0; i < 3; ++i) acc[i] |= e[i];
        last = e;
        ++inRange;
        if (progress && (inRange & 0x1FFF) == 0) progress(inRange);
    }
    p += step;
    w.write(p, acc);
    if (pastEnd) {
        // Fill to the end of the range with the last state; the first of these
        // repeats the slot time just written.
        while (p < range.t1) {
            w.write(p, last);
            p += step;
        }
    }
    if (progress) progress(inRange);
    r.ok = out.close();
    r.error = out.error();
    r.records = w.count;
    r.pastEnd = pastEnd;
    return r;
}

} // namespace hub
