#pragma once
// Drawing of the day and hour activity charts into their 780 x 390 image,
// streamed from the intermediate file one pixel column a record.
#include "monitor/analysis/activityfile.h"

#include <QImage>
#include <QString>

namespace hub {

constexpr int kChartWidth = 780;
constexpr int kChartHeight = 390;
constexpr int kChartX0 = 50;  // column of the first record
constexpr int kChartX1 = 770;

struct ChartResult {
    bool ok = false;       // the intermediate file could be read
    qint64 records = 0;    // records drawn (or counted past the right edge)
    bool endMarker = false;
    QString error;
};

// A 780 x 390 image ready to draw into.
QImage newChartImage();

// Draws the whole chart (background, bands, grid, labels, the axis of the
// mode, data columns, end marker) from the intermediate file at path.
ChartResult drawActivityChart(QImage& image, const QString& path, int couple, ChartMode mode);

// Saves the image ("BMP" or "PNG") the way every output is written: whole or
// not at all under its name, a full disk reported, never over source (the
// recording being read). On failure *error gets the reason.
bool saveChartImage(const QImage& image, const QString& path, const char* format,
                    const RecordFile* source, QString* error = nullptr);

} // namespace hub
