// hubdat export: the "-Exp.txt" text export, the same bytes as the window's.
#include "command.h"
#include "monitor/analysis/textexport.h"

#include <cstdio>

namespace hubdat {
namespace {

int runExport(const QStringList& args) {
    if (args.size() != 1 || args.front().startsWith(QLatin1String("--"))) {
        std::fprintf(stderr, "Usage: hubdat export FILE.dat\n");
        return kUsage;
    }
    const QString in = args.front();
    const QString out = hub::exportPathFor(in);
    const hub::ExportResult r = hub::exportRecording(in, out);
    // A file too short for a start record is exported as one without a start
    // record (the header lines) and, like it, is no error; the note says why.
    const bool headerOnly = r.status == hub::ExportStatus::TooShort;
    if (!r.ok() && !headerOnly) {
        std::fprintf(stderr, "hubdat export: %s\n", hub::exportMessage(r, in, out, false).toLocal8Bit().constData());
        return kFileError;
    }
    if (headerOnly)
        std::fprintf(stderr, "hubdat export: %s\n", hub::exportMessage(r, in, out, false).toLocal8Bit().constData());
    else if (r.status == hub::ExportStatus::NoStartRecord)
        std::fprintf(stderr, "hubdat export: %s does not begin with a start record: only the header lines were exported.\n",
                     in.toLocal8Bit().constData());
    std::printf("%s: %lld lines\n", out.toLocal8Bit().constData(), static_cast<long long>(r.lines));
    return kOk;
}

const Register reg{{
    "export",
    "export FILE.dat",
    "Writes FILE.dat-Exp.txt: two header lines and one 227-byte line a state\n"
    "      record, the same bytes as the window's \"Export DATA to TXT\".",
    runExport,
}};

} // namespace
} // namespace hubdat
