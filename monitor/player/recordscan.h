#pragma once
// The records a replay reads, in order, without applying them: the same stop
// rules as Replayer::run (replay.h), so that record numbers here and there agree.
#include "monitor/datafile.h"

#include <cstdint>

namespace hub::player {

struct ScannedRecord {
    std::int64_t number = 0; // 1-based
    qint64 offset = 0;       // of its type byte
    std::uint8_t type = 0;
    double time = 0.0;
    std::uint8_t hubKind = 0;    // settings records
    const std::uint8_t* payload = nullptr; // the state record, or the settings block
    bool newAcquisition = false; // a start record (the first, or one after an end record)
};

// Calls fn(const ScannedRecord&) for every record a replay reads; fn returns
// false to stop early. Returns the number of records a replay reads (when not
// stopped early). The file must be open and at its beginning.
template <class Fn>
std::int64_t scanRecords(RecordFile& file, Fn&& fn) {
    ScannedRecord r;
    std::uint8_t payload[kTcBlockSize];
    r.payload = payload;
    std::int64_t n = 0;
    r.offset = file.offset();
    if (!file.readHeader(r.type, r.time) || r.type != kRecordStartEnd) return 0;
    r.number = ++n;
    r.newAcquisition = true;
    if (!fn(static_cast<const ScannedRecord&>(r))) return n;
    r.newAcquisition = false;
    bool ended = false; // after an end record only a start record goes on
    for (;;) {
        r.offset = file.offset();
        if (!file.readHeader(r.type, r.time)) return n;
        if (ended) {
            if (r.type != kRecordStartEnd) return n;
            ended = false;
            r.newAcquisition = true;
        } else if (r.type == kRecordState) {
            if (!file.readBytes(payload, 12)) return n;
        } else if (r.type == kRecordSettings) {
            int length = 0;
            if (!file.readSettings(r.hubKind, payload, length)) return n;
        } else if (r.type == kRecordStartEnd) {
            ended = true;
        }
        r.number = ++n;
        const bool go = fn(static_cast<const ScannedRecord&>(r));
        r.newAcquisition = false;
        if (!go) return n;
        if (r.type != kRecordState && r.type != kRecordSettings && r.type != kRecordStartEnd)
            return n; // an unknown type stops the replay
    }
}

} // namespace hub::player
