#pragma once
// ReadFile's loop without the window: a recording replayed record by record
// through the settings decoders and RiceviDati, silently, onto the model.
#include "monitor/datafile.h"
#include "monitor/display/monitormodel.h"
#include "monitor/hubstate.h"

#include <QString>
#include <cstdint>
#include <functional>
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

private:
    MonitorModel& m_;
    HubState& hub_;
    RecordFile file_;
};

// The whole ReadFile in core: reset(true), open, run. Returns nullopt (and
// *error) when the file cannot be opened.
std::optional<ReplayOutcome> replayFile(const QString& path, MonitorModel& m, HubState& hub,
                                        bool compact, const Replayer::ResetFn& reset,
                                        QString* error = nullptr,
                                        const Replayer::ProgressFn& progress = {},
                                        std::int64_t recordLimit = -1);

} // namespace hub
