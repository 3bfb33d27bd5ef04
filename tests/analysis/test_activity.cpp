#include "activity_helpers.h"

using namespace hub;
using testrec::at;
using testrec::Recording;

namespace {
const QDate kDay(2026, 6, 12);
constexpr double kSecond = 1.0 / 86400.0;

// Slot time k of a range, summed step by step as stored files have them.
double slotTime(const ActivityRange& r, int k) {
    double p = r.t0;
    for (int i = 0; i < k; ++i) p += r.step;
    return p;
}

int countWith(const std::vector<Slot>& v, size_t from, size_t to, std::uint8_t b1, std::uint8_t b2,
              std::uint8_t s) {
    int n = 0;
    for (size_t i = from; i < to && i < v.size(); ++i)
        if (v[i].b1 == b1 && v[i].b2 == b2 && v[i].status == s) ++n;
    return n;
}
} // namespace

TEST(ActivityRange, DayAndHourBounds) {
    const ActivityRange d = dayRange(kDay);
    EXPECT_DOUBLE_EQ(d.t0, at(2026, 6, 12));
    EXPECT_DOUBLE_EQ(d.t1, at(2026, 6, 13));
    EXPECT_EQ(d.step, 0.001389);
    const ActivityRange h = hourRange(kDay, 17);
    EXPECT_DOUBLE_EQ(h.t0, at(2026, 6, 12, 17));
    EXPECT_DOUBLE_EQ(h.t1, at(2026, 6, 12, 17, 59, 59));
    EXPECT_EQ(h.step, 0.000058);
    EXPECT_EQ(activityPathFor("/x/site.dat", ChartMode::Day), "/x/site.dat.DMo");
    EXPECT_EQ(activityPathFor("/x/site.dat", ChartMode::Hour), "/x/site.dat.HMo");
}

TEST(ActivityFile, DayFromAnEventAt0800ToTheNextDay) {
    QTemporaryDir dir;
    Recording rec;
    rec.startEnd(at(2026, 6, 12, 7)).couple(at(2026, 6, 12, 8), 1, 0, 0, CoupleStatus::Alarm)
        .couple(at(2026, 6, 13, 9), 1, 0, 0, 0).startEnd(at(2026, 6, 13, 10));
    const ActivityRange range = dayRange(kDay);
    ActivityResult r;
    const QByteArray bytes = buildSlots(dir, rec, 1, range, &r);
    ASSERT_EQ(bytes.size(), 720 * 11);
    EXPECT_TRUE(r.pastEnd);
    const auto v = parseSlots(bytes);
    EXPECT_EQ(countWith(v, 0, 240, 0, 0, 0), 240);
    EXPECT_EQ(countWith(v, 240, 720, 0, 0, CoupleStatus::Alarm), 480);
    // Slot times: the empty slots at T0 + k steps; the record after the loop one
    // step further, and the fill starting again at that same time.
    for (int k : {0, 1, 239}) EXPECT_EQ(v[k].time, slotTime(range, k)) << k;
    EXPECT_EQ(v[240].time, slotTime(range, 241));
    EXPECT_EQ(v[241].time, slotTime(range, 241));
    EXPECT_EQ(v[719].time, slotTime(range, 719));
    EXPECT_LT(v[719].time, range.t1);
}

TEST(ActivityFile, LastDayEndingAtNoonHolds361Records) {
    QTemporaryDir dir;
    Recording rec;
    rec.startEnd(at(2026, 6, 11, 20)).couple(at(2026, 6, 11, 21), 2, 0x01, 0, 0)
        .couple(at(2026, 6, 12, 6), 2, 0x03, 0x80, 0).couple(at(2026, 6, 12, 12), 2, 0, 0, 0);
    const auto v = parseSlots(buildSlots(dir, rec, 2, dayRange(kDay)));
    ASSERT_EQ(v.size(), 361u);
    // Before 06:00 the state in force at midnight, then the 06:00 state.
    EXPECT_EQ(countWith(v, 0, 180, 0x01, 0, 0), 180);
    EXPECT_EQ(countWith(v, 180, 360, 0x03, 0x80, 0), 180);
    // The last slot holds the noon event only (a slot with events starts empty).
    EXPECT_EQ(countWith(v, 360, 361, 0, 0, 0), 1);
}

