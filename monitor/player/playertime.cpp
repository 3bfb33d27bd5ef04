#include "monitor/player/playertime.h"

#include "common/tdatetime.h"

#include <QLocale>

namespace hub {

namespace {
bool formatShowsMilliseconds() { return longTimeFormat().contains(QLatin1Char('z')); }
} // namespace

QString positionTimeText(double stamp) {
    QDate d;
    QTime t;
    if (!splitTDateTime(stamp, d, t)) return QString();
    QString text = shortDateText(d) + QLatin1Char(' ') + longTimeText(t);
    if (!formatShowsMilliseconds())
        text += QStringLiteral(".%1").arg(t.msec(), 3, 10, QLatin1Char('0'));
    return text;
}

std::optional<double> parsePositionTime(const QString& typed) {
    const QString text = typed.simplified();
    if (text.isEmpty()) return std::nullopt;
    const QLocale c = QLocale::system();
    const QString dateFormat = shortDateFormat();
    const int blank = text.indexOf(QLatin1Char(' '));
    const QDate date = c.toDate(blank < 0 ? text : text.left(blank), dateFormat);
    // A two-digit year reads as 1900-1999; the recordings are of this century.
    QDate day = date;
    if (day.isValid() && !dateFormat.contains(QLatin1String("yyyy")) && day.year() < 1950)
        day = day.addYears(100);
    if (!day.isValid()) return std::nullopt;
    if (blank < 0) return toTDateTime(day);
    const QString timeText = text.mid(blank + 1);
    QString longTime = longTimeFormat();
    QStringList formats{longTime, QStringLiteral("HH:mm:ss.zzz"), QStringLiteral("H:mm:ss.zzz"),
                        QStringLiteral("HH:mm:ss"), QStringLiteral("H:mm:ss"),
                        QStringLiteral("HH:mm"), QStringLiteral("H:mm")};
    if (!formatShowsMilliseconds()) formats.insert(1, longTime + QStringLiteral(".zzz"));
    for (const QString& f : formats) {
        const QTime t = c.toTime(timeText, f);
        if (t.isValid()) return toTDateTime(day, t);
    }
    return std::nullopt;
}

} // namespace hub
