// hubdat info: what a recording holds, and where and why reading it stops.
#include "command.h"

#include "common/tdatetime.h"
#include "monitor/datafile.h"
#include "monitor/display/monitormodel.h"
#include "monitor/hubstate.h"
#include "monitor/settings/settingsdecoders.h"

#include <algorithm>
#include <cstdio>

namespace hubdat {
namespace {

const char kHelp[] =
    "Prints the record counts by type (start/end 100, settings 1, state 2), the\n"
    "      first and last time stamp (ISO 8601, local time), the hub kind and its\n"
    "      identification from the last settings record, whether the end record is\n"
    "      present, and where and why reading stopped if it stopped before the end.";

std::string isoTime(double t) {
    QDate d;
    QTime tm;
    if (!hub::splitTDateTime(t, d, tm)) return "invalid (" + QString::number(t, 'g', 17).toStdString() + ")";
    return (d.toString(Qt::ISODate) + QLatin1Char('T') + tm.toString(Qt::ISODateWithMs)).toStdString();
}

int run(const QStringList& args) {
    QString path;
    for (const QString& a : args) {
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            std::printf("Usage: hubdat info FILE.dat\n\n      %s\n", kHelp);
            return kOk;
        }
        if (a.startsWith(QLatin1Char('-')) || !path.isEmpty()) {
            std::fprintf(stderr, "hubdat info: unexpected argument '%s'\nUsage: hubdat info FILE.dat\n",
                         qPrintable(a));
            return kUsage;
        }
        path = a;
    }
    if (path.isEmpty()) {
        std::fprintf(stderr, "hubdat info: no file given\nUsage: hubdat info FILE.dat\n");
        return kUsage;
    }

    hub::DataFileReader reader;
    QString error;
    if (!reader.open(path, &error)) {
        std::fprintf(stderr, "hubdat info: %s: %s\n", qPrintable(path), qPrintable(error));
        return kFileError;
    }

    long long starts = 0, settings = 0, states = 0;
    double first = 0, last = 0;
    bool haveTime = false;
    bool haveKind = false;
    std::uint8_t kind = 0;
    // The identification exactly as the window would show it: the decoders'
    // own text, on a scratch model.
    hub::MonitorModel scratch;
    hub::HubState hub;

    double t = 0;
    if (reader.readStart(t)) {
        ++starts;
        first = last = t;
        haveTime = true;
        hub::DataRecord r;
        while (reader.next(r)) {
            last = r.time;
            if (r.type == hub::kRecordState) {
                ++states;
                continue;
            }
            ++settings;
            haveKind = true;
            kind = r.hubKind;
            if (hub::isSwHub(kind)) {
                std::array<std::uint8_t, hub::kSwBlockSize> sw{};
                std::copy_n(r.block.begin(), hub::kSwBlockSize, sw.begin());
                hub::RiceviSet_SW(scratch, hub, kind, sw, false);
            } else {
                hub::RiceviSet_TC(scratch, hub, kind, r.block, false, nullptr);
            }
        }
        // The scan stops on the end record with its header read.
        if (reader.stopReason() == hub::StopReason::EndRecord) {
            ++starts;
            last = r.time;
        }
    }
    // Taken after the scan: a recording still being written has grown since it
    // was opened, and what was read lies inside the size now.
    const qint64 size = std::max(reader.file().currentSize(), reader.file().offset());
    const hub::StopReason why = reader.stopReason();
    const bool endRecord = why == hub::StopReason::EndRecord;

    std::printf("file: %s\n", qPrintable(path));
    std::printf("size: %lld bytes\n", static_cast<long long>(size));
    std::printf("records: %lld start/end (type 100), %lld settings (type 1), %lld state (type 2)\n",
                starts, settings, states);
    std::printf("first time: %s\n", haveTime ? isoTime(first).c_str() : "-");
    std::printf("last time: %s\n", haveTime ? isoTime(last).c_str() : "-");
    if (haveKind)
        std::printf("hub: %s (kind 0x%02X) %s\n", hub::isSwHub(kind) ? "SW" : "TC", kind,
                    qPrintable(hub.versHub));
    else
        std::printf("hub: -\n");
    std::printf("end record: %s\n", endRecord ? "present" : "missing");
    const long long at = reader.stopOffset();
    switch (why) {
    case hub::StopReason::EndRecord: {
        const long long after = size - (at + hub::kRecordHeaderSize);
        if (after > 0) std::printf("after the end record: %lld bytes not read\n", after);
        break;
    }
    case hub::StopReason::UnknownType:
        std::printf("stopped: at offset %lld, unknown record type %d\n", at, reader.stopType());
        break;
    case hub::StopReason::NoStartRecord:
        if (size == 0)
            std::printf("stopped: at offset 0, no start record (empty file)\n");
        else if (size < hub::kRecordHeaderSize)
            std::printf("stopped: at offset 0, no start record (only %lld bytes)\n",
                        static_cast<long long>(size));
        else
            std::printf("stopped: at offset 0, no start record (type %d)\n", reader.stopType());
        break;
    case hub::StopReason::CutShort:
        // The bytes the reader found; a writer may have added more since.
        std::printf("stopped: at offset %lld, record cut short (%lld of its bytes present)\n", at,
                    static_cast<long long>(reader.file().offset() - at));
        break;
    default: break; // read to the end of the file on a record boundary
    }
    return kOk;
}

const Register reg({"info", "info FILE.dat", kHelp, run});

} // namespace
} // namespace hubdat
