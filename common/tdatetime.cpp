#include "common/tdatetime.h"

#include <QLocale>
#include <cmath>

namespace hub {

namespace {
const QDate kEpoch(1899, 12, 30);
constexpr double kMsPerDay = 86400000.0;

struct Formats {
    QString shortDate;
    QString longTime;
    bool set = false;
};

Formats& formats() {
    static Formats f;
    return f;
}

// Qt's long time format carries a time-zone name ("t"); the classic long time has none.
QString stripZone(QString fmt) {
    QString out;
    bool quoted = false;
    for (QChar c : fmt) {
        if (c == QLatin1Char('\'')) quoted = !quoted;
        if (!quoted && c == QLatin1Char('t')) continue;
        out += c;
    }
    return out.trimmed();
}

const Formats& current() {
    Formats& f = formats();
    if (!f.set) {
        const QLocale loc = QLocale::system();
        f.shortDate = loc.dateFormat(QLocale::ShortFormat);
        f.longTime = stripZone(loc.timeFormat(QLocale::LongFormat));
        f.set = true;
    }
    return f;
}
} // namespace

double toTDateTime(const QDate& date, const QTime& time) {
    const double days = static_cast<double>(kEpoch.daysTo(date));
    const double frac = time.isValid() ? time.msecsSinceStartOfDay() / kMsPerDay : 0.0;
    return days >= 0 ? days + frac : days - frac;
}

double toTDateTime(const QDateTime& local) {
    const QDateTime l = local.toLocalTime();
    return toTDateTime(l.date(), l.time());
}

QDateTime fromTDateTime(double value) {
    if (!std::isfinite(value) || value < -693593.0 || value > 2958466.0) return {};
    const double whole = std::trunc(value);
    const double frac = std::fabs(value - whole);
    long long ms = std::llround(frac * kMsPerDay);
    if (ms >= 86400000LL) ms = 86399999LL;
    const QDate d = kEpoch.addDays(static_cast<qint64>(whole));
    return QDateTime(d, QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms)));
}

double nowTDateTime() { return toTDateTime(QDateTime::currentDateTime()); }

QDate dateOf(double value) {
    if (!std::isfinite(value) || value < -693593.0 || value > 2958466.0) return {};
    return kEpoch.addDays(static_cast<qint64>(std::trunc(value)));
}

double linearDays(double value) {
    if (!(value < 0)) return value; // also NaN, which compares false either way
    const double whole = std::trunc(value);
    return whole + std::fabs(value - whole);
}

QString shortDateText(const QDate& date) {
    return QLocale::system().toString(date, current().shortDate);
}

QString longTimeText(const QTime& time) {
    return QLocale::system().toString(time, current().longTime);
}

QString longTimeFormat() { return current().longTime; }

QString dateTimeText(double value) {
    const QDateTime dt = fromTDateTime(value);
    if (!dt.isValid()) return QString();
    const QTime t = dt.time();
    if (t.hour() == 0 && t.minute() == 0 && t.second() == 0) return shortDateText(dt.date());
    return shortDateText(dt.date()) + QLatin1Char(' ') + longTimeText(t);
}

void setRegionalFormats(const QString& shortDate, const QString& longTime) {
    Formats& f = formats();
    f.shortDate = shortDate;
    f.longTime = longTime;
    f.set = true;
}

void resetRegionalFormats() { formats().set = false; }

} // namespace hub
