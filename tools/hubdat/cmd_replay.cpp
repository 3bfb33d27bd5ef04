// hubdat replay: the recording replayed as ReadFile does it in a freshly
// started program, and the final monitor printed.
#include "command.h"

#include "monitor/display/zoom.h"
#include "monitor/player/replayindex.h"
#include "monitor/replay.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

namespace hubdat {
namespace {

const char kHelp[] =
    "Replays the recording onto the monitor exactly as the program's \"OPEN FILE\"\n"
    "      does in a freshly started program (zoom \"Zoom 5\", blink countdowns at 0,\n"
    "      no sound) and prints the final state. With --json: one JSON document with\n"
    "      the start time, the record counter, the hub text, the stream parameters,\n"
    "      every barrier (visibility, version, blink countdown, head colour, 14 LEDs\n"
    "      with lens, ring and ON count) and every couple (letter, power, 8 beams).\n"
    "      --records N: the state after the file's first N records (records of any\n"
    "      type, counted from 1), as the file cut after its N-th record shows it.\n"
    "      --until YYYY-MM-DDTHH:MM:SS[.mmm] (local time): the state after every\n"
    "      record up to, not including, the first one stamped later (file order).\n"
    "      A recording of several acquisitions plays through them: each start\n"
    "      record after an end record starts the display afresh.";

QString rgb(hub::Rgb c) {
    return QStringLiteral("#%1").arg(c & 0xFFFFFF, 6, 16, QLatin1Char('0')).toUpper();
}

QJsonObject toJson(const hub::MonitorModel& m, const hub::HubState& hub,
                   const hub::ReplayOutcome& out) {
    QJsonObject doc;
    doc.insert(QStringLiteral("start"), out.hasStart ? QJsonValue(out.start) : QJsonValue());
    doc.insert(QStringLiteral("counter"), static_cast<qint64>(out.counter));
    doc.insert(QStringLiteral("hub"), hub.versHub);
    doc.insert(QStringLiteral("stream"),
               QJsonObject{{QStringLiteral("record_length"), hub.stream.recordLength},
                           {QStringLiteral("records_per_tick"), hub.stream.recordsPerTick},
                           {QStringLiteral("blink_count"), hub.stream.blinkCount}});
    QJsonArray barriers;
    for (int b = 1; b <= 8; ++b) {
        QJsonArray leds;
        for (int n = 1; n <= 14; ++n) {
            const hub::LedModel& l = m.led(b, n);
            leds.append(QJsonObject{{QStringLiteral("led"), n},
                                    {QStringLiteral("lens"), rgb(l.lens)},
                                    {QStringLiteral("ring"), rgb(l.ring)},
                                    {QStringLiteral("count"), static_cast<qint64>(l.count)}});
        }
        barriers.append(QJsonObject{{QStringLiteral("number"), b},
                                    {QStringLiteral("visible"), m.barrier(b).visible},
                                    {QStringLiteral("version"), m.labVers[b - 1].caption},
                                    {QStringLiteral("blink"), hub.blink[b - 1]},
                                    {QStringLiteral("head"), rgb(m.caps[b - 1].brush)},
                                    {QStringLiteral("leds"), leds}});
    }
    doc.insert(QStringLiteral("barriers"), barriers);
    QJsonArray couples;
    for (int c = 1; c <= 4; ++c) {
        QJsonArray beams;
        for (int k = 1; k <= 8; ++k) {
            const hub::BeamIndicatorModel& r = m.raggio(c, k);
            beams.append(QJsonObject{{QStringLiteral("beam"), k},
                                     {QStringLiteral("visible"), r.visible},
                                     {QStringLiteral("colour"), rgb(r.colour)}});
        }
        couples.append(QJsonObject{{QStringLiteral("couple"), QString(QChar('A' + c - 1))},
                                   {QStringLiteral("visible"), m.labGruppi[c - 1].visible},
                                   {QStringLiteral("power"), m.bars[c - 1].progress},
                                   {QStringLiteral("beams"), beams}});
    }
    doc.insert(QStringLiteral("couples"), couples);
    return doc;
}

constexpr char kSynopsis[] =
    "replay FILE.dat [--json] [--records N | --until YYYY-MM-DDTHH:MM:SS[.mmm]]";

int usageError(const QString& why) {
    std::fprintf(stderr, "hubdat replay: %s\nUsage: hubdat %s\n", qPrintable(why), kSynopsis);
    return kUsage;
}

int run(const QStringList& args) {
    QString path;
    bool json = false;
    std::int64_t records = -1;
    std::optional<double> until;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            std::printf("Usage: hubdat %s\n\n      %s\n", kSynopsis, kHelp);
            return kOk;
        }
        QString v;
        if (a == QLatin1String("--json")) {
            json = true;
        } else if (const int r = optionValue(args, i, "--records", v); r != 0) {
            if (r < 0) return usageError(QStringLiteral("--records needs a number"));
            bool ok = false;
            records = v.toLongLong(&ok);
            if (!ok || records < 0)
                return usageError(QStringLiteral("--records takes a whole number, 0 or more: '%1'").arg(v));
        } else if (const int u = optionValue(args, i, "--until", v); u != 0) {
            if (u < 0) return usageError(QStringLiteral("--until needs a date and time"));
            until = hub::parseLocalStamp(v);
            if (!until)
                return usageError(
                    QStringLiteral("--until takes a local date and time, YYYY-MM-DDTHH:MM:SS[.mmm]: '%1'").arg(v));
        } else if (a.startsWith(QLatin1Char('-')) || !path.isEmpty()) {
            return usageError(QStringLiteral("unexpected argument '%1'").arg(a));
        } else {
            path = a;
        }
    }
    if (path.isEmpty()) return usageError(QStringLiteral("no file given"));
    if (records >= 0 && until) return usageError(QStringLiteral("--records and --until do not go together"));

    // A freshly started program: blink countdowns 0, the full view ("Zoom 5").
    hub::MonitorModel m;
    hub::HubState hub;
    const bool compact = false;
    QString error;
    // The state after the first N records, or up to the first stamped later
    // than the time: the file read as if it ended there.
    const auto reset = [&](bool hide) { hub::resetDisplay(m, hub, hide, compact); };
    reset(true);
    hub::Replayer replayer(m, hub);
    std::optional<hub::ReplayOutcome> out;
    if (replayer.open(path, &error)) {
        if (until) replayer.setUntil(*until);
        out = replayer.run(compact, reset, {}, 65536, records);
    }
    if (!out) {
        std::fprintf(stderr, "hubdat replay: %s: %s\n", qPrintable(path), qPrintable(error));
        return kFileError;
    }
    if (json) {
        const QByteArray text = QJsonDocument(toJson(m, hub, *out)).toJson(QJsonDocument::Compact);
        std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
        std::fputc('\n', stdout);
    } else {
        std::printf("counter: %lld\nhub: %s\nstopped: %s at offset %lld\n",
                    static_cast<long long>(out->counter), qPrintable(hub.versHub),
                    hub::stopReasonText(out->reason), static_cast<long long>(out->stopOffset));
    }
    return kOk;
}

const Register reg({"replay", kSynopsis, kHelp, run});

} // namespace
} // namespace hubdat
