#include "monitor/replay.h"

#include "monitor/batchapply.h"
#include "monitor/display/zoom.h"
#include "monitor/settings/settingsdecoders.h"

#include <climits>

namespace hub {

bool Replayer::open(const QString& path, QString* error) { return file_.open(path, error); }

ReplayOutcome Replayer::run(bool compact, const ResetFn& reset, const ProgressFn& progress,
                            std::int64_t progressEvery, std::int64_t recordLimit) {
    ReplayOutcome out;
    std::uint8_t type = 0;
    double time = 0.0;
    // Records that may still be read: a limited run reads the file as if it
    // ended there.
    std::int64_t left = recordLimit < 0 ? INT64_MAX : recordLimit;
    const bool read = left > 0 && file_.readHeader(type, time) && !(time > until_);
    if (!read || type != kRecordStartEnd) {
        out.stopType = read ? type : 0;
        out.reason = StopReason::NoStartRecord;
        out.idleReset = true;
        if (reset) reset(false);
        file_.close();
        return out;
    }
    --left;
    out.records = 1;
    out.hasStart = true;
    out.start = time;
    if (tap_) tap_->otherRecord(1, type, time, 0, nullptr, true);
    return readRecords(out, compact, reset, progress, progressEvery, left);
}

ReplayOutcome Replayer::resume(const ReplayOutcome& soFar, qint64 offset, bool compact,
                               const ResetFn& reset, std::int64_t recordLimit) {
    ReplayOutcome out = soFar;
    if (!file_.seek(offset)) {
        out.reason = StopReason::EndOfFile;
        out.stopOffset = offset;
        file_.close();
        return out;
    }
    return readRecords(out, compact, reset, {}, INT64_MAX,
                       recordLimit < 0 ? INT64_MAX : recordLimit);
}

ReplayOutcome Replayer::readRecords(ReplayOutcome out, bool compact, const ResetFn& reset,
                                    const ProgressFn& progress, std::int64_t progressEvery,
                                    std::int64_t left) {
    if (progressEvery < 1) progressEvery = 1;
    std::uint8_t type = 0;
    double time = 0.0;
    // State records of every acquisition: the gauge follows the file, not the counter.
    std::int64_t applied = 0;

    // RiceviDati over batches of state records; the model is settled whenever
    // anyone may look at it.
    recordapply::BatchApplier apply(m_, hub_, compact);
    alignas(16) std::uint8_t batch[recordapply::BatchApplier::kMaxBatch *
                                   recordapply::BatchApplier::kStride] = {};
    double times[recordapply::BatchApplier::kMaxBatch];
    int pending = 0;
    const auto applyPending = [&] {
        if (tap_) tap_->stateRecords(out.records - pending + 1, batch, times, pending);
        apply.apply(batch, pending);
        out.counter += pending;
        applied += pending;
        pending = 0;
    };

    std::int64_t nextProgress = progressEvery;
    // A batch never runs past a progress call, nor past the record limit.
    const auto batchLimit = [&] {
        return static_cast<int>(std::min<std::int64_t>(
            std::min<std::int64_t>(recordapply::BatchApplier::kMaxBatch, nextProgress - applied),
            left));
    };
    int limit = batchLimit();
    for (;;) {
        const qint64 at = file_.offset();
        if (left == 0) {
            out.reason = StopReason::EndOfFile;
            out.stopOffset = at;
            break;
        }
        if (!file_.readHeader(type, time)) {
            out.reason = file_.offset() == at ? StopReason::EndOfFile : StopReason::CutShort;
            out.stopOffset = at;
            break;
        }
        if (time > until_) {
            out.reason = StopReason::EndOfFile;
            out.stopOffset = at;
            break;
        }
        if (type == kRecordState) {
            std::uint8_t* slot = batch + pending * recordapply::BatchApplier::kStride;
            if (!file_.readBytes(slot, static_cast<int>(sizeof(StateRecord)))) {
                out.reason = StopReason::CutShort;
                out.stopOffset = at;
                break;
            }
            times[pending] = time;
            --left;
            ++out.records;
            if (++pending < limit) continue;
            applyPending();
            if (applied == nextProgress) {
                apply.settle();
                if (progress) progress(applied);
                nextProgress += progressEvery;
                if (tap_ && !tap_->settled(out, file_.offset())) {
                    out.reason = StopReason::None;
                    out.stopOffset = file_.offset();
                    break;
                }
            }
            limit = batchLimit();
            continue;
        }
        // Whatever else comes, the state records before it first.
        if (pending) {
            applyPending();
            limit = batchLimit();
        }
        if (type == kRecordSettings) {
            std::uint8_t kind = 0;
            std::array<std::uint8_t, kTcBlockSize> block{};
            int length = 0;
            if (!file_.readSettings(kind, block.data(), length)) {
                out.reason = StopReason::CutShort;
                out.stopOffset = at;
                break;
            }
            --left;
            ++out.records;
            if (tap_) tap_->otherRecord(out.records, type, time, kind, block.data(), false);
            apply.settle();
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
            --left;
            ++out.records;
            if (tap_) tap_->otherRecord(out.records, type, time, 0, nullptr, false);
            out.reason = StopReason::EndRecord;
            out.stopOffset = at;
            // Another acquisition follows only when a start record comes next.
            std::uint8_t nextType = 0;
            double nextTime = 0.0;
            if (left == 0 || !file_.readHeader(nextType, nextTime) || nextType != kRecordStartEnd ||
                nextTime > until_)
                break;
            --left;
            ++out.records;
            if (tap_) tap_->otherRecord(out.records, nextType, nextTime, 0, nullptr, true);
            apply.settle();
            resetDisplay(m_, hub_, true, compact);
            out.reason = StopReason::None;
            out.stopOffset = 0;
            out.start = nextTime;
            out.counter = 0;
            out.windowCaption.reset();
            limit = batchLimit();
        } else {
            ++out.records;
            if (tap_) tap_->otherRecord(out.records, type, time, 0, nullptr, false);
            apply.settle();
            out.reason = StopReason::UnknownType;
            out.stopOffset = at;
            out.stopType = type;
            out.idleReset = true;
            if (reset) reset(false);
            break;
        }
    }
    if (pending) applyPending();
    apply.settle();
    if (progress) progress(applied);
    file_.close();
    return out;
}

std::optional<ReplayOutcome> replayFile(const QString& path, MonitorModel& m, HubState& hub,
                                        bool compact, const Replayer::ResetFn& reset,
                                        QString* error, const Replayer::ProgressFn& progress,
                                        std::int64_t recordLimit) {
    if (reset) reset(true);
    Replayer r(m, hub);
    if (!r.open(path, error)) return std::nullopt;
    return r.run(compact, reset, progress, 65536, recordLimit);
}

} // namespace hub
