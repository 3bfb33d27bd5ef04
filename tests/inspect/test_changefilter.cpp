#include "recording.h"
#include "monitor/datafile.h"
#include "monitor/display/changefilter.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace hub;
using testrec::coupleRecord;
using testrec::Recording;

namespace {

enum class Elem { First, Second, Letter, BeamRow };

// The monitor's barrier code for an element of couple c (0..3).
int codeOf(Elem e, int c) {
    switch (e) {
    case Elem::First: return 2 * c + 1;
    case Elem::Second: return 2 * c + 2;
    case Elem::Letter: return 11 + c;
    case Elem::BeamRow: return 100 * (c + 1);
    }
    return 0;
}

const char* nameOf(Elem e) {
    switch (e) {
    case Elem::First: return "first barrier";
    case Elem::Second: return "second barrier";
    case Elem::Letter: return "couple letter";
    case Elem::BeamRow: return "beam row";
    }
    return "?";
}

struct FilterCase {
    const char* what;
    Elem elem;
    int l;
    std::uint8_t f, e, s; // the clicked couple's bytes
    bool selected;
};

// Every row of the selection table, each with records that must and must not be listed.
const FilterCase kFilterCases[] = {
    {"first barrier number: own beam", Elem::First, 0, 0x01, 0, 0, true},
    {"first barrier number: alarm", Elem::First, 0, 0, 0, 0x02, true},
    {"first barrier number: failure", Elem::First, 0, 0, 0, 0x10, true},
    {"first barrier number: stand-by", Elem::First, 0, 0, 0, 0x80, true},
    {"first barrier number: own tamper", Elem::First, 0, 0, 0, 0x40, true},
    {"first barrier number: own disqualify", Elem::First, 0, 0, 0, 0x08, true},
    {"first barrier number: other's beam only", Elem::First, 0, 0, 0xFF, 0, false},
    {"first barrier number: other's tamper/disq/blind", Elem::First, 0, 0, 0, 0x25, false},
    {"first barrier number: quiet", Elem::First, 0, 0, 0, 0, false},
    {"second barrier number: own beam", Elem::Second, 0, 0, 0x80, 0, true},
    {"second barrier number: alarm", Elem::Second, 0, 0, 0, 0x02, true},
    {"second barrier number: failure", Elem::Second, 0, 0, 0, 0x10, true},
    {"second barrier number: stand-by", Elem::Second, 0, 0, 0, 0x80, true},
    {"second barrier number: own tamper", Elem::Second, 0, 0, 0, 0x20, true},
    {"second barrier number: own disqualify", Elem::Second, 0, 0, 0, 0x04, true},
    {"second barrier number: blind without 0x80", Elem::Second, 0, 0, 0, 0x01, true},
    {"second barrier number: other's beam only", Elem::Second, 0, 0xFF, 0, 0, false},
    {"second barrier number: other's tamper/disq", Elem::Second, 0, 0, 0, 0x48, false},
    {"couple letter: beams on both", Elem::Letter, 0, 0x01, 0x10, 0, true},
    {"couple letter: beam on first only", Elem::Letter, 0, 0xFF, 0, 0, false},
    {"couple letter: beam on second only", Elem::Letter, 0, 0, 0xFF, 0, false},
    {"couple letter: any status bit", Elem::Letter, 0, 0, 0, 0x01, true},
    {"couple letter: quiet", Elem::Letter, 0, 0, 0, 0, false},
    {"beam LED 3 of first barrier: set", Elem::First, 3, 0x04, 0, 0, true},
    {"beam LED 3 of first barrier: on the other barrier", Elem::First, 3, 0xFB, 0x04, 0xFF, false},
    {"beam LED 8 of second barrier: set", Elem::Second, 8, 0, 0x80, 0, true},
    {"beam LED 8 of second barrier: on the other barrier", Elem::Second, 8, 0x80, 0x7F, 0, false},
    {"beam indicator 2: both barriers", Elem::BeamRow, 2, 0x02, 0x02, 0, true},
    {"beam indicator 2: first only", Elem::BeamRow, 2, 0x02, 0xFD, 0xFF, false},
    {"beam indicator 2: second only", Elem::BeamRow, 2, 0xFD, 0x02, 0, false},
    {"alarm LED, first", Elem::First, 9, 0, 0, 0x02, true},
    {"alarm LED, second", Elem::Second, 9, 0, 0, 0x02, true},
    {"alarm LED, no alarm", Elem::First, 9, 0xFF, 0xFF, 0xFD, false},
    {"tamper LED, first: 0x40", Elem::First, 10, 0, 0, 0x40, true},
    {"tamper LED, first: 0x20 is the other's", Elem::First, 10, 0, 0, 0x20, false},
    {"tamper LED, second: 0x20", Elem::Second, 10, 0, 0, 0x20, true},
    {"tamper LED, second: 0x40 is the other's", Elem::Second, 10, 0, 0, 0x40, false},
    {"failure LED", Elem::Second, 11, 0, 0, 0x10, true},
    {"failure LED, none", Elem::First, 11, 0, 0, 0xEF, false},
    {"disqualify LED, first: 0x08", Elem::First, 12, 0, 0, 0x08, true},
    {"disqualify LED, first: 0x04 is the other's", Elem::First, 12, 0, 0, 0x04, false},
    {"disqualify LED, second: 0x04", Elem::Second, 12, 0, 0, 0x04, true},
    {"disqualify LED, second: 0x08 is the other's", Elem::Second, 12, 0, 0, 0x08, false},
    {"stand-by LED", Elem::First, 13, 0, 0, 0x80, true},
    {"stand-by LED, none", Elem::Second, 13, 0, 0, 0x7F, false},
    {"blind LED, first: 0x81", Elem::First, 14, 0, 0, 0x81, true},
    {"blind LED, first: 0x01 is the other's", Elem::First, 14, 0, 0, 0x01, false},
    {"blind LED, first: 0x80 alone", Elem::First, 14, 0, 0, 0x80, false},
    {"blind LED, second: 0x01", Elem::Second, 14, 0, 0, 0x01, true},
    {"blind LED, second: 0x81 is the other's", Elem::Second, 14, 0, 0, 0x81, false},
    // Combinations the table does not name list every record, even a quiet one.
    {"beam number on a couple letter", Elem::Letter, 3, 0, 0, 0, true},
    {"no beam on a beam row", Elem::BeamRow, 0, 0, 0, 0, true},
    {"tamper on a couple letter", Elem::Letter, 10, 0, 0, 0, true},
    {"LED code out of range", Elem::First, 15, 0, 0, 0, true},
};

} // namespace

