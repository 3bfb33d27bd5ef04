#include "monitor/analysis/textexport.h"
#include "recording.h"

#include "filelimit.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace hub;
using testrec::at;
using testrec::Recording;

namespace {

QByteArray bytesOf(const ExportLine& l) { return QByteArray(reinterpret_cast<const char*>(l.data()), 227); }
QByteArray nul(int n) { return QByteArray(n, '\0'); }

class ExportTest : public ::testing::Test {
protected:
    void SetUp() override { setRegionalFormats(QStringLiteral("dd/MM/yyyy"), QStringLiteral("HH.mm.ss")); }
    void TearDown() override { resetRegionalFormats(); }
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    // Exports rec and returns the output bytes.
    QByteArray run(const Recording& rec, ExportResult* result = nullptr) {
        const QString in = path("rec.dat");
        EXPECT_TRUE(rec.save(in));
        const ExportResult r = exportRecording(in, exportPathFor(in));
        if (result) *result = r;
        return testrec::readAll(in + "-Exp.txt");
    }
    QTemporaryDir dir;
};

// A data line written out by hand from the column table: marks given as offsets.
QByteArray expectedLine(const QByteArray& time, std::initializer_list<int> marks) {
    QByteArray l(227, ' ');
    l[0] = '_';
    l.replace(1, time.size(), time);
    for (int tab : {25, 33, 41, 49, 65, 81, 97, 113, 129, 145, 161, 177, 193, 209, 225}) l[tab] = '\t';
    for (int f : {26, 34, 42})
        for (int i : {1, 3, 5}) l[f + i] = '|';
    for (int f = 50; f < 226; f += 16)
        for (int i = 1; i <= 13; i += 2) l[f + i] = '|';
    l[226] = '\r';
    for (int m : marks) l[m] = '\x95';
    return l;
}

} // namespace

TEST(ExportHeader, LinesByteForByte) {
    QByteArray h1 = "_Data - Time\t" + nul(13) + "ALLARM\t" + nul(1) + "FAILURE\t" + "STANDBY\t" +
                    "TAMPER\t" + nul(9) + "DISQU.\t" + nul(9) + "BLIND\t" + nul(10);
    for (int n = 1; n <= 8; ++n) h1 += "BAR \"" + QByteArray::number(n) + "\"\t" + nul(8);
    h1 += '\r';
    QByteArray h2 = "\t" + nul(25) + "A|B|C|D\tA|B|C|D\tA|B|C|D\t";
    for (int i = 0; i < 11; ++i) h2 += "1|2|3|4|5|6|7|8\t";
    h2 += '\r';
    ASSERT_EQ(h1.size(), 227);
    ASSERT_EQ(h2.size(), 227);
    EXPECT_EQ(bytesOf(exportHeaderLine1()), h1);
    EXPECT_EQ(bytesOf(exportHeaderLine2()), h2);
}

TEST(ExportLine, MarksFollowTheColumnTable) {
    struct Case {
        const char* what;
        StateRecord s;
        std::initializer_list<int> marks;
    } cases[] = {
        {"all zero: separators only", {}, {}},
        {"couple A 0x81: second barrier's BLIND only", {0, 0, 0x81}, {84}},
        {"couple A 0x80: STANDBY only", {0, 0, 0x80}, {42}},
        {"couple A 0x01: first barrier's BLIND only", {0, 0, 0x01}, {82}},
        {"couple B alarm and failure", {0, 0, 0, 0, 0, 0x12}, {28, 36}},
        {"couple C tampers and disqualifies", {0, 0, 0, 0, 0, 0, 0, 0, 0x6C}, {58, 60, 74, 76}},
        {"couple D all of it",
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF},
         {32, 40, 62, 64, 78, 80, 96}},
        {"barrier 3 byte 0x81: beams 1 and 8 of BAR 3", {0, 0, 0, 0x81}, {130, 144}},
        {"barrier 8 beam 2, barrier 1 beam 4", {0x08, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x02, 0}, {104, 212}},
    };
    const QByteArray time = "12/06/2026 14.05.09";
    for (const auto& c : cases) {
        ExportLine line;
        buildExportLine(c.s, time, line.data());
        EXPECT_EQ(bytesOf(line), expectedLine(time, c.marks)) << c.what;
        EXPECT_FALSE(bytesOf(line).contains('\0')) << c.what;
    }
}

