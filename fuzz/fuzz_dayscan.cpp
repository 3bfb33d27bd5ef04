// The time line's day scan over a recording of any bytes: it stops at the
// first short read, lists only valid days, and never lists the same day twice
// in a row.
#include "fuzzsupport.h"
#include "monitor/analysis/dayscan.h"
#include "monitor/datafile.h"

using namespace fuzzsupport;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    initQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    static InputFile input;
    const QString& path = input.write(data, size);

    hub::RecordFile file;
    if (!file.open(path)) broken("the recording could not be opened");
    const hub::DayScan scan = hub::scanDays(file);
    if (scan.stateRecords > static_cast<qint64>(size / 21)) broken("more state records than bytes allow");
    if (scan.days.size() > scan.stateRecords) broken("more days than state records");
    for (qsizetype i = 0; i < scan.days.size(); ++i) {
        if (!scan.days[i].isValid()) broken("an invalid day is listed");
        if (i > 0 && scan.days[i] == scan.days[i - 1]) broken("a day is listed twice in a row");
    }
    return 0;
}
