#include "monitor/display/changefilter.h"

#include "common/tdatetime.h"
#include "monitor/datafile.h"

namespace hub {

namespace {
bool isBarrier(int b) { return b >= 1 && b <= 8; }
bool isCoupleLetter(int b) { return b >= 11 && b <= 14; }
bool isBeamRow(int b) { return b == 100 || b == 200 || b == 300 || b == 400; }
} // namespace

int coupleOfBarrierCode(int b) {
    if (isBarrier(b)) return (b - 1) / 2;
    if (isCoupleLetter(b)) return b - 11;
    if (isBeamRow(b)) return b / 100 - 1;
    return -1;
}

StateRecord keepCoupleOf(int b, const StateRecord& s) {
    const int c = coupleOfBarrierCode(b);
    if (c < 0) return s;
    StateRecord kept{};
    for (int i = 0; i < 3; ++i) kept[3 * c + i] = s[3 * c + i];
    return kept;
}

bool selectsRecord(int l, int b, const StateRecord& kept) {
    using namespace CoupleStatus;
    const int c = coupleOfBarrierCode(b);
    if (c < 0) return true;
    const std::uint8_t f = kept[3 * c];
    const std::uint8_t e = kept[3 * c + 1];
    const std::uint8_t s = kept[3 * c + 2];
    const bool barrier = isBarrier(b);
    const bool first = barrier && (b % 2) == 1;

    if (l == 0) {
        if (barrier && first)
            return f != 0 || (s & (Alarm | Failure | Standby | TamperFirst | DisqFirst)) != 0;
        if (barrier)
            return e != 0 || (s & (Alarm | Failure | Standby | TamperSecond | DisqSecond)) != 0 ||
                   ((s & Blind) != 0 && (s & Standby) == 0);
        if (isCoupleLetter(b)) return (f != 0 && e != 0) || s != 0;
        return true;
    }
    if (l >= 1 && l <= 8) {
        const std::uint8_t bit = static_cast<std::uint8_t>(1u << (l - 1));
        if (barrier) return ((first ? f : e) & bit) != 0;
        if (isBeamRow(b)) return (f & bit) != 0 && (e & bit) != 0;
        return true;
    }
    switch (l) {
    case 9: return (s & Alarm) != 0;
    case 11: return (s & Failure) != 0;
    case 13: return (s & Standby) != 0;
    default: break;
    }
    // These three tell the barriers of a couple apart, so only a barrier code narrows them.
    if (!barrier) return true;
    switch (l) {
    case 10: return (s & (first ? TamperFirst : TamperSecond)) != 0;
    case 12: return (s & (first ? DisqFirst : DisqSecond)) != 0;
    case 14:
        return (s & Blind) != 0 && (first ? (s & Standby) != 0 : (s & Standby) == 0);
    default: return true;
    }
}

std::uint16_t changeMarks(const StateRecord& kept) {
    using namespace CoupleStatus;
    std::uint8_t beams = 0;
    std::uint8_t status = 0;
    for (int c = 0; c < 4; ++c) {
        beams |= kept[3 * c] | kept[3 * c + 1];
        status |= kept[3 * c + 2];
    }
    std::uint16_t m = beams;
    if (status & Alarm) m |= 1u << 8;
    if (status & (TamperFirst | TamperSecond)) m |= 1u << 9;
    if (status & Failure) m |= 1u << 10;
    if (status & (DisqFirst | DisqSecond)) m |= 1u << 11;
    if (status & Standby) m |= 1u << 12;
    if (status & Blind) m |= 1u << 13;
    return m;
}

QString elementText(int b) {
    const int c = coupleOfBarrierCode(b);
    if (c >= 0 && !isBarrier(b)) return QStringLiteral(" ") + QChar(u'A' + c);
    return QStringLiteral(" ") + QString::number(b);
}

bool ChangeList::load(const QString& path, int b, int l, QString* error) {
    b_ = b;
    l_ = l;
    element_ = elementText(b);
    rows_.clear();
    RecordFile f;
    if (!f.open(path)) {
        if (error) *error = QStringLiteral("Cannot open file %1").arg(path);
        return false;
    }
    rows_.reserve(static_cast<size_t>(f.size() / 21));
    end_ = forEachChange(f, b, l, [this](double time, std::uint16_t marks) { rows_.push_back({time, marks}); });
    rows_.shrink_to_fit();
    return true;
}

QString ChangeList::cellText(int row, int column) const {
    if (row < 0 || static_cast<size_t>(row) >= rows_.size()) return QString();
    const Row& r = rows_[static_cast<size_t>(row)];
    if (column == 0) return dateTimeText(r.time);
    if (column == 1) return element_;
    if (column >= 2 && column < kChangeListColumns)
        return (r.marks & (1u << (column - 2))) ? changeMarkText() : QString();
    return QString();
}

ChangeListModel::ChangeListModel(QObject* parent) : QAbstractTableModel(parent) {}

void ChangeListModel::setList(ChangeList list) {
    beginResetModel();
    list_ = std::move(list);
    endResetModel();
}

int ChangeListModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return static_cast<int>(list_.rows().size()) + 1;
}

int ChangeListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kChangeListColumns;
}

QVariant ChangeListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || role != Qt::DisplayRole) return QVariant();
    return list_.cellText(index.row(), index.column());
}

} // namespace hub
