#pragma once
// An output file written through one large buffer, so a million fixed-size
// lines cost a few hundred write(2) calls, not a million. Every failure is
// kept, so a full disk is never reported as success.
//
// The bytes go to a temporary file in the target's folder, which close()
// renames into place: an interrupted or failed write leaves the old file (or
// none) under the final name, never a half one. A link is followed, so the
// file it points to is replaced and the link stays.
#include <QString>
#include <cstdint>
#include <cstring>
#include <vector>

namespace hub {

class RecordFile;

class OutputFile {
public:
    OutputFile() = default;
    // Without a successful close() the temporary file is removed.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // source: the recording being read; an output that is the same file (by
    // device and inode, under whatever name or link) is refused.
    bool create(const QString& path, const RecordFile* source = nullptr);
    void append(const void* data, size_t n) {
        if (n > buf_.size() - used_) flush();
        if (n > buf_.size()) {
            writeAll(static_cast<const std::uint8_t*>(data), n);
            return;
        }
        std::memcpy(buf_.data() + used_, data, n);
        used_ += n;
    }
    // Flushes, closes and renames into place; false when anything failed
    // since create() (the final name is then left as it was).
    bool close();
    // Drops what was written; the final name is left as it was.
    void discard();
    bool failed() const { return failed_; }
    const QString& error() const { return error_; }

private:
    void flush();
    void writeAll(const std::uint8_t* p, size_t n);
    void fail(int e);
    int fd_ = -1;
    QByteArray target_; // the final name, links resolved
    QByteArray temp_;
    std::vector<std::uint8_t> buf_;
    size_t used_ = 0;
    bool failed_ = false;
    QString error_;
};

} // namespace hub
