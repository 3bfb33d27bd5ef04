// The outbox journal: numbering across restarts, what survives a kill at any
// byte, compaction, and a full disk.
#include "filelimit.h"
#include "uplink/outbox.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstring>
#include <limits>
#include <gtest/gtest.h>

namespace {

QByteArray payloadFor(std::uint64_t seq) { return "{\"seq\":" + QByteArray::number(qulonglong(seq)) + "}"; }

std::uint64_t add(hub::Outbox& o, QString* error = nullptr) {
    QString e;
    const auto seq = o.append(payloadFor, error ? error : &e);
    return seq;
}

std::vector<std::uint64_t> seqs(const std::vector<hub::OutboxEvent>& v) {
    std::vector<std::uint64_t> r;
    for (const auto& e : v) {
        EXPECT_EQ(e.payload, payloadFor(e.seq));
        r.push_back(e.seq);
    }
    return r;
}

struct Journal {
    QTemporaryDir dir;
    QString path() const { return dir.filePath("North.outbox"); }
    QByteArray bytes() const {
        QFile f(path());
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }
    void write(const QByteArray& b) const {
        QFile f(path());
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(b);
    }
};

TEST(Outbox, NumbersContinueAcrossReopeningAndOnlyConfirmedEventsLeave) {
    Journal j;
    {
        hub::Outbox o;
        QString error;
        ASSERT_TRUE(o.open(j.path(), &error)) << error.toStdString();
        for (int i = 0; i < 5; ++i) EXPECT_EQ(add(o), std::uint64_t(i + 1));
        o.confirm(2, &error);
        o.confirm(4, &error);
        o.confirm(4, &error); // twice: no harm
        o.confirm(99, &error); // never given: ignored
    }
    hub::Outbox o;
    QString error;
    ASSERT_TRUE(o.open(j.path(), &error));
    EXPECT_TRUE(o.note().isEmpty());
    EXPECT_EQ(seqs(o.unconfirmed()), (std::vector<std::uint64_t>{1, 3, 5}));
    EXPECT_EQ(o.nextSeq(), 6u);
    EXPECT_EQ(seqs(o.from(3)), (std::vector<std::uint64_t>{3, 4, 5}));
    EXPECT_EQ(add(o), 6u);
}

// A kill or a power cut in the middle of an append leaves part of the last
// entry, or damaged bytes; every whole entry before it must still be read,
// and what is appended afterwards must be read too.
struct TornCase {
    const char* name;
    int cut;       // bytes removed from the end (0: none)
    int flipFromEnd; // a byte flipped this far from the end (0: none)
    const char* garbage; // bytes added at the end
    int garbageSize;
};

class OutboxTornTail : public ::testing::TestWithParam<TornCase> {};

TEST_P(OutboxTornTail, WholeEntriesSurviveAndLaterAppendsAreReadable) {
    const TornCase& c = GetParam();
    Journal j;
    {
        hub::Outbox o;
        QString error;
        ASSERT_TRUE(o.open(j.path(), &error));
        for (int i = 0; i < 3; ++i) add(o);
        o.confirm(1, &error);
        add(o);
    }
    QByteArray b = j.bytes();
    b.chop(c.cut);
    if (c.flipFromEnd) b[b.size() - c.flipFromEnd] = char(b[b.size() - c.flipFromEnd] ^ 0x40);
    b.append(c.garbage, c.garbageSize);
    j.write(b);

    hub::Outbox o;
    QString error;
    ASSERT_TRUE(o.open(j.path(), &error)) << error.toStdString();
    EXPECT_FALSE(o.note().isEmpty()) << c.name;
    // The last event (4) is the damaged one in every case but the garbage-only one.
    const std::vector<std::uint64_t> expect = c.garbageSize == 0
                                                  ? std::vector<std::uint64_t>{2, 3}
                                                  : std::vector<std::uint64_t>{2, 3, 4};
    EXPECT_EQ(seqs(o.unconfirmed()), expect) << c.name;
    const std::uint64_t next = add(o);
    EXPECT_EQ(next, expect.back() + 1) << c.name;

    hub::Outbox again;
    ASSERT_TRUE(again.open(j.path(), &error));
    EXPECT_TRUE(again.note().isEmpty()) << c.name;
    auto after = expect;
    after.push_back(next);
    EXPECT_EQ(seqs(again.unconfirmed()), after) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OutboxTornTail,
    ::testing::Values(TornCase{"last byte missing", 1, 0, "", 0}, TornCase{"most of the body missing", 15, 0, "", 0},
                      TornCase{"part of the header missing", 19, 0, "", 0}, TornCase{"payload byte damaged", 0, 2, "", 0},
                      TornCase{"checksum damaged", 0, 20, "", 0},
                      TornCase{"zeros after the last entry", 0, 0, "\0\0\0\0\0\0\0\0\0\0\0", 11},
                      TornCase{"a huge length after the last entry", 0, 0, "\xff\xff\xff\x7f\x01\x02\x03\x04\x05", 9}),
    [](const auto& info) {
        std::string n = info.param.name;
        for (char& ch : n)
            if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return n;
    });

// Journals already on disk carry CRC-32 (IEEE) checksums: every length, both
// sides of the eight-byte steps, gives the standard values.
TEST(Outbox, TheChecksumIsTheStandardCrc32) {
    const struct {
        const char* text;
        std::uint32_t crc;
    } cases[] = {
        {"", 0x00000000u},
        {"12345678", 0x9AE0DAAFu},
        {"123456789", 0xCBF43926u},
        {"The quick brown fox jumps over the lazy dog", 0x414FA339u},
    };
    for (const auto& c : cases)
        EXPECT_EQ(hub::crc32(c.text, std::strlen(c.text)), c.crc) << '"' << c.text << '"';
}

TEST(Outbox, SomethingElseIsNotTakenForAJournalNorTouched) {
    Journal j;
    j.write("TIME,BARRIER\n1,2\n");
    hub::Outbox o;
    QString error;
    EXPECT_FALSE(o.open(j.path(), &error));
    EXPECT_TRUE(error.contains("not an outbox")) << error.toStdString();
    EXPECT_EQ(j.bytes(), QByteArray("TIME,BARRIER\n1,2\n"));
}

TEST(Outbox, CompactionShrinksTheFileKeepsTheNumberingTheUnconfirmedAndRecentHistory) {
    // Enough events that the journal is compacted along the way.
    constexpr std::uint64_t kEvents = hub::Outbox::kCompactEvery / 2 + 4000; // two entries an event
    Journal j;
    QString error;
    {
        hub::Outbox o;
        ASSERT_TRUE(o.open(j.path(), &error));
        for (std::uint64_t i = 1; i <= kEvents; ++i) {
            add(o);
            if (i != 17 && i != kEvents - 1) o.confirm(i, &error);
        }
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        // Uncompacted, an event and its confirmation take 47 bytes or more.
        EXPECT_LT(o.fileBytes(), kEvents * 47 / 2);
    }
    hub::Outbox o;
    ASSERT_TRUE(o.open(j.path(), &error));
    EXPECT_EQ(seqs(o.unconfirmed()), (std::vector<std::uint64_t>{17, kEvents - 1}));
    EXPECT_EQ(o.nextSeq(), kEvents + 1);
    // The newest confirmed events stay for resend requests, the oldest are gone.
    EXPECT_TRUE(o.payload(kEvents).has_value());
    EXPECT_TRUE(o.payload(kEvents - 999).has_value());
    EXPECT_FALSE(o.payload(16).has_value());
    EXPECT_EQ(o.from(kEvents - 2).size(), 3u);

    // Everything confirmed and compacted: the numbering still goes on.
    o.confirm(17, &error);
    o.confirm(kEvents - 1, &error);
    ASSERT_TRUE(o.compact(&error, true)) << error.toStdString();
    hub::Outbox again;
    ASSERT_TRUE(again.open(j.path(), &error));
    EXPECT_EQ(again.unconfirmedCount(), 0u);
    EXPECT_EQ(again.nextSeq(), kEvents + 1);
    EXPECT_FALSE(QFile::exists(j.path() + ".tmp"));
}

// The broker away for long leaves thousands of events unconfirmed: a new
// event must cost what it did with few (every append once walked them all).
TEST(Outbox, AppendsCostNoMoreWithManyEventsUnconfirmed) {
    Journal j;
    QString error;
    hub::Outbox o;
    ASSERT_TRUE(o.open(j.path(), &error));
    auto fastestOf3 = [&](int n) { // in memory, so that the disk does not blur the measure
        qint64 best = std::numeric_limits<qint64>::max();
        for (int k = 0; k < 3; ++k) {
            QElapsedTimer t;
            t.start();
            o.hold();
            for (int i = 0; i < n; ++i) add(o);
            o.release(&error);
            best = std::min(best, t.nsecsElapsed());
        }
        return best;
    };
    const qint64 few = fastestOf3(500);
    fastestOf3(7000);
    const qint64 many = fastestOf3(500);
    EXPECT_EQ(o.unconfirmedCount(), 24000u) << error.toStdString();
    EXPECT_LT(many, few * 8) << "500 appends: " << few / 1000 << " us with few unconfirmed, " << many / 1000 << " us";
}

TEST(Outbox, AFullDiskKeepsEventsInMemorySaysSoAndWritesThemInOrderWhenSpaceComesBack) {
    Journal j;
    QString error;
    hub::Outbox o;
    ASSERT_TRUE(o.open(j.path(), &error));
    add(o);
    const auto size = QFile(j.path()).size();
    {
        testtool::FileSizeLimit limit(rlim_t(size + 10)); // less than one entry
        QString e2, e3;
        EXPECT_EQ(o.append(payloadFor, &e2), 2u);
        EXPECT_EQ(o.append(payloadFor, &e3), 3u);
        EXPECT_FALSE(e2.isEmpty());
        EXPECT_FALSE(e3.isEmpty());
        EXPECT_EQ(o.unwrittenCount(), 2u);
        EXPECT_EQ(o.unconfirmedCount(), 3u);
        // Nothing half-written is left behind the last whole entry.
        EXPECT_EQ(QFile(j.path()).size(), size);
    }
    QString e4;
    EXPECT_EQ(o.append(payloadFor, &e4), 4u);
    EXPECT_TRUE(e4.isEmpty()) << e4.toStdString();
    EXPECT_EQ(o.unwrittenCount(), 0u);
    hub::Outbox again;
    ASSERT_TRUE(again.open(j.path(), &error));
    EXPECT_EQ(seqs(again.unconfirmed()), (std::vector<std::uint64_t>{1, 2, 3, 4}));
}

TEST(Outbox, HeldEntriesReachTheFileTogetherOrStayInMemoryAsUnwritten) {
    Journal j;
    QString error;
    hub::Outbox o;
    ASSERT_TRUE(o.open(j.path(), &error));
    add(o);
    const auto size = QFile(j.path()).size();
    o.hold();
    add(o);
    add(o);
    o.confirm(1, &error);
    EXPECT_EQ(QFile(j.path()).size(), size); // nothing written while held
    {
        testtool::FileSizeLimit limit(rlim_t(size + 30)); // room for one entry, not for all
        EXPECT_FALSE(o.release(&error));
        EXPECT_FALSE(error.isEmpty());
        EXPECT_EQ(QFile(j.path()).size(), size); // not a part of them either
        EXPECT_EQ(o.unwrittenCount(), 2u);
    }
    EXPECT_EQ(add(o), 4u);
    EXPECT_EQ(o.unwrittenCount(), 0u);
    hub::Outbox again;
    ASSERT_TRUE(again.open(j.path(), &error));
    // The lost confirmation of 1 only means it goes out once more.
    EXPECT_EQ(seqs(again.unconfirmed()), (std::vector<std::uint64_t>{1, 2, 3, 4}));
}

TEST(Outbox, ReadingArbitraryBytesNeverGoesBackwardsInNumbers) {
    // Entries built by hand: event 5, then event 3 (damage: numbers only grow).
    hub::Outbox o;
    Journal j;
    QString error;
    {
        ASSERT_TRUE(o.open(j.path(), &error));
        for (int i = 0; i < 5; ++i) add(o);
    }
    const QByteArray good = j.bytes();
    // The second entry again at the end: an older number after a newer one.
    const int entrySize = (good.size() - 8) / 5;
    const QByteArray dup = good.mid(8 + entrySize, entrySize);
    const hub::OutboxContents c = hub::readOutbox(good + dup);
    EXPECT_EQ(c.unconfirmed.size(), 5u);
    EXPECT_EQ(c.goodBytes, std::size_t(good.size()));
    EXPECT_EQ(c.nextSeq, 6u);
}

} // namespace
