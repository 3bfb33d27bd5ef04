// hubdat days: the days the time line offers for a recording.
#include "command.h"
#include "monitor/analysis/dayscan.h"
#include "monitor/datafile.h"

#include <cstdio>

namespace hubdat {
namespace {

int runDays(const QStringList& args) {
    if (args.size() != 1 || args.front().startsWith(QLatin1String("--"))) {
        std::fprintf(stderr, "Usage: hubdat days FILE.dat\n");
        return kUsage;
    }
    hub::RecordFile f;
    QString error;
    if (!f.open(args.front(), &error)) {
        std::fprintf(stderr, "hubdat days: %s: %s\n", args.front().toLocal8Bit().constData(),
                     error.toLocal8Bit().constData());
        return kFileError;
    }
    const hub::DayScan scan = hub::scanDays(f);
    for (const QDate& d : scan.days) std::printf("%s\n", d.toString(Qt::ISODate).toLatin1().constData());
    return kOk;
}

const Register reg{{
    "days",
    "days FILE.dat",
    "The days of the time line, one YYYY-MM-DD a line in the order the day list\n"
    "      shows them (a day comes again when the recording's clock went back).",
    runDays,
}};

} // namespace
} // namespace hubdat
