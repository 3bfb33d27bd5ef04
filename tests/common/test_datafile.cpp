#include "common/tdatetime.h"
#include "monitor/datafile.h"

#include <QTemporaryDir>
#include <cmath>
#include <ctime>
#include <gtest/gtest.h>

using namespace hub;

TEST(TDateTime, EpochAndKnownDays) {
    struct Case {
        QDate date;
        QTime time;
        double value;
    } cases[] = {
        {QDate(1899, 12, 30), QTime(0, 0), 0.0},
        {QDate(1899, 12, 31), QTime(12, 0), 1.5},
        {QDate(2026, 6, 12), QTime(6, 0), 46185.25},
        {QDate(1899, 12, 29), QTime(6, 0), -1.25},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(toTDateTime(c.date, c.time), c.value) << c.date.toString().toStdString();
        const QDateTime back = fromTDateTime(c.value);
        EXPECT_EQ(back.date(), c.date);
        EXPECT_EQ(back.time(), c.time);
    }
    EXPECT_FALSE(fromTDateTime(std::nan("")).isValid());
    EXPECT_FALSE(fromTDateTime(1e300).isValid());
}

// The live link stamps records from the clock's milliseconds: the same bits as
// the stamp made from the date and time, on both sides of 1970 and 1899.
TEST(TDateTime, StampsFromMillisecondsEqualThoseFromDateAndTime) {
    const long long day = 86400000LL;
    const long long cases[] = {0, 1, day - 1, day, -1, -day, -day - 1, 1765000000123LL,
                               -2209161600000LL /* 30 Dec 1899 */, -2209161600000LL - 1, -2209161600000LL - day + 21600000,
                               253402300799999LL /* 9999-12-31 23:59:59.999 */};
    for (long long ms : cases) {
        const QDateTime t = QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
        EXPECT_EQ(tdateTimeOfLocalMs(ms), toTDateTime(t.date(), t.time())) << ms;
    }
    // And the clock's stamp is the local time's.
    const double before = toTDateTime(QDateTime::currentDateTime());
    const double now = nowTDateTime();
    const double after = toTDateTime(QDateTime::currentDateTime());
    EXPECT_LE(before, now);
    EXPECT_LE(now, after);
}

TEST(TDateTime, LinearDaysPutsEveryMomentInTimeOrder) {
    struct Case {
        QDate date;
        QTime time;
        double linear;
    } cases[] = {
        {QDate(1899, 12, 28), QTime(23, 0), -2.0 + 23.0 / 24},
        {QDate(1899, 12, 29), QTime(0, 0), -1.0},
        {QDate(1899, 12, 29), QTime(6, 0), -0.75},
        {QDate(1899, 12, 30), QTime(6, 0), 0.25},
        {QDate(2026, 6, 12), QTime(6, 0), 46185.25},
    };
    double previous = -1e9;
    for (const auto& c : cases) {
        const double linear = linearDays(toTDateTime(c.date, c.time));
        EXPECT_DOUBLE_EQ(linear, c.linear) << c.date.toString().toStdString();
        EXPECT_GT(linear, previous) << c.date.toString().toStdString();
        previous = linear;
    }
    // The negative encoding of a moment on the epoch day itself.
    EXPECT_DOUBLE_EQ(linearDays(-0.25), 0.25);
    // From zero on, bit for bit: recordings of real days keep their values.
    for (double v : {0.0, 1.5, 46185.123456789, 2958465.99999})
        EXPECT_EQ(linearDays(v), v);
    EXPECT_TRUE(std::isnan(linearDays(std::nan(""))));
}

TEST(TDateTime, MidnightShowsTheDateAlone) {
    setRegionalFormats(QStringLiteral("dd/MM/yyyy"), QStringLiteral("HH.mm.ss"));
    EXPECT_EQ(dateTimeText(toTDateTime(QDate(2026, 6, 12), QTime(0, 0))), "12/06/2026");
    EXPECT_EQ(dateTimeText(toTDateTime(QDate(2026, 6, 12), QTime(14, 5, 9))),
              "12/06/2026 14.05.09");
    // Milliseconds alone do not make it a time of day worth showing.
    EXPECT_EQ(dateTimeText(toTDateTime(QDate(2026, 6, 12), QTime(0, 0, 0, 400))), "12/06/2026");
    resetRegionalFormats();
}

