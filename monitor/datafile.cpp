#include "monitor/datafile.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace hub {

namespace {
constexpr qint64 kChunk = 1 << 20;
constexpr qint64 kMinChunk = 1 << 16;

QString errnoText(int e) { return QString::fromLocal8Bit(std::strerror(e)); }
} // namespace

RecordFile::RecordFile() = default;
RecordFile::~RecordFile() { close(); }

bool RecordFile::open(const QString& path, QString* error) {
    close();
    const QByteArray p = QFile::encodeName(path);
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer
    // that may never come. Only regular files are recordings: a FIFO, a
    // terminal or /dev/zero would block a scan or never end it.
    int fd;
    do {
        fd = ::open(p.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        if (error) *error = errnoText(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int e = errno;
        const bool statOk = st.st_mode != 0;
        ::close(fd);
        if (error) {
            if (!statOk) *error = errnoText(e);
            else if (S_ISDIR(st.st_mode)) *error = errnoText(EISDIR);
            else *error = QStringLiteral("not a regular file");
        }
        return false;
    }
    // Back to blocking reads: a regular file never blocks, and readers treat a
    // short read as the end of the file.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        const int e = errno;
        ::close(fd);
        if (error) *error = errnoText(e);
        return false;
    }
    fd_ = fd;
    size_ = st.st_size;
    dev_ = st.st_dev;
    ino_ = st.st_ino;
    // Small files get a small buffer (many short scans run one after another);
    // it still holds several of the largest records, and a file that grows
    // while it is read is simply read in more calls.
    buf_.resize(static_cast<size_t>(std::clamp<qint64>(size_ + 1, qint64{kMinChunk}, qint64{kChunk})));
    pos_ = end_ = 0;
    consumed_ = 0;
    return true;
}

qint64 RecordFile::currentSize() const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return size_;
    return st.st_size;
}

void RecordFile::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    pos_ = end_ = 0;
    consumed_ = 0;
}

bool RecordFile::rewind() {
    if (fd_ < 0) return false;
    if (::lseek(fd_, 0, SEEK_SET) != 0) return false;
    pos_ = end_ = 0;
    consumed_ = 0;
    return true;
}

// Moves what is left to the front and reads more; false when nothing more came.
bool RecordFile::fill() {
    if (fd_ < 0) return false;
    if (pos_ > 0) {
        std::memmove(buf_.data(), buf_.data() + pos_, end_ - pos_);
        consumed_ += static_cast<qint64>(pos_);
        end_ -= pos_;
        pos_ = 0;
    }
    ssize_t got;
    do {
        got = ::read(fd_, buf_.data() + end_, buf_.size() - end_);
    } while (got < 0 && errno == EINTR);
    if (got <= 0) return false;
    end_ += static_cast<size_t>(got);
    return true;
}

bool RecordFile::readSlow(std::uint8_t* dst, int n) {
    if (n < 0) return false;
    while (end_ - pos_ < static_cast<size_t>(n)) {
        if (!fill()) {
            // A short read consumes what was there, as a plain read would.
            pos_ = end_;
            return false;
        }
    }
    std::memcpy(dst, buf_.data() + pos_, static_cast<size_t>(n));
    pos_ += static_cast<size_t>(n);
    return true;
}

bool RecordFile::skip(int n) {
    std::uint8_t tmp[kTcBlockSize];
    while (n > 0) {
        const int k = n < kTcBlockSize ? n : kTcBlockSize;
        if (!readBytes(tmp, k)) return false;
        n -= k;
    }
    return true;
}

const char* stopReasonText(StopReason r) {
    switch (r) {
    case StopReason::None: return "not stopped";
    case StopReason::EndRecord: return "end record";
    case StopReason::EndOfFile: return "end of file";
    case StopReason::CutShort: return "record cut short";
    case StopReason::UnknownType: return "unknown record type";
    case StopReason::NoStartRecord: return "no start record";
    }
    return "?";
}

bool DataFileReader::open(const QString& path, QString* error) {
    reason_ = StopReason::None;
    return file_.open(path, error);
}

bool DataFileReader::stop(StopReason r, qint64 at) {
    reason_ = r;
    stopOffset_ = at;
    return false;
}

bool DataFileReader::readStart(double& startTime) {
    std::uint8_t type = 0;
    const qint64 at = file_.offset();
    if (!file_.readHeader(type, startTime)) return stop(StopReason::NoStartRecord, at);
    stopType_ = type;
    if (type != kRecordStartEnd) return stop(StopReason::NoStartRecord, at);
    return true;
}

bool DataFileReader::next(DataRecord& r) {
    if (reason_ != StopReason::None) return false;
    const qint64 at = file_.offset();
    if (!file_.readHeader(r.type, r.time))
        return stop(file_.offset() == at ? StopReason::EndOfFile : StopReason::CutShort, at);
    stopType_ = r.type;
    switch (r.type) {
    case kRecordSettings:
        if (!file_.readSettings(r.hubKind, r.block.data(), r.blockLength))
            return stop(StopReason::CutShort, at);
        return true;
    case kRecordState:
        if (!file_.readState(r.state)) return stop(StopReason::CutShort, at);
        return true;
    case kRecordStartEnd:
        return stop(StopReason::EndRecord, at);
    default:
        return stop(StopReason::UnknownType, at);
    }
}

DataFileWriter::~DataFileWriter() { close(); }

bool DataFileWriter::create(const QString& path, QString* error) {
    close();
    const QByteArray p = QFile::encodeName(path);
    int fd = ::open(p.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        error_ = errnoText(errno);
        if (error) *error = error_;
        return false;
    }
    ::close(fd);
    fd = ::open(p.constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) {
        error_ = errnoText(errno);
        if (error) *error = error_;
        return false;
    }
    // Other writers are denied; readers (a viewer, the change list) stay allowed.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error_ = errnoText(errno);
        ::close(fd);
        if (error) *error = error_;
        return false;
    }
    fd_ = fd;
    path_ = path;
    return true;
}

void DataFileWriter::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool DataFileWriter::writeAll(const std::uint8_t* data, size_t n) {
    if (fd_ < 0) return false;
    while (n > 0) {
        const ssize_t w = ::write(fd_, data, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            error_ = errnoText(errno);
            return false;
        }
        data += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

bool DataFileWriter::writeStartEnd(double time) {
    std::uint8_t r[kRecordHeaderSize];
    r[0] = kRecordStartEnd;
    std::memcpy(r + 1, &time, 8);
    return writeAll(r, sizeof r);
}

bool DataFileWriter::writeSettings(double time, std::uint8_t hubKind, const std::uint8_t* block) {
    std::uint8_t r[kRecordHeaderSize + 1 + kTcBlockSize];
    r[0] = kRecordSettings;
    std::memcpy(r + 1, &time, 8);
    r[9] = hubKind;
    const int n = settingsBlockSize(hubKind);
    std::memcpy(r + 10, block, static_cast<size_t>(n));
    return writeAll(r, static_cast<size_t>(10 + n));
}

bool DataFileWriter::writeState(double time, const StateRecord& state) {
    std::uint8_t r[kRecordHeaderSize + 12];
    r[0] = kRecordState;
    std::memcpy(r + 1, &time, 8);
    std::memcpy(r + 9, state.data(), 12);
    return writeAll(r, sizeof r);
}

} // namespace hub