TEST_F(ExportTest, WholeFileSkipsSettingsAndStopsAtTheEndRecord) {
    Recording rec;
    rec.startEnd(at(2026, 6, 12, 14, 5, 0))
        .settings(at(2026, 6, 12, 14, 5, 0), 0x41) // SW: 9-byte block
        .couple(at(2026, 6, 12, 14, 5, 9), 1, 0, 0, 0x02)
        .settings(at(2026, 6, 12, 14, 6, 0), 0x02) // TC: 70-byte block
        .couple(at(2026, 6, 13), 2, 0x81, 0, 0)
        .startEnd(at(2026, 6, 13, 1))
        .couple(at(2026, 6, 13, 2), 1, 0xFF, 0xFF, 0xFF); // after the end: not exported
    ExportResult r;
    const QByteArray out = run(rec, &r);
    EXPECT_EQ(r.status, ExportStatus::Done);
    EXPECT_EQ(r.lines, 2);
    ASSERT_EQ(out.size(), 454 + 2 * 227);
    EXPECT_EQ(out.left(227), bytesOf(exportHeaderLine1()));
    EXPECT_EQ(out.mid(227, 227), bytesOf(exportHeaderLine2()));
    EXPECT_EQ(out.mid(454, 227), expectedLine("12/06/2026 14.05.09", {26}));
    // Midnight shows the date alone.
    EXPECT_EQ(out.mid(681, 227), expectedLine("13/06/2026", {130, 144}));
    EXPECT_FALSE(out.contains('\n'));
}

TEST_F(ExportTest, FilesThatYieldOnlyTheHeaderLines) {
    struct Case {
        const char* what;
        Recording rec;
        ExportStatus status;
    } cases[] = {
        {"start and end records only", Recording().startEnd(1000.5).startEnd(1000.6), ExportStatus::Done},
        {"no start record", Recording().couple(1000.5, 1, 1, 1, 1).startEnd(1000.6), ExportStatus::NoStartRecord},
        {"empty file", Recording(), ExportStatus::TooShort},
        {"shorter than one record header", Recording().raw(QByteArray("\x64\0\0\0\0", 5)), ExportStatus::TooShort},
    };
    for (auto& c : cases) {
        ExportResult r;
        const QByteArray out = run(c.rec, &r);
        EXPECT_EQ(r.status, c.status) << c.what;
        EXPECT_EQ(out.size(), 454) << c.what;
        EXPECT_EQ(r.ok(), c.status != ExportStatus::TooShort) << c.what;
        EXPECT_EQ(exportMessage(r, "x.dat", "x.dat-Exp.txt", false).isEmpty(), r.ok()) << c.what;
    }
}

TEST_F(ExportTest, ACutOrUnknownRecordEndsTheExportKeepingEarlierLines) {
    const double t = at(2026, 6, 12, 9);
    struct Case {
        const char* what;
        QByteArray tail;
    } cases[] = {
        {"state record cut short", QByteArray("\x02", 1) + QByteArray(8, '\0') + QByteArray(5, '\x01')},
        {"settings record cut short", QByteArray("\x01", 1) + QByteArray(8, '\0') + QByteArray("\x02", 1) + QByteArray(30, '\0')},
        {"header cut short", QByteArray("\x02\0\0", 3)},
        {"unknown type", QByteArray("\x07", 1) + QByteArray(8, '\0') + QByteArray(21, '\x02')},
    };
    for (const auto& c : cases) {
        Recording rec;
        rec.startEnd(t).couple(t, 1, 1, 0, 0).couple(t + 0.1, 1, 2, 0, 0).raw(c.tail);
        ExportResult r;
        const QByteArray out = run(rec, &r);
        EXPECT_EQ(r.status, ExportStatus::Done) << c.what;
        EXPECT_EQ(out.size(), 454 + 2 * 227) << c.what;
    }
}

TEST_F(ExportTest, ExportingAgainOverwrites) {
    const double t = at(2026, 6, 12, 9);
    run(Recording().startEnd(t).couple(t, 1, 1, 0, 0).couple(t, 1, 2, 0, 0).couple(t, 1, 3, 0, 0));
    const QByteArray second = run(Recording().startEnd(t).couple(t, 1, 1, 0, 0));
    EXPECT_EQ(second.size(), 454 + 227);
}

TEST_F(ExportTest, InputOrOutputThatCannotBeUsedIsReported) {
    ExportResult r = exportRecording(path("missing.dat"), path("missing.dat-Exp.txt"));
    EXPECT_EQ(r.status, ExportStatus::CannotOpenInput);
    EXPECT_FALSE(r.ok());
    EXPECT_FALSE(QFile::exists(path("missing.dat-Exp.txt")));
    EXPECT_TRUE(exportMessage(r, "missing.dat", "o", false).contains("missing.dat"));

    ASSERT_TRUE(Recording().startEnd(1.0).save(path("a.dat")));
    r = exportRecording(path("a.dat"), path("no/such/dir/out.txt"));
    EXPECT_EQ(r.status, ExportStatus::CannotCreateOutput);
    EXPECT_FALSE(r.error.isEmpty());
    EXPECT_TRUE(exportMessage(r, "a.dat", "no/such/dir/out.txt", true).contains("no/such/dir/out.txt"));
}

