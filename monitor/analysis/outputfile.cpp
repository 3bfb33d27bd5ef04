#include "monitor/analysis/outputfile.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace hub {

namespace {
constexpr size_t kBuffer = 1 << 18;
}

OutputFile::~OutputFile() { close(); }

bool OutputFile::create(const QString& path) {
    close();
    failed_ = false;
    error_.clear();
    const QByteArray p = QFile::encodeName(path);
    int fd;
    do {
        fd = ::open(p.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        failed_ = true;
        error_ = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
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
            failed_ = true;
            error_ = QString::fromLocal8Bit(std::strerror(errno));
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
    if (::close(fd_) != 0 && !failed_) {
        failed_ = true;
        error_ = QString::fromLocal8Bit(std::strerror(errno));
    }
    fd_ = -1;
    return !failed_;
}

} // namespace hub
