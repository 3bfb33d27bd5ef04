#include "uplink/outbox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace hub {

namespace {

constexpr char kMagic[] = "HUBOUTB1";
constexpr std::size_t kMagicSize = 8;
constexpr std::uint8_t kEvent = 1, kConfirmed = 2, kBase = 3;
constexpr std::size_t kBodyHead = 9; // type + seq

// Eight tables: the checksum takes eight bytes a step (every event is
// checksummed when written and again when the journal is read).
using CrcTables = std::array<std::array<std::uint32_t, 256>, 8>;
const CrcTables& crcTables() {
    static const CrcTables t = [] {
        CrcTables r{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            r[0][i] = c;
        }
        for (std::size_t s = 1; s < 8; ++s)
            for (std::uint32_t i = 0; i < 256; ++i) r[s][i] = (r[s - 1][i] >> 8) ^ r[0][r[s - 1][i] & 0xFF];
        return r;
    }();
    return t;
}

std::uint32_t getU32(const char* p) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<std::uint8_t>(p[i]);
    return v;
}
std::uint64_t getU64(const char* p) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | static_cast<std::uint8_t>(p[i]);
    return v;
}
void setU32(char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
void setU64(char* p, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Appends one entry to `out`, built in place (the journal writes one an event).
void appendEntry(QByteArray& out, std::uint8_t type, std::uint64_t seq, const QByteArray& payload) {
    const std::size_t body = kBodyHead + std::size_t(payload.size());
    const qsizetype at = out.size();
    out.resize(at + qsizetype(8 + body));
    char* e = out.data() + at;
    char* b = e + 8;
    b[0] = static_cast<char>(type);
    setU64(b + 1, seq);
    if (!payload.isEmpty()) std::memcpy(b + kBodyHead, payload.constData(), std::size_t(payload.size()));
    setU32(e, static_cast<std::uint32_t>(body));
    setU32(e + 4, crc32(b, body));
}

QString sysError(int e) { return QString::fromLocal8Bit(std::strerror(e)); }

bool writeAll(int fd, const QByteArray& b, int* err) {
    const char* p = b.constData();
    qsizetype left = b.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, std::size_t(left));
        if (n < 0) {
            if (errno == EINTR) continue;
            *err = errno;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

} // namespace

std::uint32_t crc32(const char* data, std::size_t size) {
    const CrcTables& t = crcTables();
    std::uint32_t c = 0xFFFFFFFFu;
    for (; size >= 8; data += 8, size -= 8) {
        const std::uint32_t lo = c ^ getU32(data), hi = getU32(data + 4);
        c = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
            t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
    }
    for (; size > 0; ++data, --size) c = t[0][(c ^ static_cast<std::uint8_t>(*data)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

OutboxContents readOutbox(const QByteArray& bytes) {
    OutboxContents out;
    if (bytes.size() < qsizetype(kMagicSize) || std::memcmp(bytes.constData(), kMagic, kMagicSize) != 0) {
        // An empty file is a new journal; anything else is not ours.
        out.validHeader = bytes.isEmpty();
        return out;
    }
    out.validHeader = true;
    std::map<std::uint64_t, QByteArray> open;
    std::map<std::uint64_t, QByteArray> done;
    const char* base = bytes.constData();
    const std::size_t size = std::size_t(bytes.size());
    std::size_t at = kMagicSize;
    out.goodBytes = at;
    while (size - at >= 8) {
        const std::uint32_t len = getU32(base + at);
        if (len < kBodyHead || len > kBodyHead + Outbox::kMaxPayload || len > size - at - 8) break;
        const char* body = base + at + 8;
        if (crc32(body, len) != getU32(base + at + 4)) break;
        const std::uint8_t type = static_cast<std::uint8_t>(body[0]);
        const std::uint64_t seq = getU64(body + 1);
        if (type == kEvent) {
            // Numbers only grow; a seq of 0 or a step back is damage, not an event.
            if (seq == 0 || seq < out.nextSeq || seq == UINT64_MAX) break;
            open[seq] = QByteArray(body + kBodyHead, qsizetype(len - kBodyHead));
            out.nextSeq = seq + 1;
        } else if (type == kConfirmed) {
            const auto it = open.find(seq);
            if (it != open.end()) {
                done[seq] = it->second;
                open.erase(it);
                while (done.size() > Outbox::kKeepConfirmed) done.erase(done.begin());
            }
        } else if (type == kBase) {
            if (seq == 0) break;
            out.nextSeq = std::max(out.nextSeq, seq);
        } else {
            break;
        }
        at += 8 + len;
        out.goodBytes = at;
        ++out.entries;
    }
    for (auto& [seq, p] : open) out.unconfirmed.push_back({seq, p});
    for (auto& [seq, p] : done) out.confirmed.push_back({seq, p});
    return out;
}

Outbox::~Outbox() {
    release(nullptr);
    close();
}

void Outbox::close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

bool Outbox::open(const QString& path, QString* error) {
    close();
    m_path = path;
    m_note.clear();
    QDir().mkpath(QFileInfo(path).absolutePath());
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (error) *error = QStringLiteral("cannot open the outbox %1: %2").arg(path, sysError(errno));
        return false;
    }
    QByteArray bytes;
    {
        struct stat st {};
        ::fstat(fd, &st);
        bytes.resize(qsizetype(st.st_size));
        qsizetype got = 0;
        while (got < bytes.size()) {
            const ssize_t n = ::pread(fd, bytes.data() + got, std::size_t(bytes.size() - got), got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += n;
        }
        bytes.resize(got);
    }
    const OutboxContents c = readOutbox(bytes);
    if (!c.validHeader) {
        ::close(fd);
        if (error) *error = QStringLiteral("%1 is not an outbox journal; left as it is").arg(path);
        return false;
    }
    m_fd = fd;
    m_nextSeq = c.nextSeq;
    m_unconfirmed.clear();
    m_confirmed.clear();
    m_unwritten = 0;
    for (const auto& e : c.unconfirmed) m_unconfirmed[e.seq] = Held{e.payload, true};
    for (const auto& e : c.confirmed) m_confirmed.push_back(e);
    m_entriesSinceCompact = c.entries;
    if (bytes.isEmpty()) {
        int err = 0;
        if (!writeAll(m_fd, QByteArray(kMagic, kMagicSize), &err)) {
            if (error) *error = QStringLiteral("cannot write the outbox %1: %2").arg(path, sysError(err));
            close();
            return false;
        }
        m_size = kMagicSize;
    } else {
        m_size = c.goodBytes;
        if (c.goodBytes < std::size_t(bytes.size())) {
            // A torn or damaged tail: cut it, or every later entry would sit behind it unread.
            m_note = QStringLiteral("outbox %1: %2 damaged bytes at the end dropped")
                         .arg(path)
                         .arg(std::size_t(bytes.size()) - c.goodBytes);
            if (::ftruncate(m_fd, off_t(c.goodBytes)) != 0) {
                if (error) *error = QStringLiteral("cannot repair the outbox %1: %2").arg(path, sysError(errno));
                close();
                return false;
            }
        }
    }
    ::lseek(m_fd, off_t(m_size), SEEK_SET);
    return true;
}

bool Outbox::writeEntry(std::uint8_t type, std::uint64_t seq, const QByteArray& payload, QString* error) {
    if (m_fd < 0) {
        if (error) *error = QStringLiteral("the outbox is not open");
        return false;
    }
    if (m_holding) {
        appendEntry(m_held, type, seq, payload);
        if (type == kEvent) m_heldEvents.push_back(seq);
        ++m_heldEntries;
        return true;
    }
    QByteArray e;
    appendEntry(e, type, seq, payload);
    int err = 0;
    if (!writeAll(m_fd, e, &err)) {
        // A part written would hide every later entry: back to the last whole one.
        if (::ftruncate(m_fd, off_t(m_size)) == 0) ::lseek(m_fd, off_t(m_size), SEEK_SET);
        if (error) *error = QStringLiteral("cannot write the outbox %1: %2").arg(m_path, sysError(err));
        return false;
    }
    m_size += std::uint64_t(e.size());
    ++m_entriesSinceCompact;
    return true;
}

bool Outbox::release(QString* error) {
    m_holding = false;
    if (m_held.isEmpty()) return true;
    // The buffer keeps its room for the next record's entries.
    const qsizetype bytes = m_held.size();
    const std::vector<std::uint64_t> events = std::move(m_heldEvents);
    const std::size_t entries = m_heldEntries;
    m_heldEvents.clear();
    m_heldEntries = 0;
    int err = 0;
    const bool written = m_fd >= 0 && writeAll(m_fd, m_held, &err);
    m_held.resize(0);
    if (!written) {
        if (m_fd >= 0 && ::ftruncate(m_fd, off_t(m_size)) == 0) ::lseek(m_fd, off_t(m_size), SEEK_SET);
        for (std::uint64_t seq : events) {
            const auto it = m_unconfirmed.find(seq);
            if (it != m_unconfirmed.end() && it->second.written) {
                it->second.written = false;
                ++m_unwritten;
            }
        }
        if (error)
            *error = m_fd < 0 ? QStringLiteral("the outbox is not open")
                              : QStringLiteral("cannot write the outbox %1: %2").arg(m_path, sysError(err));
        return false;
    }
    m_size += std::uint64_t(bytes);
    m_entriesSinceCompact += entries;
    return compact(error);
}

bool Outbox::flushUnwritten(QString* error) {
    if (m_unwritten == 0) return true;
    for (auto it = m_unconfirmed.begin(); it != m_unconfirmed.end() && m_unwritten > 0; ++it) {
        Held& h = it->second;
        if (h.written) continue;
        if (!writeEntry(kEvent, it->first, h.payload, error)) return false;
        h.written = true;
        --m_unwritten;
    }
    return true;
}

std::uint64_t Outbox::append(const std::function<QByteArray(std::uint64_t)>& makePayload, QString* error) {
    const std::uint64_t seq = m_nextSeq++;
    QByteArray payload = makePayload(seq);
    if (std::size_t(payload.size()) > kMaxPayload) payload.truncate(qsizetype(kMaxPayload));
    // Counted as unwritten only once its write failed: while any is,
    // flushUnwritten() walks the unconfirmed events, and a broker away for an
    // hour leaves thousands of them.
    Held h{payload, false};
    if (flushUnwritten(error) && writeEntry(kEvent, seq, payload, error)) h.written = true;
    else ++m_unwritten;
    m_unconfirmed.emplace_hint(m_unconfirmed.end(), seq, std::move(h));
    return seq;
}

void Outbox::confirm(std::uint64_t seq, QString* error) {
    const auto it = m_unconfirmed.find(seq);
    if (it == m_unconfirmed.end()) return;
    const bool written = it->second.written;
    m_confirmed.push_back({seq, it->second.payload});
    if (!written) --m_unwritten;
    m_unconfirmed.erase(it);
    while (m_confirmed.size() > kKeepConfirmed) m_confirmed.pop_front();
    // Out-of-order confirmations keep the history sorted.
    if (m_confirmed.size() > 1 && m_confirmed[m_confirmed.size() - 2].seq > seq)
        std::sort(m_confirmed.begin(), m_confirmed.end(),
                  [](const OutboxEvent& a, const OutboxEvent& b) { return a.seq < b.seq; });
    // An event never written needs no confirmation entry; if this one fails,
    // the event is published once more after a restart, which readers expect.
    if (written) writeEntry(kConfirmed, seq, QByteArray(), error);
    compact(error);
}

std::vector<OutboxEvent> Outbox::unconfirmed() const {
    std::vector<OutboxEvent> v;
    v.reserve(m_unconfirmed.size());
    for (const auto& [seq, h] : m_unconfirmed) v.push_back({seq, h.payload});
    return v;
}

std::vector<OutboxEvent> Outbox::from(std::uint64_t seq) const {
    std::vector<OutboxEvent> v;
    for (const auto& e : m_confirmed)
        if (e.seq >= seq) v.push_back(e);
    for (auto it = m_unconfirmed.lower_bound(seq); it != m_unconfirmed.end(); ++it)
        v.push_back({it->first, it->second.payload});
    std::sort(v.begin(), v.end(), [](const OutboxEvent& a, const OutboxEvent& b) { return a.seq < b.seq; });
    return v;
}

std::optional<QByteArray> Outbox::payload(std::uint64_t seq) const {
    if (const auto it = m_unconfirmed.find(seq); it != m_unconfirmed.end()) return it->second.payload;
    for (const auto& e : m_confirmed)
        if (e.seq == seq) return e.payload;
    return std::nullopt;
}

bool Outbox::compact(QString* error, bool force) {
    if (m_fd < 0) return false;
    if (m_holding) return true; // after release()
    // Worth it when the file holds several times what it must keep. The
    // rewrite costs the whole kept history and an fsync: at most once every
    // 16384 entries (a few MB of journal at most).
    const std::size_t needed = m_unconfirmed.size() + m_confirmed.size() + 1;
    if (!force && (m_entriesSinceCompact < kCompactEvery || m_entriesSinceCompact < 4 * needed)) return true;
    QByteArray out(kMagic, kMagicSize);
    // Events in number order (the reader takes nothing that goes back); the
    // kept history as events confirmed at once, so resends still find it.
    std::vector<std::pair<std::uint64_t, const QByteArray*>> all;
    for (const auto& e : m_confirmed) all.emplace_back(e.seq, &e.payload);
    for (const auto& [seq, h] : m_unconfirmed) all.emplace_back(seq, &h.payload);
    std::sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::size_t entries = 1;
    for (const auto& [seq, payload] : all) {
        appendEntry(out, kEvent, seq, *payload);
        ++entries;
        if (!m_unconfirmed.count(seq)) {
            appendEntry(out, kConfirmed, seq, QByteArray());
            ++entries;
        }
    }
    // Last, as the numbers only grow along the file.
    appendEntry(out, kBase, m_nextSeq, QByteArray());
    const QString tmp = m_path + QStringLiteral(".tmp");
    const QByteArray nativeTmp = QFile::encodeName(tmp);
    const int fd = ::open(nativeTmp.constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    int err = 0;
    if (fd < 0) {
        err = errno;
    } else if (!writeAll(fd, out, &err) || (::fsync(fd) != 0 && (err = errno))) {
        ::close(fd);
        ::unlink(nativeTmp.constData());
    } else if (::rename(nativeTmp.constData(), QFile::encodeName(m_path).constData()) != 0) {
        err = errno;
        ::close(fd);
        ::unlink(nativeTmp.constData());
    } else {
        // The rename itself must reach the disk before the old file's entries are forgotten.
        const QByteArray dir = QFile::encodeName(QFileInfo(m_path).absolutePath());
        if (const int dfd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dfd >= 0) {
            ::fsync(dfd);
            ::close(dfd);
        }
        close();
        m_fd = fd;
        m_size = std::uint64_t(out.size());
        ::lseek(m_fd, off_t(m_size), SEEK_SET);
        m_entriesSinceCompact = entries;
        for (auto& [seq, h] : m_unconfirmed)
            if (!h.written) h.written = true;
        m_unwritten = 0;
        return true;
    }
    if (error) *error = QStringLiteral("cannot compact the outbox %1: %2").arg(m_path, sysError(err));
    return false;
}

} // namespace hub