TEST_F(ExportTest, AFullDiskIsNotReportedAsSuccess) {
    const double t = at(2026, 6, 12, 9);
    Recording rec;
    rec.startEnd(t);
    for (int i = 0; i < 3000; ++i) rec.couple(t + i * 1e-4, 1, static_cast<std::uint8_t>(i), 0, 0);
    ASSERT_TRUE(rec.save(path("big.dat")));
    // The disk fills after 100 kB of the 680 kB export.
    const int status = testtool::inChildWithFileLimit(100000, [&] {
        return static_cast<int>(exportRecording(path("big.dat"), path("big.dat-Exp.txt")).status);
    });
    EXPECT_EQ(status, static_cast<int>(ExportStatus::WriteFailed));
}

TEST_F(ExportTest, TimeTextsFollowEachSecondIncludingRounding) {
    // Records within one second share a text; the rounding to milliseconds that
    // decides the second must be the same as the regional text's.
    const double base = at(2026, 6, 12, 23, 59, 58);
    const double ms = 1.0 / 86400000.0;
    const double times[] = {base, base + 100 * ms, base + 999 * ms, base + 999.6 * ms, base + 1000 * ms,
                            base + 1999.4 * ms, base + 1999.6 * ms, at(2026, 6, 13), at(2026, 6, 13) + 0.4 * ms};
    Recording rec;
    rec.startEnd(base);
    for (double t : times) rec.couple(t, 1, 0, 0, 0);
    const QByteArray out = run(rec);
    ASSERT_EQ(out.size(), 454 + 227 * static_cast<int>(std::size(times)));
    for (size_t i = 0; i < std::size(times); ++i) {
        const QByteArray want = toWindows1252(dateTimeText(times[i])).left(24);
        EXPECT_EQ(out.mid(454 + 227 * static_cast<int>(i) + 1, want.size()), want) << i;
        EXPECT_EQ(out.mid(454 + 227 * static_cast<int>(i) + 1 + want.size(), 24 - want.size()),
                  QByteArray(24 - want.size(), ' '))
            << i;
    }
    EXPECT_EQ(out.mid(454 + 227 * 2 + 1, 19), "12/06/2026 23.59.58");
    EXPECT_EQ(out.mid(454 + 227 * 3 + 1, 19), "12/06/2026 23.59.59");
    // Rounding up to midnight stays on the last millisecond of the day.
    EXPECT_EQ(out.mid(454 + 227 * 6 + 1, 19), "12/06/2026 23.59.59");
    EXPECT_EQ(out.mid(454 + 227 * 7 + 1, 24), "13/06/2026              ");
}

TEST_F(ExportTest, LongRegionalTextsAreCutTo24Windows1252Bytes) {
    setRegionalFormats(QStringLiteral("dddd d MMMM yyyy"), QStringLiteral("HH:mm:ss"));
    const double t = at(2026, 6, 12, 14, 5, 9); // a Friday
    const QByteArray text = exportTimeText(t);
    EXPECT_EQ(text.size(), 24);
    EXPECT_EQ(text, toWindows1252(dateTimeText(t)).left(24));
    ExportLine line;
    buildExportLine(StateRecord{}, text, line.data());
    EXPECT_EQ(line[25], '\t');

    struct Case {
        QString in;
        QByteArray out;
    } cases[] = {
        {QStringLiteral("mercoled\u00EC"), "mercoled\xEC"},
        {QStringLiteral("\u20AC \u2022 \u0178"), "\x80 \x95 \x9F"},
        {QStringLiteral("9\u202F:\u3042"), "9 :?"},
        {QStringLiteral("\U0001F600x"), "?x"},
    };
    for (const auto& c : cases) EXPECT_EQ(toWindows1252(c.in), c.out) << c.in.toStdString();
}

TEST_F(ExportTest, EveryLongTimeFormatGivesTheRegionalText) {
    // The export formats time texts its own quick way where it can; whatever
    // the format, each line must still show the regional text.
    const char* formats[] = {"HH.mm.ss", "h:mm:ss AP", "hh:mm:ss ap", "H 'h' mm 'min' ss''", "HH:mm:ss.zzz",
                             "h.m.s a", "HH:mm"};
    Recording rec;
    const double day = at(2026, 6, 12);
    rec.startEnd(day);
    std::vector<double> times;
    for (int i = 0; i < 3000; ++i) times.push_back(day + (i * 28.8 + (i % 7) * 0.137) / 86400.0);
    for (double t : times) rec.couple(t, 1, 0, 0, 0);
    for (const char* f : formats) {
        setRegionalFormats(QStringLiteral("d/M/yy"), QString::fromLatin1(f));
        const QByteArray out = run(rec);
        ASSERT_EQ(out.size(), 454 + 227 * static_cast<int>(times.size())) << f;
        for (size_t i = 0; i < times.size(); ++i) {
            const QByteArray want = toWindows1252(dateTimeText(times[i])).left(24).leftJustified(24, ' ');
            ASSERT_EQ(out.mid(454 + 227 * static_cast<int>(i) + 1, 24), want) << f << " record " << i;
        }
    }
}
