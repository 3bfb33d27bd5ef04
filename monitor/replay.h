#pragma once
// ReadFile's loop without the window: a recording replayed record by record
// through the settings decoders and RiceviDati, silently, onto the model.
#include "monitor/datafile.h"
#include "monitor/display/monitormodel.h"
#include "monitor/hubstate.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>

namespace hub {

struct ReplayOutcome {
    bool hasStart = false;      // the file began with a type-100 record
    double start = 0.0;         // its time stamp (LStart)
    std::int64_t counter = 0;   // state records applied (LCounter, the gauge's progress)
    std::int64_t records = 0;   // whole records read, of any type, the one that stopped reading included
    StopReason reason = StopReason::None;
    qint64 stopOffset = 0;      // offset of the record at which reading stopped
    std::uint8_t stopType = 0;  // type byte read there (for an unknown type)
    // No start record, or an unknown type: the display was reset to idle.
    bool idleReset = false;
    // Window caption set by the last TC block, if there was one.
    std::optional<QString> windowCaption;
};

// Sees every record a replay reads, in order; the replay player's index is
// built from it in the same pass that replays the file.
class ReplayTap {
public:
    virtual ~ReplayTap() = default;
    // State records number first .. first + n - 1 (records of any type counted
    // from 1), kStride (16) bytes apart, and their stamps; before they are applied.
    virtual void stateRecords(std::int64_t first, const std::uint8_t* records, const double* times,
                              int n) = 0;
    // Any other record read whole: for a settings record its kind and block,
    // for a type-100 record whether it starts an acquisition. An unknown type
    // comes before the display is reset for it.
    virtual void otherRecord(std::int64_t number, std::uint8_t type, double time,
                             std::uint8_t hubKind, const std::uint8_t* block, bool start) = 0;
    // The model is settled after every progressEvery state records: soFar is
    // the outcome up to here, nextOffset where the next record starts. False
    // stops reading there (reason None).
    virtual bool settled(const ReplayOutcome& soFar, qint64 nextOffset) = 0;
};

class Replayer {
public:
    // hide = true before a replay, false for the idle display after a bad file.
    using ResetFn = std::function<void(bool hide)>;
    // The number of state records applied so far (the gauge's progress).
    using ProgressFn = std::function<void(std::int64_t counter)>;

    Replayer(MonitorModel& m, HubState& hub) : m_(m), hub_(hub) {}

    // Opened read-only and shared. On failure *error gets the file system's message.
    bool open(const QString& path, QString* error = nullptr);
    qint64 fileSize() const { return file_.size(); }
    // ProgRead's maximum: the file size div 20.
    qint64 gaugeMaximum() const { return file_.size() / 20; }

    // Replays the opened file. reset(false) is called for the idle display
    // (no start record, unknown type); progress every progressEvery state
    // records and once at the end. compact: the zoom selector reads "Compact".
    // recordLimit >= 0 reads no more than that many records, as if the file
    // ended after them.
    //
    // An end record followed by a start record does not stop reading: the
    // recording holds another acquisition, and its start resets the display
    // (resetDisplay, not reset: the window keeps its file), the counter and
    // the start time as a new acquisition does.
    ReplayOutcome run(bool compact, const ResetFn& reset, const ProgressFn& progress = {},
                      std::int64_t progressEvery = 65536, std::int64_t recordLimit = -1);

    // Goes on with a replay that was settled at soFar (ReplayTap::settled):
    // the model and hub hold what it had shown there, and reading goes on at
    // offset. recordLimit counts the records read from there.
    ReplayOutcome resume(const ReplayOutcome& soFar, qint64 offset, bool compact,
                         const ResetFn& reset, std::int64_t recordLimit = -1);

    // Shown every record from here on (nullptr: none).
    void setTap(ReplayTap* tap) { tap_ = tap; }
    // Reading stops before the first record stamped later than t, as if the
    // file ended there (file order: a clock that went back reorders nothing).
    void setUntil(double t) { until_ = t; }

private:
    ReplayOutcome readRecords(ReplayOutcome out, bool compact, const ResetFn& reset,
                              const ProgressFn& progress, std::int64_t progressEvery,
                              std::int64_t left);

    MonitorModel& m_;
    HubState& hub_;
    RecordFile file_;
    ReplayTap* tap_ = nullptr;
    double until_ = std::numeric_limits<double>::infinity();
};

// The whole ReadFile in core: reset(true), open, run. Returns nullopt (and
// *error) when the file cannot be opened.
std::optional<ReplayOutcome> replayFile(const QString& path, MonitorModel& m, HubState& hub,
                                        bool compact, const Replayer::ResetFn& reset,
                                        QString* error = nullptr,
                                        const Replayer::ProgressFn& progress = {},
                                        std::int64_t recordLimit = -1);

} // namespace hub
