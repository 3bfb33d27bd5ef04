#pragma once
// The change list: every state record of a recording in which the clicked
// monitor element was active. The element is given by the two click codes of
// the monitor: B (barrier "1".."8", couple "11".."14", beam row "100".."400")
// and L ("0" barrier number or couple letter, "1".."14" LED, "1".."8" beam of
// a beam row).
#include "monitor/datafile.h"
#include "monitor/staterecord.h"

#include <QAbstractTableModel>
#include <QString>
#include <cstdint>
#include <vector>

namespace hub {

// Couple 0..3 (A..D) that the barrier code B belongs to, -1 when B names none.
int coupleOfBarrierCode(int b);

// Zero the nine bytes of the couples other than B's. A code that names no
// couple keeps the whole record.
StateRecord keepCoupleOf(int b, const StateRecord& s);

// Whether the record (already reduced by keepCoupleOf) is listed for the
// element (L, B). Combinations the monitor never produces list every record.
bool selectsRecord(int l, int b, const StateRecord& kept);

// Marks of columns 2..15: bit 0..7 beams 1..8 on any kept barrier, then
// Alarm, Tamper, Failure, Disqualify, Stand-by, Blind of any kept status byte.
std::uint16_t changeMarks(const StateRecord& kept);
constexpr int kMarkColumns = 14;

// Column 1: " 1".." 8" for a barrier, " A".." D" for a couple or a beam row.
QString elementText(int b);

// Why the scan of the recording ended.
enum class ChangeListEnd {
    EndRecord,     // a type-100 record (the end of the acquisition)
    EndOfFile,     // the end of the file, or a record cut short by it
    UnknownType,   // a record of another type
    NoStartRecord, // the file does not begin with a type-100 record
};

// Scans an open recording from where it stands (its start) and calls
// row(time, marks) for every record selected for the element (L, B), in file
// order, keeping nothing: a list of any length is printed in constant memory.
template <class RowFn>
ChangeListEnd forEachChange(RecordFile& f, int b, int l, RowFn&& row) {
    std::uint8_t type = 0;
    double time = 0;
    if (!f.readHeader(type, time) || type != kRecordStartEnd) return ChangeListEnd::NoStartRecord;
    StateRecord s{};
    for (;;) {
        if (!f.readHeader(type, time)) return ChangeListEnd::EndOfFile;
        if (type == kRecordSettings) {
            std::uint8_t kind = 0;
            if (!f.readByte(kind) || !f.skip(settingsBlockSize(kind))) return ChangeListEnd::EndOfFile;
        } else if (type == kRecordState) {
            if (!f.readState(s)) return ChangeListEnd::EndOfFile;
            const StateRecord kept = keepCoupleOf(b, s);
            if (selectsRecord(l, b, kept)) row(time, changeMarks(kept));
        } else {
            return type == kRecordStartEnd ? ChangeListEnd::EndRecord : ChangeListEnd::UnknownType;
        }
    }
}

// The selected records of one recording for one element.
class ChangeList {
public:
    struct Row {
        double time;
        std::uint16_t marks;
    };

    // Scans the file. False only when the file cannot be opened (*error gets
    // "Cannot open file <path>"); a bad or cut file gives the rows found
    // before the fault.
    bool load(const QString& path, int b, int l, QString* error = nullptr);

    int barrierCode() const { return b_; }
    int ledCode() const { return l_; }
    const std::vector<Row>& rows() const { return rows_; }
    ChangeListEnd end() const { return end_; }

    // The text of one cell as the grid shows it (column 0 time, 1 element,
    // 2..15 marks " •" or empty).
    QString cellText(int row, int column) const;

private:
    int b_ = 0;
    int l_ = 0;
    QString element_;
    std::vector<Row> rows_;
    ChangeListEnd end_ = ChangeListEnd::EndOfFile;
};

// The grid's model: one row per selected record plus the trailing empty row,
// so an empty list is a single empty row. Texts are built only for the rows
// on screen, which keeps a million-record list quick to open.
class ChangeListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ChangeListModel(QObject* parent = nullptr);
    void setList(ChangeList list);
    const ChangeList& list() const { return list_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    ChangeList list_;
};

constexpr int kChangeListColumns = 16;
// The mark: a blank and a bullet (U+2022).
inline QString changeMarkText() { return QStringLiteral(" \u2022"); }

} // namespace hub
