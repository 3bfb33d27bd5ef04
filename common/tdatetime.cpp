#include "common/tdatetime.h"

#include <QLocale>
#include <cmath>
#include <limits>

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

namespace {
bool inRange(double value) { return std::isfinite(value) && value >= -693593.0 && value <= 2958466.0; }

// Milliseconds into the day, rounded, never past its end.
long long msOfDay(double whole, double value) {
    long long ms = std::llround(std::fabs(value - whole) * kMsPerDay);
    return ms >= 86400000LL ? 86399999LL : ms;
}
} // namespace

bool splitTDateTime(double value, QDate& date, QTime& time) {
    if (!inRange(value)) return false;
    const double whole = std::trunc(value);
    date = kEpoch.addDays(static_cast<qint64>(whole));
    time = QTime::fromMSecsSinceStartOfDay(static_cast<int>(msOfDay(whole, value)));
    return true;
}

QDateTime fromTDateTime(double value) {
    QDate d;
    QTime t;
    if (!splitTDateTime(value, d, t)) return {};
    return QDateTime(d, t);
}

long long floorDiv(long long a, long long b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

double tdateTimeOfLocalMs(long long localMs) {
    constexpr long long kDay = 86400000LL;
    const long long day = floorDiv(localMs, kDay);
    const long long ms = localMs - day * kDay;
    // As toTDateTime(date, time) computes it, so the same moment gives the same bits.
    const double days = static_cast<double>(day + 25569); // 1 January 1970
    const double frac = static_cast<double>(ms) / kMsPerDay;
    return days >= 0 ? days + frac : days - frac;
}

double nowTDateTime() {
    // Stamped on every record of a live link: the zone's offset is looked up
    // once a minute (clock changes fall on whole minutes), as the lookup
    // costs more than the record itself.
    thread_local long long minute = std::numeric_limits<long long>::min();
    thread_local long long offsetMs = 0;
    const long long now = QDateTime::currentMSecsSinceEpoch();
    const long long thisMinute = floorDiv(now, 60000);
    if (thisMinute != minute) {
        minute = thisMinute;
        offsetMs = QDateTime::fromMSecsSinceEpoch(now).offsetFromUtc() * 1000LL;
    }
    return tdateTimeOfLocalMs(now + offsetMs);
}

QDate dateOf(double value) {
    if (!inRange(value)) return {};
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

QString shortDateFormat() { return current().shortDate; }
QString longTimeFormat() { return current().longTime; }

// No QDateTime here: making one in local time looks the time zone up (a
// stat of /etc/localtime a row, a third of a long list's time) and turns the
// times a clock change skips into invalid ones; the stamps are wall-clock
// texts already.
QString dateTimeText(double value) {
    QDate d;
    QTime t;
    if (!splitTDateTime(value, d, t)) return QString();
    if (t.hour() == 0 && t.minute() == 0 && t.second() == 0) return shortDateText(d);
    return shortDateText(d) + QLatin1Char(' ') + longTimeText(t);
}

DateTimeTexts::DateTimeTexts()
    : perMillisecond_(longTimeText(QTime(0, 0, 0, 0)) != longTimeText(QTime(0, 0, 0, 123))) {}

const QString& DateTimeTexts::text(double value) {
    if (!inRange(value)) {
        if (!have_ || valid_) {
            text_.clear();
            utf8_.clear();
        }
        have_ = true;
        valid_ = false;
        return text_;
    }
    const double whole = std::trunc(value);
    const long long ms = msOfDay(whole, value);
    const qint64 day = static_cast<qint64>(whole);
    const long long key = perMillisecond_ ? ms : ms / 1000;
    if (have_ && valid_ && day == day_ && key == key_) return text_;
    const QDate d = kEpoch.addDays(day);
    if (!have_ || !valid_ || day != day_) date_ = shortDateText(d);
    have_ = valid_ = true;
    day_ = day;
    key_ = key;
    const QTime t = QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms));
    text_ = date_;
    if (t.hour() != 0 || t.minute() != 0 || t.second() != 0) {
        text_ += QLatin1Char(' ');
        text_ += longTimeText(t);
    }
    utf8_ = text_.toUtf8();
    return text_;
}

const QByteArray& DateTimeTexts::utf8(double value) {
    text(value);
    return utf8_;
}

void setRegionalFormats(const QString& shortDate, const QString& longTime) {
    Formats& f = formats();
    f.shortDate = shortDate;
    f.longTime = longTime;
    f.set = true;
}

void resetRegionalFormats() { formats().set = false; }

} // namespace hub
