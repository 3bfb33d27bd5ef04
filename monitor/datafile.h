#pragma once
// The ".dat" recording: a flat sequence of little-endian records, each a type
// byte and an 8-byte time stamp (days since 1899-12-30, local time) followed by
// its payload: type 100 start/end (none), type 1 settings (HubKind + 9 or 70
// bytes), type 2 state (12 bytes).
#include "monitor/staterecord.h"

#include <QFile>
#include <QString>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <sys/types.h>
#include <vector>

namespace hub {

// The system's text for an errno value.
QString errnoText(int e);
// Why a file of this mode (st_mode) is not one to read a recording from or
// write an output to; empty for a regular file.
QString notRegularFileText(mode_t mode);

static_assert(std::endian::native == std::endian::little, "recordings are little-endian");

constexpr std::uint8_t kRecordStartEnd = 100;
constexpr std::uint8_t kRecordSettings = 1;
constexpr std::uint8_t kRecordState = 2;
constexpr int kRecordHeaderSize = 9;

// Sequential reader over large fixed chunks. Every read says whether the whole
// item was there: a short read (end of file or a record cut short) is how every
// scan of a recording ends. The file is opened read-only and shared, so a
// recording that is still being written can be read.
class RecordFile {
public:
    RecordFile();
    ~RecordFile();
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;

    // Only regular files are opened, without ever blocking. On failure *error
    // gets the file system's message.
    bool open(const QString& path, QString* error = nullptr);
    void close();
    bool isOpen() const { return fd_ >= 0; }
    // Size when opened (the progress gauges use it).
    qint64 size() const { return size_; }
    // Size now: a recording being written grows while it is read.
    qint64 currentSize() const;
    // Device and inode of the open file, so that no output is written over it.
    std::uint64_t device() const { return dev_; }
    std::uint64_t inode() const { return ino_; }
    // Bytes consumed so far.
    qint64 offset() const { return consumed_ + static_cast<qint64>(pos_); }
    bool rewind();
    // Reading goes on at this offset (an index that knows where records start).
    bool seek(qint64 offset);

    bool readBytes(std::uint8_t* dst, int n) {
        if (static_cast<size_t>(n) <= end_ - pos_) {
            std::memcpy(dst, buf_.data() + pos_, static_cast<size_t>(n));
            pos_ += static_cast<size_t>(n);
            return true;
        }
        return readSlow(dst, n);
    }
    bool readByte(std::uint8_t& b) { return readBytes(&b, 1); }
    bool readHeader(std::uint8_t& type, double& time) {
        std::uint8_t h[kRecordHeaderSize];
        if (!readBytes(h, kRecordHeaderSize)) return false;
        type = h[0];
        std::memcpy(&time, h + 1, sizeof time);
        return true;
    }
    bool readState(StateRecord& s) { return readBytes(s.data(), 12); }
    // Type-1 payload: the kind byte, then 9 (SW) or 70 (TC) block bytes into block.
    bool readSettings(std::uint8_t& hubKind, std::uint8_t* block70, int& blockLength) {
        if (!readByte(hubKind)) return false;
        blockLength = settingsBlockSize(hubKind);
        return readBytes(block70, blockLength);
    }
    bool skip(int n);

private:
    bool readSlow(std::uint8_t* dst, int n);
    bool fill();

    int fd_ = -1;
    qint64 size_ = 0;
    std::uint64_t dev_ = 0;
    std::uint64_t ino_ = 0;
    qint64 consumed_ = 0; // bytes before buf_[0]
    std::vector<std::uint8_t> buf_;
    size_t pos_ = 0;
    size_t end_ = 0;
};

// One record of any type.
struct DataRecord {
    std::uint8_t type = 0;
    double time = 0.0;
    std::uint8_t hubKind = 0;
    int blockLength = 0;
    std::array<std::uint8_t, kTcBlockSize> block{};
    StateRecord state{};
};

// Why a strict scan stopped.
enum class StopReason {
    None,          // still reading
    EndRecord,     // the closing type-100 record
    EndOfFile,     // the file ended on a record boundary
    CutShort,      // the last record is incomplete
    UnknownType,   // a type other than 1, 2, 100
    NoStartRecord, // the file does not begin with a type-100 record
};

const char* stopReasonText(StopReason r);

// Strict scan as the replay does it: a type-100 record first, then settings and
// state records until the end record, an unknown type, the end of the file or a
// record cut short.
class DataFileReader {
public:
    bool open(const QString& path, QString* error = nullptr);
    RecordFile& file() { return file_; }
    // Reads the start record. False (with stopReason()) when there is none.
    bool readStart(double& startTime);
    // Next settings or state record; false when the scan stopped. The end
    // record is not returned: it stops the scan with StopReason::EndRecord.
    bool next(DataRecord& r);
    StopReason stopReason() const { return reason_; }
    // Offset of the record at which the scan stopped.
    qint64 stopOffset() const { return stopOffset_; }
    std::uint8_t stopType() const { return stopType_; }

private:
    bool stop(StopReason r, qint64 at);
    RecordFile file_;
    StopReason reason_ = StopReason::None;
    qint64 stopOffset_ = 0;
    std::uint8_t stopType_ = 0;
};

// Writer: one write(2) a record, so every record reaches the kernel before the
// next is awaited (a crash or a pulled cable loses nothing already written).
//
// The file only ever holds whole records: a write that fails part-way (a full
// disk, a file-size limit) is cut back to the record before it, and the
// writer is then "paused": each later record tries again at that boundary,
// and the first one that goes through resumes the recording.
class DataFileWriter {
public:
    DataFileWriter() = default;
    ~DataFileWriter();
    DataFileWriter(const DataFileWriter&) = delete;
    DataFileWriter& operator=(const DataFileWriter&) = delete;

    // Opens (creating it if need be) and takes the writer's lock before the
    // contents are touched; only then is an existing file emptied. A file
    // another writer holds is refused and left exactly as it was, and the
    // message names it and, where the system tells, who holds it. Readers stay
    // allowed. On failure *error (and lastError()) says why, naming the file.
    bool create(const QString& path, QString* error = nullptr);
    void close();
    bool isOpen() const { return fd_ >= 0; }
    const QString& path() const { return path_; }

    // False when the record could not be written whole; the file then ends
    // at the record before it (see paused()).
    bool writeStartEnd(double time);
    // block holds 9 bytes for an SW kind, 70 for a TC kind.
    bool writeSettings(double time, std::uint8_t hubKind, const std::uint8_t* block);
    bool writeState(double time, const StateRecord& state);
    // The last failure, naming the file.
    QString lastError() const { return error_; }
    // The last write failed; the next one tries again.
    bool paused() const { return paused_; }
    // Bytes of whole records in the file.
    qint64 size() const { return size_; }

    // Who holds the writer's lock on the file at fd (an open file of it), as
    // "hubmonitor (pid 1234)"; empty when the system does not say.
    static QString lockHolder(int fd);

private:
    bool writeRecord(const std::uint8_t* data, size_t n);
    bool fail(const QString& text);
    int fd_ = -1;
    QString path_;
    QString error_;
    qint64 size_ = 0;
    bool paused_ = false;
    bool cutPending_ = false; // a cut back that failed: redo it before writing
};

} // namespace hub
