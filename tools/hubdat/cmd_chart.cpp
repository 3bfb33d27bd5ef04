// hubdat chart: the day or hour activity file of one couple, and the chart image
// exactly as the chart windows draw it. Built into hubdat-chart, the one
// program of the two that loads QtGui.
#include "chart_texts.h"
#include "command.h"
#include "monitor/analysis/activitychart.h"
#include "monitor/datafile.h"

#include <cstdio>

namespace hubdat {
namespace {

int usageError(const char* why) {
    std::fprintf(stderr, "hubdat chart: %s\nUsage: hubdat %s\n", why, kChartSynopsis);
    return kUsage;
}

} // namespace

int runChart(const QStringList& args) {
    QString path, couple, day, hour, image;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        QString* target = nullptr;
        if (a == QLatin1String("--couple")) target = &couple;
        else if (a == QLatin1String("--day")) target = &day;
        else if (a == QLatin1String("--hour")) target = &hour;
        else if (a == QLatin1String("--image")) target = &image;
        if (target) {
            if (i + 1 >= args.size()) return usageError("an option lacks its value");
            *target = args[++i];
        } else if (a.startsWith(QLatin1String("--"))) {
            return usageError("unknown option");
        } else if (path.isEmpty()) {
            path = a;
        } else {
            return usageError("only one file");
        }
    }
    if (path.isEmpty()) return usageError("no file given");
    const QString c = couple.trimmed().toUpper();
    if (c.size() != 1 || c[0] < QLatin1Char('A') || c[0] > QLatin1Char('D'))
        return usageError("--couple takes A, B, C or D");
    const int coupleNo = c[0].unicode() - 'A' + 1;
    const QDate date = QDate::fromString(day, Qt::ISODate);
    if (!date.isValid()) return usageError("--day takes a date YYYY-MM-DD");
    hub::ChartMode mode = hub::ChartMode::Day;
    int h = 0;
    if (!hour.isEmpty()) {
        bool ok = false;
        h = hour.toInt(&ok);
        if (!ok || h < 0 || h > 23) return usageError("--hour takes 0 to 23");
        mode = hub::ChartMode::Hour;
    }
    const char* format = nullptr;
    if (!image.isEmpty()) {
        if (image.endsWith(QLatin1String(".bmp"), Qt::CaseInsensitive)) format = "BMP";
        else if (image.endsWith(QLatin1String(".png"), Qt::CaseInsensitive)) format = "PNG";
        else return usageError("--image must end in .bmp or .png");
    }

    hub::RecordFile f;
    QString error;
    if (!f.open(path, &error)) {
        std::fprintf(stderr, "hubdat chart: %s: %s\n", path.toLocal8Bit().constData(), error.toLocal8Bit().constData());
        return kFileError;
    }
    const hub::ActivityRange range = mode == hub::ChartMode::Hour ? hub::hourRange(date, h) : hub::dayRange(date);
    const QString out = hub::activityPathFor(path, mode);
    const hub::ActivityResult r = hub::buildActivityFile(f, coupleNo, range, out);
    if (!r.ok) {
        std::fprintf(stderr, "hubdat chart: %s: %s\n", out.toLocal8Bit().constData(), r.error.toLocal8Bit().constData());
        return kFileError;
    }
    std::printf("%s: %lld records\n", out.toLocal8Bit().constData(), static_cast<long long>(r.records));
    if (format) {
        QImage img = hub::newChartImage();
        const hub::ChartResult drawn = hub::drawActivityChart(img, out, coupleNo, mode);
        QString why = drawn.error;
        if (!drawn.ok || !hub::saveChartImage(img, image, format, &f, &why)) {
            std::fprintf(stderr, "hubdat chart: cannot write %s: %s\n", image.toLocal8Bit().constData(),
                         why.toLocal8Bit().constData());
            return kFileError;
        }
        std::printf("%s\n", image.toLocal8Bit().constData());
    }
    return kOk;
}

} // namespace hubdat