TEST(ChangeFilter, EveryRowOfTheTableForBothBarriersOfEveryCouple) {
    for (const FilterCase& fc : kFilterCases) {
        for (int c = 0; c < 4; ++c) {
            const int b = codeOf(fc.elem, c);
            // The other couples carry every bit: the zeroing must hide them.
            const StateRecord rec = coupleRecord(c, fc.f, fc.e, fc.s, 0xFF);
            const StateRecord kept = keepCoupleOf(b, rec);
            EXPECT_EQ(selectsRecord(fc.l, b, kept), fc.selected)
                << fc.what << " (" << nameOf(fc.elem) << ", couple " << char('A' + c)
                << ", B=" << b << ", L=" << fc.l << ")";
        }
    }
}

TEST(ChangeFilter, CodesNamingNoCoupleKeepTheWholeRecordAndListEverything) {
    const StateRecord rec = coupleRecord(2, 1, 2, 3, 0x44);
    for (int b : {0, 9, 10, 15, 99, 500, -1}) {
        EXPECT_EQ(coupleOfBarrierCode(b), -1) << b;
        EXPECT_EQ(keepCoupleOf(b, rec), rec) << b;
        EXPECT_TRUE(selectsRecord(0, b, StateRecord{})) << b;
        EXPECT_TRUE(selectsRecord(9, b, StateRecord{})) << b;
    }
}

