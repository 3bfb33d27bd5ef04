#include "monitor/analysis/dayscan.h"

#include "common/tdatetime.h"
#include "monitor/datafile.h"

namespace hub {

DayScan scanDays(RecordFile& file, const AnalysisProgress& progress) {
    DayScan r;
    QDate previous = dateOf(0.0);
    std::uint8_t type = 0, kind = 0;
    double time = 0;
    std::uint8_t block[kTcBlockSize];
    int blockLength = 0;
    StateRecord s;
    while (file.readHeader(type, time)) {
        if (type == kRecordSettings) {
            if (!file.readSettings(kind, block, blockLength)) break;
        } else if (type == kRecordState) {
            if (!file.readState(s)) break;
            ++r.stateRecords;
            if (progress && (r.stateRecords & 0x1FFF) == 0) progress(r.stateRecords);
            // A time stamp that is no date at all cannot be offered as a day.
            const QDate d = dateOf(time);
            if (d.isValid() && d != previous) {
                r.days.append(d);
                previous = d;
            }
        }
    }
    if (progress) progress(r.stateRecords);
    return r;
}

} // namespace hub
