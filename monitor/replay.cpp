#include "monitor/replay.h"

#include "monitor/recordapply.h"
#include "monitor/settings/settingsdecoders.h"

namespace hub {

bool Replayer::open(const QString& path, QString* error) { return file_.open(path, error); }

ReplayOutcome Replayer::run(bool compact, const ResetFn& reset, const ProgressFn& progress,
                            std::int64_t progressEvery) {
    ReplayOutcome out;
    if (progressEvery < 1) progressEvery = 1;
    std::uint8_t type = 0;
    double time = 0.0;

    // RiceviDati record by record, with the head blink in closed form; the
    // heads are settled whenever anyone may look at the model.
    recordapply::HeadClock heads(m_, hub_, compact);
    const auto onBeams = [&heads](int b, unsigned counted) { heads.beams(b, counted); };

    const auto stopIdle = [&](StopReason r, qint64 at) {
        heads.settle();
        out.reason = r;
        out.stopOffset = at;
        out.idleReset = true;
        if (reset) reset(false);
    };

    if (!file_.readHeader(type, time) || type != kRecordStartEnd) {
        out.stopType = type;
        stopIdle(StopReason::NoStartRecord, 0);
        file_.close();
        return out;
    }
    out.hasStart = true;
    out.start = time;

    std::int64_t nextProgress = progressEvery;
    for (;;) {
        const qint64 at = file_.offset();
        if (!file_.readHeader(type, time)) {
            out.reason = file_.offset() == at ? StopReason::EndOfFile : StopReason::CutShort;
            out.stopOffset = at;
            break;
        }
        if (type == kRecordState) {
            if (!file_.readState(hub_.current)) {
                out.reason = StopReason::CutShort;
                out.stopOffset = at;
                break;
            }
            heads.tick();
            recordapply::applyLeds(m_, hub_, hub_.current, onBeams);
            if (++out.counter == nextProgress) {
                heads.settle();
                if (progress) progress(out.counter);
                nextProgress += progressEvery;
            }
        } else if (type == kRecordSettings) {
            std::uint8_t kind = 0;
            std::array<std::uint8_t, kTcBlockSize> block{};
            int length = 0;
            if (!file_.readSettings(kind, block.data(), length)) {
                out.reason = StopReason::CutShort;
                out.stopOffset = at;
                break;
            }
            heads.settle();
            // The window buffers get the block as read; the decoders see a copy.
            if (isSwHub(kind)) {
                std::array<std::uint8_t, kSwBlockSize> sw{};
                std::copy_n(block.begin(), kSwBlockSize, sw.begin());
                RiceviSet_SW(m_, hub_, kind, sw, compact);
            } else {
                QString caption;
                RiceviSet_TC(m_, hub_, kind, block, compact, &caption);
                out.windowCaption = caption;
            }
        } else if (type == kRecordStartEnd) {
            out.reason = StopReason::EndRecord;
            out.stopOffset = at;
            break;
        } else {
            out.stopType = type;
            stopIdle(StopReason::UnknownType, at);
            break;
        }
    }
    heads.settle();
    if (progress) progress(out.counter);
    file_.close();
    return out;
}

std::optional<ReplayOutcome> replayFile(const QString& path, MonitorModel& m, HubState& hub,
                                        bool compact, const Replayer::ResetFn& reset,
                                        QString* error, const Replayer::ProgressFn& progress) {
    if (reset) reset(true);
    Replayer r(m, hub);
    if (!r.open(path, error)) return std::nullopt;
    return r.run(compact, reset, progress);
}

} // namespace hub