TEST(ActivityFile, HourCases) {
    struct Case {
        const char* what;
        Recording rec;
        size_t records;
        std::uint8_t status; // of every record
    } cases[] = {
        {"an hour without events while the recording goes on",
         Recording().couple(at(2026, 6, 12, 9, 30), 1, 0, 0, 0x10).couple(at(2026, 6, 12, 11), 1, 0, 0, 0),
         719, 0x10},
        {"an hour after the last event: one record with the last state",
         Recording().couple(at(2026, 6, 12, 9, 30), 1, 0, 0, 0x04), 1, 0x04},
        {"an hour before the first event: empty records",
         Recording().couple(at(2026, 6, 12, 11, 0, 0), 1, 0, 0, 0x04), 719, 0},
        {"an event at h:59:59 is not shown",
         Recording().couple(at(2026, 6, 12, 10, 59, 59), 1, 0, 0, 0x04), 719, 0},
    };
    for (auto& c : cases) {
        QTemporaryDir dir;
        const auto v = parseSlots(buildSlots(dir, c.rec, 1, hourRange(kDay, 10)));
        EXPECT_EQ(v.size(), c.records) << c.what;
        EXPECT_EQ(countWith(v, 0, v.size(), 0, 0, c.status), static_cast<int>(c.records)) << c.what;
    }
}

TEST(ActivityFile, AnEventAfterTheLastHourSlotMakesA720thRecord) {
    QTemporaryDir dir;
    const ActivityRange range = hourRange(kDay, 10);
    // The last slot time below T1 is h:59:58.04; 58.5 s lies after it.
    Recording rec;
    rec.couple(at(2026, 6, 12, 10, 59, 58, 500), 1, 0, 0, CoupleStatus::Alarm)
        .couple(at(2026, 6, 12, 11, 30), 1, 0, 0, 0);
    const auto v = parseSlots(buildSlots(dir, rec, 1, range));
    ASSERT_EQ(v.size(), 720u);
    EXPECT_EQ(countWith(v, 0, 719, 0, 0, 0), 719);
    EXPECT_EQ(v[719].status, CoupleStatus::Alarm);
    EXPECT_EQ(v[718].time, slotTime(range, 718));
    EXPECT_NEAR((v[718].time - range.t0) / kSecond, 3598.04, 5e-3);
    EXPECT_EQ(v[719].time, slotTime(range, 720));
    EXPECT_GT(v[719].time, range.t1);
}

