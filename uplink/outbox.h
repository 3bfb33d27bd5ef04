#pragma once
// The site's outbox: every event, numbered, on disk before it is published, and
// kept until the broker has confirmed it. An append-only journal of entries
// (length, CRC-32, body), so a kill at any moment leaves a readable file: a
// torn last entry is dropped at the next open and nothing before it is lost.
// Compaction rewrites the file (temporary file, fsync, rename) once enough of
// it is confirmed history.
//
// File: "HUBOUTB1", then entries. Entry: u32 LE body length, u32 LE CRC-32 of
// the body, the body. Body: one type byte, u64 LE seq, then for an event its
// payload. Types: 1 event, 2 confirmed, 3 base (the next seq to give, written
// last by a compaction, so the numbering survives an empty journal).
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace hub {

std::uint32_t crc32(const char* data, std::size_t size);

struct OutboxEvent {
    std::uint64_t seq = 0;
    QByteArray payload;
};

// What a journal's bytes hold, read without touching any file (also the fuzz target's entry).
struct OutboxContents {
    bool validHeader = false;     // false: not a journal at all (and nothing else is read)
    std::uint64_t nextSeq = 1;    // the next number to give
    std::vector<OutboxEvent> unconfirmed; // ascending seq
    std::vector<OutboxEvent> confirmed;   // the confirmed history still held, ascending
    std::size_t goodBytes = 0;    // where the last whole entry ends
    std::size_t entries = 0;      // whole entries read
};
OutboxContents readOutbox(const QByteArray& bytes);

class Outbox {
public:
    static constexpr std::size_t kMaxPayload = 64 * 1024;
    // Confirmed events kept for "resend" requests, the newest ones.
    static constexpr std::size_t kKeepConfirmed = 1000;
    static constexpr std::size_t kCompactEvery = 16384; // entries written, at least

    Outbox() = default;
    ~Outbox();
    Outbox(const Outbox&) = delete;
    Outbox& operator=(const Outbox&) = delete;

    // Opens (creating if need be) and reads the journal. A torn tail is cut off
    // and said in note(); a file that is not a journal is an error (it is left alone).
    bool open(const QString& path, QString* error);
    bool isOpen() const { return m_fd >= 0; }
    QString path() const { return m_path; }
    QString note() const { return m_note; }

    std::uint64_t nextSeq() const { return m_nextSeq; }
    // Gives the next seq, builds the payload for it and writes the entry. When
    // the write fails (a full disk) the event is still kept, in memory, and
    // *error says why; later appends write the held-back ones first, in order.
    std::uint64_t append(const std::function<QByteArray(std::uint64_t seq)>& makePayload, QString* error);
    // The broker has it. Unknown or already confirmed numbers are ignored.
    void confirm(std::uint64_t seq, QString* error);

    std::size_t unconfirmedCount() const { return m_unconfirmed.size(); }
    std::size_t unwrittenCount() const { return m_unwritten; }
    std::vector<OutboxEvent> unconfirmed() const;
    // Every event held from seq on, confirmed history included, ascending.
    std::vector<OutboxEvent> from(std::uint64_t seq) const;
    std::optional<QByteArray> payload(std::uint64_t seq) const;

    // Between hold() and release() entries are gathered and then written with
    // one write(2): the events of one record together, and confirmations,
    // which may wait a little (a confirmation lost in a crash only means the
    // event is published once more). Nothing held may be published before
    // release() has written it; on failure the held events stay in memory as
    // unwritten, exactly as a failed append.
    void hold() { m_holding = true; }
    bool release(QString* error);
    bool holding() const { return m_holding; }

    // Rewrites the journal with what is still needed, when confirmed history
    // makes up most of it (or always, with force).
    bool compact(QString* error, bool force = false);
    std::uint64_t fileBytes() const { return m_size; }

private:
    struct Held {
        QByteArray payload;
        bool written = true;
    };
    bool writeEntry(std::uint8_t type, std::uint64_t seq, const QByteArray& payload, QString* error);
    bool flushUnwritten(QString* error);
    void close();

    QString m_path;
    QString m_note;
    int m_fd = -1;
    std::uint64_t m_size = 0;
    std::uint64_t m_nextSeq = 1;
    std::map<std::uint64_t, Held> m_unconfirmed;
    std::deque<OutboxEvent> m_confirmed;
    std::size_t m_unwritten = 0;
    std::size_t m_entriesSinceCompact = 0;
    bool m_holding = false;
    QByteArray m_held;
    std::vector<std::uint64_t> m_heldEvents;
    std::size_t m_heldEntries = 0;
};

} // namespace hub
