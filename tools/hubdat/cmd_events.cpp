// hubdat events: the element events of a recording, what the replay player's
// lanes show, one JSON object a line in file order.
#include "command.h"

#include "common/tdatetime.h"
#include "monitor/player/replayindex.h"

#include <array>
#include <cstdio>
#include <optional>
#include <vector>

namespace hubdat {
namespace {

constexpr char kSynopsis[] =
    "events FILE.dat [--barrier N] [--kind beam|alarm|tamper|fault|disq|stb|blind|power]";
const char kHelp[] =
    "Prints the element events of the recording, what the replay player's lanes\n"
    "      show, one JSON object a line in file order: \"record\" (its number, records\n"
    "      of any type counted from 1), \"time\" (ISO 8601 local time with\n"
    "      milliseconds), \"barrier\" 1..8, \"element\" (beam1..beam8, alarm, tamper,\n"
    "      fault, disq, stb, blind, power) and \"on\" (became active, or stopped);\n"
    "      power events (a settings block changed a couple's level, on both its\n"
    "      barriers) also \"level\" 0..3. --barrier and --kind keep only those.";

int usageError(const QString& why) {
    std::fprintf(stderr, "hubdat events: %s\nUsage: hubdat %s\n", qPrintable(why), kSynopsis);
    return kUsage;
}

// The time text of one stamp ("2026-12-08T03:12:45.120", as stampIsoText),
// made once for the many events of a record and the date once a day.
class TimeText {
public:
    const char* of(double t) {
        if (have_ && t == last_) return text_;
        have_ = true;
        last_ = t;
        QDate date;
        QTime time;
        if (!hub::splitTDateTime(t, date, time)) {
            std::snprintf(text_, sizeof text_, "invalid");
            return text_;
        }
        if (date != day_) {
            day_ = date;
            dayText_ = date.toString(QStringLiteral("yyyy-MM-dd")).toLatin1();
        }
        std::snprintf(text_, sizeof text_, "%sT%02d:%02d:%02d.%03d", dayText_.constData(), time.hour(),
                      time.minute(), time.second(), time.msec());
        return text_;
    }

private:
    bool have_ = false;
    double last_ = 0.0;
    QDate day_;
    QByteArray dayText_;
    char text_[64] = {};
};

int run(const QStringList& args) {
    QString path;
    int barrier = 0;
    std::optional<hub::EventKind> kind;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            std::printf("Usage: hubdat %s\n\n      %s\n", kSynopsis, kHelp);
            return kOk;
        }
        QString v;
        if (const int b = optionValue(args, i, "--barrier", v); b != 0) {
            bool ok = false;
            barrier = b > 0 ? v.toInt(&ok) : 0;
            if (!ok || barrier < 1 || barrier > 8)
                return usageError(QStringLiteral("--barrier takes a barrier number, 1 to 8: '%1'").arg(v));
        } else if (const int k = optionValue(args, i, "--kind", v); k != 0) {
            kind = k > 0 ? hub::kindFromName(v) : std::nullopt;
            if (!kind)
                return usageError(QStringLiteral(
                    "--kind takes beam, alarm, tamper, fault, disq, stb, blind or power: '%1'").arg(v));
        } else if (a.startsWith(QLatin1Char('-')) || !path.isEmpty()) {
            return usageError(QStringLiteral("unexpected argument '%1'").arg(a));
        } else {
            path = a;
        }
    }
    if (path.isEmpty()) return usageError(QStringLiteral("no file given"));

    hub::ReplayIndex index;
    QString error;
    if (!index.build(path, &error)) {
        std::fprintf(stderr, "hubdat events: %s: %s\n", qPrintable(path), qPrintable(error));
        return kFileError;
    }
    // A stretch of records at a time: the events of a large recording are
    // never all in memory.
    constexpr std::int64_t kStretch = 1 << 16;
    std::vector<hub::PlayerEvent> events;
    TimeText times;
    std::array<QByteArray, 16> names;
    for (int e = 1; e <= hub::Element::Power; ++e) names[static_cast<size_t>(e)] = hub::elementName(e).toLatin1();
    const std::int64_t n = index.recordCount();
    for (std::int64_t first = 1; first <= n; first += kStretch) {
        index.eventsBetween(first, std::min(n, first + kStretch - 1), events);
        for (const hub::PlayerEvent& e : events) {
            if ((barrier && e.barrier != barrier) || (kind && e.kind() != *kind)) continue;
            char line[192];
            int len = std::snprintf(line, sizeof line,
                                    "{\"record\":%lld,\"time\":\"%s\",\"barrier\":%d,\"element\":\"%s\",\"on\":%s",
                                    static_cast<long long>(e.record), times.of(e.time), e.barrier,
                                    names[static_cast<size_t>(e.element)].constData(), e.on ? "true" : "false");
            if (e.element == hub::Element::Power)
                len += std::snprintf(line + len, sizeof line - static_cast<size_t>(len), ",\"level\":%d", e.level);
            len += std::snprintf(line + len, sizeof line - static_cast<size_t>(len), "}\n");
            std::fwrite(line, 1, static_cast<size_t>(len), stdout);
        }
        // Output that cannot be written is not worth making: finishStdout says why.
        if (std::ferror(stdout)) break;
    }
    return kOk;
}

const Register reg({"events", kSynopsis, kHelp, run});

} // namespace
} // namespace hubdat