TEST(ChangeFilter, ZeroingKeepsOnlyTheClickedCouple) {
    StateRecord rec;
    for (int i = 0; i < 12; ++i) rec[i] = static_cast<std::uint8_t>(i + 1);
    struct Case {
        int b;
        int couple;
    } cases[] = {{1, 0}, {2, 0}, {11, 0}, {100, 0}, {3, 1}, {4, 1}, {12, 1}, {200, 1},
                 {5, 2}, {6, 2}, {13, 2}, {300, 2}, {7, 3}, {8, 3}, {14, 3}, {400, 3}};
    for (const Case& c : cases) {
        const StateRecord kept = keepCoupleOf(c.b, rec);
        for (int i = 0; i < 12; ++i)
            EXPECT_EQ(kept[i], i / 3 == c.couple ? rec[i] : 0) << "B=" << c.b << " byte " << i;
    }
}

TEST(ChangeFilter, MarksComeFromTheKeptBytesOnly) {
    // Couple C clicked; couples A, B and D are full of bits that must not show.
    const StateRecord rec = coupleRecord(2, 0x01, 0x82, 0x22, 0xFF);
    const std::uint16_t m = changeMarks(keepCoupleOf(13, rec));
    // Beams 1, 2 (first/second barrier), 8 (second), then Alarm and Tamper.
    EXPECT_EQ(m, 0x01 | 0x02 | 0x80 | (1u << 8) | (1u << 9));

    struct Case {
        std::uint8_t status;
        int column; // 10..15
    } cases[] = {{0x02, 10}, {0x40, 11}, {0x20, 11}, {0x10, 12},
                 {0x08, 13}, {0x04, 13}, {0x80, 14}, {0x01, 15}};
    for (const Case& c : cases) {
        const std::uint16_t mk = changeMarks(coupleRecord(1, 0, 0, c.status));
        EXPECT_EQ(mk, 1u << (c.column - 2)) << "status " << int(c.status);
    }
}

namespace {
double at(int h, int m, int s) { return toTDateTime(QDate(2026, 3, 14), QTime(h, m, s)); }

struct ListFixture : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        setRegionalFormats(QStringLiteral("dd/MM/yyyy"), QStringLiteral("HH:mm:ss"));
    }
    void TearDown() override { resetRegionalFormats(); }
    QString path(const char* name) { return dir.filePath(QString::fromLatin1(name)); }
    ChangeList load(const Recording& d, int b, int l) {
        const QString p = path("x.dat");
        EXPECT_TRUE(d.save(p));
        ChangeList list;
        QString err;
        EXPECT_TRUE(list.load(p, b, l, &err)) << err.toStdString();
        return list;
    }
    QTemporaryDir dir;
};

QStringList rowTexts(const ChangeList& list, int row) {
    QStringList cells;
    for (int c = 0; c < kChangeListColumns; ++c) cells << list.cellText(row, c);
    return cells;
}
} // namespace

TEST_F(ListFixture, TamperLedOfBarrier4ListsCoupleBWithTheSecondTamperBit) {
    Recording d;
    d.startEnd(at(8, 0, 0));
    d.settings(at(8, 0, 1), 0x41, 0x02); // SW block: nine bytes
    d.state(at(8, 0, 2), coupleRecord(1, 0, 0, 0x20, 0x20)); // listed
    d.state(at(8, 0, 3), coupleRecord(1, 0, 0, 0x40, 0x20)); // first barrier's tamper
    d.state(at(8, 0, 4), coupleRecord(1, 0x03, 0, 0x61));    // listed, with more marks
    d.state(at(8, 0, 5), coupleRecord(0, 0, 0, 0x20));       // couple A only
    d.startEnd(at(9, 0, 0));
    const ChangeList list = load(d, 4, 10);
    ASSERT_EQ(list.rows().size(), 2u);
    EXPECT_EQ(list.end(), ChangeListEnd::EndRecord);
    const QString m = QStringLiteral(" \u2022");
    EXPECT_EQ(rowTexts(list, 0), (QStringList{"14/03/2026 08:00:02", " 4", "", "", "", "", "", "",
                                              "", "", "", m, "", "", "", ""}));
    EXPECT_EQ(rowTexts(list, 1), (QStringList{"14/03/2026 08:00:04", " 4", m, m, "", "", "", "",
                                              "", "", "", m, "", "", "", m}));
}

