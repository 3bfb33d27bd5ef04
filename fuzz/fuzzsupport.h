#pragma once
// What the fuzz targets share: input bytes as a file the readers can open,
// a scratch folder for their outputs, a Qt application for the painters, and a
// line + clock that deliver the input as chunks of bytes "from the hub".
#include "serial/line.h"

#include <QGuiApplication>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

// fontconfig keeps its caches to the end of the process; that is no leak of ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

namespace fuzzsupport {

// A scratch folder for this process, in memory where the machine has one, so
// that a run costs no disk writes.
inline const std::string& scratchDir() {
    static const std::string dir = [] {
        std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string tmpl = base + "/hubfuzz-XXXXXX";
        if (!mkdtemp(tmpl.data())) {
            std::perror("mkdtemp");
            std::abort();
        }
        return tmpl;
    }();
    return dir;
}

inline QString scratchPath(const char* name) {
    return QString::fromStdString(scratchDir() + "/" + name);
}

// The input as an open memory file; path() names it for readers that open by
// path. One memfd is reused for every run.
class InputFile {
public:
    InputFile() {
        fd_ = memfd_create("hubfuzz-input", 0);
        if (fd_ < 0) {
            std::perror("memfd_create");
            std::abort();
        }
        path_ = QStringLiteral("/proc/self/fd/%1").arg(fd_);
    }
    const QString& write(const std::uint8_t* data, size_t size) {
        if (ftruncate(fd_, 0) != 0 || pwrite(fd_, data, size, 0) != static_cast<ssize_t>(size)) {
            std::perror("memfd write");
            std::abort();
        }
        return path_;
    }
    const QString& path() const { return path_; }

private:
    int fd_ = -1;
    QString path_;
};

// Fonts, images and the regional formats need an application object.
inline void initQt() {
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static QGuiApplication* app = new QGuiApplication(argc, argv);
    (void)app;
}

// Fails the run: the fuzzer reports it with the input that broke the property.
[[noreturn]] inline void broken(const char* what) {
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
}

// Pulls parameters off the front of the input.
class Bytes {
public:
    Bytes(const std::uint8_t* d, size_t n) : d_(d), n_(n) {}
    bool empty() const { return n_ == 0; }
    size_t left() const { return n_; }
    std::uint8_t take() {
        if (n_ == 0) return 0;
        --n_;
        return *d_++;
    }
    // Up to n bytes; fewer at the end of the input.
    size_t take(std::uint8_t* out, size_t n) {
        n = std::min(n, n_);
        std::copy_n(d_, n, out);
        d_ += n;
        n_ -= n;
        return n;
    }
    const std::uint8_t* data() const { return d_; }

private:
    const std::uint8_t* d_;
    size_t n_;
};

class FakeClock final : public hub::SteadyClock {
public:
    hub::SteadyTime now() const override { return t; }
    void sleepUntil(hub::SteadyTime x) override { t = std::max(t, x); }
    hub::SteadyTime t{};
};

// A line whose far end sends the input in chunks: each chunk is a length byte
// and that many bytes. A chunk arrives when the program writes (the hub
// answering) or waits for input (the stream going on); with nothing left to
// arrive, a wait simply runs to its deadline on the fake clock.
class ChunkLine final : public hub::Line {
public:
    ChunkLine(FakeClock& clock, Bytes& input) : clock_(clock), in_(input) {}

    int writeBytes(const std::uint8_t*, int count) override {
        written += count;
        arrive();
        return count;
    }
    int readBytes(std::uint8_t* data, int count) override {
        int n = 0;
        while (n < count && !queue_.empty()) {
            data[n++] = queue_.front();
            queue_.pop_front();
        }
        return n;
    }
    int inQueCount() override { return static_cast<int>(queue_.size()); }
    void purgeIn() override { queue_.clear(); }
    void purgeOut() override {}
    void waitReadable(hub::SteadyTime deadline) override {
        if (queue_.empty() && !in_.empty()) {
            clock_.t += std::chrono::milliseconds(1);
            arrive();
        }
        if (queue_.empty()) clock_.t = std::max(clock_.t, deadline);
    }

    bool exhausted() const { return in_.empty() && queue_.empty(); }
    long written = 0;

private:
    void arrive() {
        if (in_.empty()) return;
        size_t n = in_.take();
        while (n-- > 0 && !in_.empty()) queue_.push_back(in_.take());
    }

    FakeClock& clock_;
    Bytes& in_;
    std::deque<std::uint8_t> queue_;
};

} // namespace fuzzsupport