// The change list makes its texts once per second; whatever the order of the
// stamps (back and forth across seconds, days, stamps that are no dates), each
// text must be the one dateTimeText gives for that stamp.
TEST(TDateTime, TextsMadeOncePerSecondAreEachStampsOwnText) {
    const double ms = 1.0 / 86400000.0;
    const double day = toTDateTime(QDate(2026, 3, 29), QTime(0, 0));
    const double stamps[] = {day + 2.5 / 24, day + 2.5 / 24 + 400 * ms, day + 2.5 / 24 + 999.6 * ms, std::nan(""),
                             day + 2.5 / 24, day + 1 - 0.4 * ms, day + 1, day + 1 + 999 * ms, 1e300,
                             day + 2.5 / 24 - 1, day - 700000.0, -1.25, day + 1 + 999 * ms};
    for (const char* longTime : {"HH:mm:ss", "HH:mm:ss.zzz", "h:mm AP"}) {
        setRegionalFormats(QStringLiteral("dd/MM/yyyy"), QString::fromLatin1(longTime));
        DateTimeTexts texts;
        for (double v : stamps) {
            EXPECT_EQ(texts.text(v), dateTimeText(v)) << longTime << " " << v;
            EXPECT_EQ(texts.utf8(v), dateTimeText(v).toUtf8()) << longTime << " " << v;
        }
    }
    // 02:30 of the day the clocks skip it in Rome is what was stored there.
    const QByteArray tz = qgetenv("TZ");
    qputenv("TZ", "Europe/Rome");
    ::tzset();
    setRegionalFormats(QStringLiteral("dd/MM/yyyy"), QStringLiteral("HH:mm:ss"));
    EXPECT_EQ(dateTimeText(day + 2.5 / 24), "29/03/2026 02:30:00");
    resetRegionalFormats();
    if (tz.isNull()) qunsetenv("TZ");
    else qputenv("TZ", tz);
    ::tzset();
}

TEST(DataFile, WriterBytesAndStrictReader) {
    QTemporaryDir dir;
    const QString path = dir.filePath("a.dat");
    DataFileWriter w;
    ASSERT_TRUE(w.create(path));
    std::array<std::uint8_t, kTcBlockSize> tc{};
    tc[0] = 0xC0;
    std::array<std::uint8_t, kSwBlockSize> sw{1, 2, 3, 4, 5, 6, 7, 8, 9};
    StateRecord s{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    ASSERT_TRUE(w.writeStartEnd(1.5));
    ASSERT_TRUE(w.writeSettings(1.5, 0x41, sw.data()));
    ASSERT_TRUE(w.writeSettings(1.5, 0x02, tc.data()));
    ASSERT_TRUE(w.writeState(2.0, s));
    ASSERT_TRUE(w.writeStartEnd(3.0));
    w.close();
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    ASSERT_EQ(bytes.size(), 9 + 19 + 80 + 21 + 9);
    EXPECT_EQ(static_cast<uint8_t>(bytes[0]), 100);
    EXPECT_EQ(static_cast<uint8_t>(bytes[9]), 1);
    EXPECT_EQ(static_cast<uint8_t>(bytes[18]), 0x41);
    EXPECT_EQ(static_cast<uint8_t>(bytes[28 + 9]), 0x02);
    // 1.5 as a little-endian double: 00 00 00 00 00 00 F8 3F
    EXPECT_EQ(bytes.mid(1, 8), QByteArray::fromHex("000000000000f83f"));

    DataFileReader r;
    ASSERT_TRUE(r.open(path));
    double start = 0;
    ASSERT_TRUE(r.readStart(start));
    EXPECT_EQ(start, 1.5);
    DataRecord rec;
    ASSERT_TRUE(r.next(rec));
    EXPECT_EQ(rec.blockLength, 9);
    ASSERT_TRUE(r.next(rec));
    EXPECT_EQ(rec.blockLength, 70);
    ASSERT_TRUE(r.next(rec));
    EXPECT_EQ(rec.state, s);
    EXPECT_FALSE(r.next(rec));
    EXPECT_EQ(r.stopReason(), StopReason::EndRecord);
}

TEST(DataFile, StopReasons) {
    QTemporaryDir dir;
    struct Case {
        const char* name;
        QByteArray tail;
        StopReason reason;
    } cases[] = {
        {"eof", QByteArray(), StopReason::EndOfFile},
        {"cut", QByteArray::fromHex("02000000000000f03f0102"), StopReason::CutShort},
        {"unknown", QByteArray::fromHex("07000000000000f03f"), StopReason::UnknownType},
        {"cut header", QByteArray::fromHex("0200"), StopReason::CutShort},
    };
    for (const auto& c : cases) {
        const QString path = dir.filePath(c.name);
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray::fromHex("64000000000000f03f") + c.tail);
        f.close();
        DataFileReader r;
        ASSERT_TRUE(r.open(path));
        double t;
        ASSERT_TRUE(r.readStart(t));
        DataRecord rec;
        EXPECT_FALSE(r.next(rec));
        EXPECT_EQ(r.stopReason(), c.reason) << c.name;
    }
    DataFileReader r;
    QString err;
    EXPECT_FALSE(r.open(dir.filePath("missing.dat"), &err));
    EXPECT_FALSE(err.isEmpty());
}