TEST_F(ListFixture, CoupleLetterCNeedsBothBarriersOrAStatus) {
    Recording d;
    d.startEnd(at(8, 0, 0));
    d.state(at(8, 1, 0), coupleRecord(2, 0x01, 0x01, 0x00, 0xFF)); // both barriers: listed
    d.state(at(8, 2, 0), coupleRecord(2, 0x01, 0x00, 0x00, 0xFF)); // one barrier only
    d.state(at(8, 3, 0), coupleRecord(2, 0x00, 0x00, 0x04));       // status: listed
    const ChangeList list = load(d, 13, 0);
    ASSERT_EQ(list.rows().size(), 2u);
    EXPECT_EQ(list.cellText(0, 1), " C");
    EXPECT_EQ(list.cellText(1, 1), " C");
    EXPECT_EQ(list.cellText(0, 0), "14/03/2026 08:01:00");
    EXPECT_EQ(list.cellText(1, 0), "14/03/2026 08:03:00");
    EXPECT_EQ(list.cellText(1, 13), " \u2022"); // D
    EXPECT_EQ(list.end(), ChangeListEnd::EndOfFile);
}

TEST_F(ListFixture, BeamIndicator302NeedsBeam2OnBothBarriersOfCoupleC) {
    Recording d;
    d.startEnd(at(8, 0, 0));
    d.state(at(8, 1, 0), coupleRecord(2, 0x02, 0x02, 0x00));
    d.state(at(8, 2, 0), coupleRecord(2, 0x02, 0x01, 0x00));
    d.state(at(8, 3, 0), coupleRecord(2, 0x03, 0x06, 0x00));
    d.state(at(8, 4, 0), coupleRecord(1, 0x02, 0x02, 0x00)); // couple B
    const ChangeList list = load(d, 300, 2);
    ASSERT_EQ(list.rows().size(), 2u);
    EXPECT_EQ(list.cellText(0, 1), " C");
    EXPECT_EQ(list.cellText(1, 0), "14/03/2026 08:03:00");
    // Beams 1, 2 and 3 are marked: the marks take both barriers of the couple.
    EXPECT_EQ(list.cellText(1, 2), " \u2022");
    EXPECT_EQ(list.cellText(1, 3), " \u2022");
    EXPECT_EQ(list.cellText(1, 4), " \u2022");
    EXPECT_EQ(list.cellText(1, 5), "");
}

