#include "monitor/analysis/outputfile.h"

#include "monitor/datafile.h"

#include <QFile>
#include <QRandomGenerator>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace hub {

namespace {
constexpr size_t kBuffer = 1 << 18;

// The folder part of a path, "." for a bare name.
QByteArray folderOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0) return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}
} // namespace

OutputFile::~OutputFile() { discard(); }

void OutputFile::fail(int e) {
    if (failed_) return;
    failed_ = true;
    error_ = errnoText(e);
}

bool OutputFile::create(const QString& path, const RecordFile* source) {
    discard();
    failed_ = false;
    error_.clear();
    target_ = QFile::encodeName(path);
    mode_t mode = 0;
    struct stat st {};
    if (::stat(target_.constData(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            failed_ = true;
            error_ = notRegularFileText(st.st_mode);
            return false;
        }
        if (source && source->isOpen() && st.st_dev == source->device() && st.st_ino == source->inode()) {
            failed_ = true;
            error_ = QStringLiteral("it is the recording being read");
            return false;
        }
        // Replace the file a link points to, not the link.
        char real[PATH_MAX];
        if (::realpath(target_.constData(), real)) target_ = QByteArray(real);
        mode = st.st_mode & 07777;
    } else if (errno != ENOENT) {
        fail(errno);
        return false;
    }
    const qsizetype slash = target_.lastIndexOf('/');
    const QByteArray base = slash < 0 ? target_ : target_.mid(slash + 1);
    const QByteArray prefix = folderOf(target_) + "/." + base + ".";
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp_ = prefix + QByteArray::number(QRandomGenerator::global()->generate(), 36) + ".tmp";
        do {
            fd = ::open(temp_.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        fail(errno);
        temp_.clear();
        return false;
    }
    // A file that is replaced keeps its permissions.
    if (mode != 0) (void)::fchmod(fd, mode);
    fd_ = fd;
    buf_.resize(kBuffer);
    used_ = 0;
    return true;
}

void OutputFile::writeAll(const std::uint8_t* p, size_t n) {
    while (n > 0 && !failed_) {
        const ssize_t w = ::write(fd_, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            fail(errno);
            return;
        }
        p += w;
        n -= static_cast<size_t>(w);
    }
}

void OutputFile::flush() {
    if (fd_ >= 0 && used_ > 0) writeAll(buf_.data(), used_);
    used_ = 0;
}

bool OutputFile::close() {
    if (fd_ < 0) return !failed_;
    flush();
    if (::close(fd_) != 0) fail(errno);
    fd_ = -1;
    if (!failed_ && ::rename(temp_.constData(), target_.constData()) != 0) fail(errno);
    if (failed_) ::unlink(temp_.constData());
    temp_.clear();
    return !failed_;
}

void OutputFile::discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
        ::unlink(temp_.constData());
    }
    temp_.clear();
    used_ = 0;
}

} // namespace hub
