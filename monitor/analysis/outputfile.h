#pragma once
// A created-or-truncated output file written through one large buffer, so a
// million fixed-size lines cost a few hundred write(2) calls, not a million.
// Every failure is kept, so a full disk is never reported as success.
#include <QString>
#include <cstdint>
#include <cstring>
#include <vector>

namespace hub {

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool create(const QString& path);
    void append(const void* data, size_t n) {
        if (n > buf_.size() - used_) flush();
        if (n > buf_.size()) {
            writeAll(static_cast<const std::uint8_t*>(data), n);
            return;
        }
        std::memcpy(buf_.data() + used_, data, n);
        used_ += n;
    }
    // Flushes and closes; false when anything failed since create().
    bool close();
    bool failed() const { return failed_; }
    const QString& error() const { return error_; }

private:
    void flush();
    void writeAll(const std::uint8_t* p, size_t n);
    int fd_ = -1;
    std::vector<std::uint8_t> buf_;
    size_t used_ = 0;
    bool failed_ = false;
    QString error_;
};

} // namespace hub
