#include "monitor/datafile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace hub {

namespace {
constexpr qint64 kChunk = 1 << 20;
constexpr qint64 kMinChunk = 1 << 16;
} // namespace

QString errnoText(int e) { return QString::fromLocal8Bit(std::strerror(e)); }

QString notRegularFileText(mode_t mode) {
    if (S_ISREG(mode)) return {};
    return S_ISDIR(mode) ? errnoText(EISDIR) : QStringLiteral("not a regular file");
}

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
    const bool statOk = ::fstat(fd, &st) == 0;
    if (!statOk || !S_ISREG(st.st_mode)) {
        const QString why = statOk ? notRegularFileText(st.st_mode) : errnoText(errno);
        ::close(fd);
        if (error) *error = why;
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

bool RecordFile::seek(qint64 offset) {
    if (fd_ < 0 || offset < 0) return false;
    if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) != static_cast<off_t>(offset)) return false;
    pos_ = end_ = 0;
    consumed_ = offset;
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

QString DataFileWriter::lockHolder(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return {};
    // /proc/locks: "1: FLOCK  ADVISORY  WRITE 1234 fe:00:10953201 0 EOF";
    // waiters are listed as "1: -> FLOCK ..." and are not holders.
    char id[64];
    std::snprintf(id, sizeof id, "%02x:%02x:%llu", major(st.st_dev), minor(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly)) return {};
    const QList<QByteArray> lines = locks.readAll().split('\n');
    for (const QByteArray& line : lines) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() < 6 || f.at(1) == "->" || f.at(5) != id) continue;
        bool ok = false;
        const qint64 pid = f.at(4).toLongLong(&ok);
        if (!ok || pid <= 0) continue;
        QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
        QByteArray name;
        if (comm.open(QIODevice::ReadOnly)) name = comm.readAll().trimmed();
        if (name.isEmpty()) return QStringLiteral("pid %1").arg(pid);
        return QStringLiteral("%1 (pid %2)").arg(QString::fromLocal8Bit(name)).arg(pid);
    }
    return {};
}

bool DataFileWriter::fail(const QString& text) {
    error_ = text;
    return false;
}

bool DataFileWriter::create(const QString& path, QString* error) {
    close();
    path_ = path;
    size_ = 0;
    paused_ = false;
    cutPending_ = false;
    auto refuse = [&](const QString& text, int fd) {
        if (fd >= 0) ::close(fd);
        fail(text);
        if (error) *error = error_;
        return false;
    };
    const QByteArray p = QFile::encodeName(path);
    // No O_TRUNC: the file may be another writer's live recording, and nothing
    // of it may change before the lock is ours. O_NONBLOCK: a FIFO under that
    // name must not hang the start.
    const int fd = ::open(p.constData(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd < 0) return refuse(path + QStringLiteral(": ") + errnoText(errno), -1);
    struct stat st {};
    if (::fstat(fd, &st) != 0) return refuse(path + QStringLiteral(": ") + errnoText(errno), fd);
    if (!S_ISREG(st.st_mode)) return refuse(path + QStringLiteral(": ") + notRegularFileText(st.st_mode), fd);
    // Other writers are denied; readers (a viewer, the change list) stay allowed.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int e = errno;
        if (e != EWOULDBLOCK) return refuse(path + QStringLiteral(": ") + errnoText(e), fd);
        const QString holder = lockHolder(fd);
        return refuse(path + QStringLiteral(" is already being recorded by ") +
                          (holder.isEmpty() ? QStringLiteral("another program") : holder),
                      fd);
    }
    // The lock is ours: an old recording under this name is overwritten.
    if (::ftruncate(fd, 0) != 0) return refuse(path + QStringLiteral(": ") + errnoText(errno), fd);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    fd_ = fd;
    error_.clear();
    return true;
}

void DataFileWriter::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool DataFileWriter::writeRecord(const std::uint8_t* data, size_t n) {
    if (fd_ < 0) return fail(path_ + QStringLiteral(": the recording is not open"));
    if (cutPending_) {
        if (::ftruncate(fd_, size_) != 0) return fail(path_ + QStringLiteral(": ") + errnoText(errno));
        cutPending_ = false;
    }
    // Written at the end of the last whole record, whatever a failed write
    // may have left after it.
    size_t done = 0;
    int e = 0;
    while (done < n) {
        const ssize_t w = ::pwrite(fd_, data + done, n - done, static_cast<off_t>(size_ + static_cast<qint64>(done)));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            e = w < 0 ? errno : ENOSPC;
            break;
        }
        done += static_cast<size_t>(w);
    }
    if (done == n) {
        size_ += static_cast<qint64>(n);
        paused_ = false;
        return true;
    }
    // Half a record would make everything after it unreadable: cut it off.
    paused_ = true;
    if (done > 0 && ::ftruncate(fd_, size_) != 0) cutPending_ = true;
    return fail(path_ + QStringLiteral(": ") + errnoText(e));
}

bool DataFileWriter::writeStartEnd(double time) {
    std::uint8_t r[kRecordHeaderSize];
    r[0] = kRecordStartEnd;
    std::memcpy(r + 1, &time, 8);
    return writeRecord(r, sizeof r);
}

bool DataFileWriter::writeSettings(double time, std::uint8_t hubKind, const std::uint8_t* block) {
    std::uint8_t r[kRecordHeaderSize + 1 + kTcBlockSize];
    r[0] = kRecordSettings;
    std::memcpy(r + 1, &time, 8);
    r[9] = hubKind;
    const int n = settingsBlockSize(hubKind);
    std::memcpy(r + 10, block, static_cast<size_t>(n));
    return writeRecord(r, static_cast<size_t>(10 + n));
}

bool DataFileWriter::writeState(double time, const StateRecord& state) {
    std::uint8_t r[kRecordHeaderSize + 12];
    r[0] = kRecordState;
    std::memcpy(r + 1, &time, 8);
    std::memcpy(r + 9, state.data(), 12);
    return writeRecord(r, sizeof r);
}

} // namespace hub
