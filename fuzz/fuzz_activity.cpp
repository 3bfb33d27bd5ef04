// The activity charts as the time line reaches them: a recording of any bytes
// is scanned for its days, one listed day (or one hour of it) is resampled for
// one couple into the intermediate file, and the chart is drawn from it. With
// the top bit of the first byte set the rest is taken as an intermediate file
// of any bytes and drawn directly.
//
// First byte: bits 0-1 couple, bit 2 hour chart, bits 3-6 which listed day.
// Second byte: the hour (mod 24).
#include "fuzzsupport.h"
#include "monitor/analysis/activitychart.h"
#include "monitor/analysis/activityfile.h"
#include "monitor/analysis/dayscan.h"
#include "monitor/datafile.h"

using namespace fuzzsupport;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    initQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    static InputFile input;
    static const QString chartPath = scratchPath("chart.DMo");
    static QImage image = hub::newChartImage();
    if (size < 2) return 0;
    const std::uint8_t p = data[0];
    const int couple = (p & 3) + 1;
    const hub::ChartMode mode = (p & 4) ? hub::ChartMode::Hour : hub::ChartMode::Day;
    const int hour = data[1] % 24;
    const QString& path = input.write(data + 2, size - 2);

    if (p & 0x80) {
        const hub::ChartResult c = hub::drawActivityChart(image, path, couple, mode);
        if (!c.ok) broken("an intermediate file that exists could not be drawn");
        return 0;
    }

    hub::RecordFile rec;
    if (!rec.open(path)) broken("the recording could not be opened");
    const hub::DayScan scan = hub::scanDays(rec);
    if (scan.days.isEmpty()) return 0;
    const QDate day = scan.days[((p >> 3) & 0x0F) % scan.days.size()];
    const hub::ActivityRange range =
        mode == hub::ChartMode::Hour ? hub::hourRange(day, hour) : hub::dayRange(day);

    const hub::ActivityResult a = hub::buildActivityFile(rec, couple, range, chartPath);
    if (!a.ok) broken("resampling failed");
    // One slot a step over the range, plus the repeated one at the end.
    const qint64 maxSlots = static_cast<qint64>((range.t1 - range.t0) / range.step) + 3;
    if (a.records < 1 || a.records > maxSlots) broken("slot count outside the range");

    const hub::ChartResult c = hub::drawActivityChart(image, chartPath, couple, mode);
    if (!c.ok) broken("the intermediate file just written could not be drawn");
    if (c.records != std::min<qint64>(a.records, hub::kChartWidth - hub::kChartX0))
        broken("chart columns differ from the slots written");
    return 0;
}