TEST(ActivityFile, SlotRules) {
    const ActivityRange day = dayRange(kDay);
    const double t0 = day.t0;
    QTemporaryDir dir;
    // An event at exactly 00:00:00 falls into the first record, together with
    // the state in force at midnight; earlier days only set that state.
    {
        Recording rec;
        rec.couple(t0 - 2, 1, 0x01, 0, 0).couple(t0 - 0.5, 1, 0x02, 0, 0).couple(t0, 1, 0x04, 0, 0)
            .couple(t0 + 0.25, 1, 0, 0, 0).couple(t0 + 3, 1, 0, 0, 0);
        const auto v = parseSlots(buildSlots(dir, rec, 1, day));
        ASSERT_EQ(v.size(), 720u);
        EXPECT_EQ(v[0].b1, 0x06);
        EXPECT_EQ(countWith(v, 1, 180, 0x04, 0, 0), 179);
        EXPECT_EQ(countWith(v, 180, 720, 0, 0, 0), 540);
    }
    // Alarm on then off within one slot marks the slot; later empty slots show off.
    {
        Recording rec;
        // Slot 360 takes the events after slot time 359 (0.498651) up to 0.50004.
        rec.couple(t0 + 0.4990, 1, 0, 0, 0x02).couple(t0 + 0.4995, 1, 0, 0, 0)
            .couple(t0 + 2, 1, 0, 0, 0);
        const auto v = parseSlots(buildSlots(dir, rec, 1, day));
        ASSERT_EQ(v.size(), 720u);
        EXPECT_EQ(countWith(v, 0, 360, 0, 0, 0), 360);
        EXPECT_EQ(v[360].status, 0x02);
        EXPECT_EQ(countWith(v, 361, 720, 0, 0, 0), 359);
    }
    // The couple's own three bytes; settings and unknown records are skipped
    // without stopping the scan.
    {
        Recording rec;
        StateRecord s{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
        rec.startEnd(t0 - 1).settings(t0 - 1, 0x02).header(55, t0 + 0.1).state(t0 + 0.5, s)
            .settings(t0 + 0.6, 0x41).startEnd(t0 + 0.7).couple(t0 + 1.5, 1, 0, 0, 0);
        for (int c = 1; c <= 4; ++c) {
            const auto v = parseSlots(buildSlots(dir, rec, c, day));
            ASSERT_EQ(v.size(), 720u) << c;
            EXPECT_EQ(countWith(v, 360, 720, s[3 * c - 3], s[3 * c - 2], s[3 * c - 1]), 360) << c;
        }
    }
}

// Days before 1900 are stored with the time of day counted away from zero; a
// damaged or mis-dated recording can hold them and must chart like any day.
TEST(ActivityFile, DaysBefore1900ChartLikeAnyOtherDay) {
    struct Case {
        QDate day;
        bool hour;
    } cases[] = {{QDate(1899, 12, 29), false}, {QDate(1899, 12, 29), true},
                 {QDate(1850, 3, 1), false},   {QDate(1850, 3, 1), true},
                 {QDate(1899, 12, 30), true}};
    auto events = [](const QDate& d) {
        Recording rec;
        auto t = [&](int h, int m) { return toTDateTime(d, QTime(h, m)); };
        rec.couple(t(6, 0), 1, 0x01, 0, 0).couple(t(10, 10), 1, 0x02, 0, CoupleStatus::Alarm)
            .couple(t(10, 40), 1, 0, 0, 0).couple(toTDateTime(d.addDays(1), QTime(1, 0)), 1, 0, 0, 0);
        return rec;
    };
    for (const auto& c : cases) {
        const std::string what = c.day.toString().toStdString() + (c.hour ? " hour" : " day");
        const ActivityRange old = c.hour ? hourRange(c.day, 10) : dayRange(c.day);
        const ActivityRange now = c.hour ? hourRange(kDay, 10) : dayRange(kDay);
        EXPECT_GT(old.t1, old.t0) << what;
        QTemporaryDir dir;
        const auto v = parseSlots(buildSlots(dir, events(c.day), 1, old));
        const auto w = parseSlots(buildSlots(dir, events(kDay), 1, now));
        ASSERT_EQ(v.size(), w.size()) << what;
        ASSERT_EQ(v.size(), c.hour ? 719u : 720u) << what;
        for (size_t i = 0; i < v.size(); ++i) {
            EXPECT_EQ(v[i].b1, w[i].b1) << what << " slot " << i;
            EXPECT_EQ(v[i].status, w[i].status) << what << " slot " << i;
        }
    }
}

TEST(ActivityFile, RebuildingTruncatesAndAnUnwritableFileIsReported) {
    QTemporaryDir dir;
    const QString dat = dir.filePath("rec.dat");
    ASSERT_TRUE(Recording().couple(at(2026, 6, 12, 12), 1, 0, 0, 2).save(dat));
    RecordFile f;
    ASSERT_TRUE(f.open(dat));
    const QString out = activityPathFor(dat, ChartMode::Day);
    ASSERT_TRUE(buildActivityFile(f, 1, dayRange(kDay), out).ok);
    EXPECT_EQ(QFileInfo(out).size(), 361 * 11);
    // The same open recording, another day: read again from its start.
    ActivityResult r = buildActivityFile(f, 1, dayRange(QDate(2026, 6, 13)), out);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(QFileInfo(out).size(), 11);
    r = buildActivityFile(f, 1, dayRange(kDay), dir.filePath("no/dir/x.DMo"));
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.isEmpty());
}

TEST(ActivityFile, Titles) {
    setRegionalFormats(QStringLiteral("dd/MM/yyyy"), QStringLiteral("HH.mm.ss"));
    EXPECT_EQ(dayTitle(kDay, 2), "Day : 12/06/2026  --  Couple : B");
    EXPECT_EQ(hourTitle(kDay, 7, 4), "Hour : 12/06/2026 7.00.00  --  Couple : D");
    resetRegionalFormats();
}
