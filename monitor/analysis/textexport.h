#pragma once
// The "-Exp.txt" export: one fixed-width, tab-separated 227-byte line per state
// record of a recording, Windows-1252 bytes, each line ending in a lone CR.
#include "monitor/staterecord.h"

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>

namespace hub {

constexpr int kExportLineSize = 227;
constexpr int kExportTimeWidth = 24; // offsets 1..24
constexpr std::uint8_t kExportMark = 0x95; // a bullet in Windows-1252
using ExportLine = std::array<std::uint8_t, kExportLineSize>;

const ExportLine& exportHeaderLine1();
const ExportLine& exportHeaderLine2();

// The data line of one state record; timeText is at most 24 bytes already encoded.
void buildExportLine(const StateRecord& s, const QByteArray& timeText, std::uint8_t* line);

// Text as Windows-1252 bytes; characters the code page lacks become '?',
// except direction marks, which are left out.
QByteArray toWindows1252(const QString& text);
// The time column: regional short date + long time (date alone at midnight),
// encoded and cut to the 24 bytes the field holds. Where the locale's digits,
// names or AM/PM markers are not in the code page, they come from the C locale
// (Latin digits, "AM"/"PM") instead of turning into '?'.
QByteArray exportTimeText(double time);
QByteArray exportTimeText(double time, const QLocale& regional);

inline QString exportPathFor(const QString& datPath) { return datPath + QStringLiteral("-Exp.txt"); }

// The gauges of the analysis run in steps of one state record against an
// estimate of one record per 20 bytes of file.
inline qint64 gaugeMaximum(qint64 fileSize) { return fileSize / 20; }

enum class ExportStatus {
    Done,               // every state record up to the end was written
    NoStartRecord,      // the file does not begin with a start record: header lines only
    TooShort,           // not even one record header (9 bytes): header lines only
    CannotOpenInput,
    CannotCreateOutput,
    WriteFailed,        // the output could not be written completely
};

struct ExportResult {
    ExportStatus status = ExportStatus::Done;
    qint64 lines = 0;   // data lines written
    QString error;      // the file system's message where there is one
    bool ok() const { return status == ExportStatus::Done || status == ExportStatus::NoStartRecord; }
};

// Called now and then with the number of state records exported so far.
using AnalysisProgress = std::function<void(qint64 records)>;

ExportResult exportRecording(const QString& datPath, const QString& outPath,
                             const AnalysisProgress& progress = {});

// What the user is told when an export did not succeed (empty when it did).
QString exportMessage(const ExportResult& r, const QString& datPath, const QString& outPath,
                      bool italian);

} // namespace hub
