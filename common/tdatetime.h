#pragma once
// Time stamps as the recordings store them: days since 30 December 1899 00:00
// local time, the fraction being the time of day (the classic TDateTime).
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

namespace hub {

double toTDateTime(const QDateTime& local);
double toTDateTime(const QDate& date, const QTime& time = QTime(0, 0));
// Invalid QDateTime for values that are not finite or outside years 1..9999.
QDateTime fromTDateTime(double value);
// The date and time of day a stamp holds, to the millisecond, as stored: local
// wall-clock time, with no time-zone rule applied (a time that a clock change
// skips is still the time written). False where fromTDateTime is invalid.
bool splitTDateTime(double value, QDate& date, QTime& time);
double nowTDateTime();
// The stamp of a local wall-clock time given in milliseconds since 1 January
// 1970 00:00 of that clock.
double tdateTimeOfLocalMs(long long localMs);
// a / b rounded down (b > 0), before 1970 too: the day of a time in milliseconds.
long long floorDiv(long long a, long long b);

// The day of a time stamp (its whole part, as the classic type reads it).
QDate dateOf(double value);

// A time stamp on a continuous axis of days since the epoch. Below zero the
// classic type counts the time of day away from zero (-1.25 is 29 December 1899
// 06:00, -0.25 is 30 December 06:00), so its values are not in time order
// there; this gives -0.75 and 0.25 for those moments. Zero and above (and NaN)
// come back bit for bit.
double linearDays(double value);

// The user's regional formats. The long time is hours, minutes and seconds
// without any time-zone name.
QString shortDateText(const QDate& date);
QString longTimeText(const QTime& time);
// The formats behind shortDateText and longTimeText (no time-zone part).
QString shortDateFormat();
QString longTimeFormat();
// Short date, a blank and the long time; the date alone when the time of day is
// exactly midnight (milliseconds are not looked at).
QString dateTimeText(double value);

// dateTimeText for many stamps in a row, as the change list prints them: the
// text is made once per distinct second (per millisecond when the long time
// shows them) and the date once per day.
class DateTimeTexts {
public:
    DateTimeTexts();
    const QString& text(double value);
    // The same text in UTF-8.
    const QByteArray& utf8(double value);

private:
    bool perMillisecond_ = false;
    bool valid_ = false;
    bool have_ = false; // a text for (day_, key_) or for an invalid stamp is cached
    qint64 day_ = 0;
    long long key_ = 0;
    QString date_;
    QString text_;
    QByteArray utf8_;
};

// The formats above, set explicitly (tests pin them; default is QLocale::system()).
void setRegionalFormats(const QString& shortDate, const QString& longTime);
void resetRegionalFormats();

} // namespace hub