TEST_F(ListFixture, HowTheScanEnds) {
    const StateRecord on = coupleRecord(0, 1, 0, 0);
    struct Case {
        const char* what;
        Recording file;
        size_t rows;
        ChangeListEnd end;
    };
    std::vector<Case> cases;
    {
        Recording d;
        d.startEnd(1.0);
        cases.push_back({"only the start record", d, 0, ChangeListEnd::EndOfFile});
    }
    {
        Recording d;
        d.startEnd(1.0).state(1.1, on).state(1.2, on);
        d.bytes.chop(3);
        cases.push_back({"last state record cut short", d, 1, ChangeListEnd::EndOfFile});
    }
    {
        Recording d;
        d.startEnd(1.0).state(1.1, on).settings(1.2, 0x02, 0x02);
        d.bytes.chop(1);
        cases.push_back({"settings record cut short", d, 1, ChangeListEnd::EndOfFile});
    }
    {
        Recording d;
        d.startEnd(1.0).state(1.1, on).header(7, 1.2).state(1.3, on);
        cases.push_back({"record of another type", d, 1, ChangeListEnd::UnknownType});
    }
    {
        Recording d;
        d.startEnd(1.0).state(1.1, on).startEnd(1.2).state(1.3, on);
        cases.push_back({"end record", d, 1, ChangeListEnd::EndRecord});
    }
    {
        Recording d;
        d.state(1.0, on).state(1.1, on);
        cases.push_back({"no start record", d, 0, ChangeListEnd::NoStartRecord});
    }
    {
        Recording d;
        d.header(100, 1.0);
        d.bytes.chop(1);
        cases.push_back({"start record cut short", d, 0, ChangeListEnd::NoStartRecord});
    }
    {
        // A TC block is 70 bytes; its 0x02 bytes would read as state records
        // if fewer were skipped.
        Recording d;
        d.startEnd(1.0).settings(1.1, 0x02, 0x02).state(1.2, on).settings(1.3, 0xC3, 0x02);
        d.state(1.4, on);
        cases.push_back({"settings records of both kinds", d, 2, ChangeListEnd::EndOfFile});
    }
    for (const Case& c : cases) {
        const ChangeList list = load(c.file, 1, 0);
        EXPECT_EQ(list.rows().size(), c.rows) << c.what;
        EXPECT_EQ(list.end(), c.end) << c.what;
        ChangeListModel model;
        model.setList(list);
        // The grid always ends with one empty row.
        ASSERT_EQ(model.rowCount(), static_cast<int>(c.rows) + 1) << c.what;
        for (int col = 0; col < kChangeListColumns; ++col)
            EXPECT_EQ(model.data(model.index(model.rowCount() - 1, col)).toString(), "") << c.what;
    }
}

TEST_F(ListFixture, MidnightShowsTheDateAlone) {
    Recording d;
    d.startEnd(at(0, 0, 0));
    d.state(toTDateTime(QDate(2026, 3, 15), QTime(0, 0)), coupleRecord(0, 1, 0, 0));
    d.state(toTDateTime(QDate(2026, 3, 15), QTime(0, 0, 1)), coupleRecord(0, 3, 0, 0));
    const ChangeList list = load(d, 1, 1);
    ASSERT_EQ(list.rows().size(), 2u);
    EXPECT_EQ(list.cellText(0, 0), "15/03/2026");
    EXPECT_EQ(list.cellText(1, 0), "15/03/2026 00:00:01");
}

TEST_F(ListFixture, AFileThatCannotBeOpenedIsReported) {
    ChangeList list;
    QString err;
    const QString missing = path("missing.dat");
    EXPECT_FALSE(list.load(missing, 1, 0, &err));
    EXPECT_EQ(err, "Cannot open file " + missing);
    EXPECT_FALSE(list.load(dir.path(), 1, 0, &err)); // a folder
    EXPECT_EQ(err, "Cannot open file " + dir.path());
}

TEST_F(ListFixture, ReadsARecordingStillBeingWritten) {
    DataFileWriter w;
    const QString p = path("live.dat");
    ASSERT_TRUE(w.create(p));
    ASSERT_TRUE(w.writeStartEnd(at(10, 0, 0)));
    ASSERT_TRUE(w.writeState(at(10, 0, 1), coupleRecord(3, 0, 0, 0x02)));
    ChangeList list;
    ASSERT_TRUE(list.load(p, 8, 9));
    EXPECT_EQ(list.rows().size(), 1u);
    ASSERT_TRUE(w.writeState(at(10, 0, 2), coupleRecord(3, 0, 0, 0x12)));
    ASSERT_TRUE(list.load(p, 8, 9));
    ASSERT_EQ(list.rows().size(), 2u);
    EXPECT_EQ(list.cellText(1, 1), " 8");
    EXPECT_EQ(list.cellText(1, 12), " \u2022"); // F
    EXPECT_TRUE(w.isOpen());
}
