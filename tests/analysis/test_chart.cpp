#include "activity_helpers.h"
#include "monitor/analysis/activitychart.h"

#include <QDir>
#include <QFont>
#include <QPainter>

using namespace hub;
using testrec::at;
using testrec::Recording;

namespace {
const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kMaroon = qRgb(128, 0, 0);
const QRgb kFuchsia = qRgb(255, 0, 255);
const QRgb kBlue = qRgb(0, 0, 255);
const QRgb kRed = qRgb(255, 0, 0);

QRgb px(const QImage& img, int x, int y) { return img.pixel(x, y); }

// y values in [from, to) of column x having colour c.
std::vector<int> rowsOf(const QImage& img, int x, QRgb c, int from = 0, int to = kChartHeight) {
    std::vector<int> ys;
    for (int y = from; y < to; ++y)
        if (px(img, x, y) == c) ys.push_back(y);
    return ys;
}

std::vector<int> range(int a, int b) {
    std::vector<int> v;
    for (int i = a; i < b; ++i) v.push_back(i);
    return v;
}

// Where a look at the pictures is wanted: the build folder when the tests run from ctest.
void keep(const QImage& img, const QString& name) {
    const QString dir = qEnvironmentVariable("HUB_BUILD_DIR");
    if (dir.isEmpty()) return;
    QDir().mkpath(dir + "/analysis-shots");
    img.save(dir + "/analysis-shots/" + name + ".png");
}

// A chart drawn from the given slot records (b1, b2, status), no recording needed.
QImage chartOf(const QTemporaryDir& dir, const std::vector<std::array<std::uint8_t, 3>>& columns, int couple,
               ChartMode mode = ChartMode::Day, ChartResult* result = nullptr) {
    QByteArray bytes;
    for (const auto& s : columns) {
        double t = 0;
        bytes.append(reinterpret_cast<const char*>(&t), 8);
        bytes.append(reinterpret_cast<const char*>(s.data()), 3);
    }
    const QString p = dir.filePath("slots.DMo");
    QFile f(p);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
    f.close();
    QImage img = newChartImage();
    const ChartResult r = drawActivityChart(img, p, couple, mode);
    EXPECT_TRUE(r.ok);
    if (result) *result = r;
    return img;
}
} // namespace

TEST(Chart, BeamRowsOfBothBarriers) {
    QTemporaryDir dir;
    // Column 0: beam 1 of the first barrier; column 1: beam 8 of the second.
    const QImage img = chartOf(dir, {{0x01, 0, 0}, {0, 0x80, 0}, {0x80, 0x01, 0}}, 1);
    keep(img, "beams");
    EXPECT_EQ(rowsOf(img, 50, kMaroon, 25, 380), range(358, 365));
    EXPECT_EQ(rowsOf(img, 51, kMaroon, 25, 380), range(196, 203));
    std::vector<int> both = range(183, 190);
    for (int y : range(371, 378)) both.push_back(y);
    EXPECT_EQ(rowsOf(img, 52, kMaroon, 25, 380), both);
}

TEST(Chart, StatusRows) {
    struct Case {
        const char* what;
        std::uint8_t status;
        QRgb colour;
        std::vector<int> ys;
    } cases[] = {
        {"0x81: upper Blind half (first barrier)", 0x81, kFuchsia, range(153, 160)},
        {"0x01: lower Blind half (second barrier)", 0x01, kFuchsia, range(166, 173)},
        {"0x80: Standby only", 0x80, kBlue, range(30, 45)},
        {"0x02: Alarm", 0x02, kRed, range(55, 70)},
        {"0x10: Failure", 0x10, kRed, range(80, 95)},
        {"0x60: both Tamper halves", 0x60, kRed, [] { auto v = range(103, 110); for (int y : range(116, 123)) v.push_back(y); return v; }()},
    };
    QTemporaryDir dir;
    for (const auto& c : cases) {
        const QImage img = chartOf(dir, {{0, 0, c.status}}, 1);
        // Every coloured pixel of the column is the expected one, across all rows.
        for (QRgb colour : {kFuchsia, kBlue, kRed, qRgb(128, 128, 0)})
            EXPECT_EQ(rowsOf(img, 50, colour, 25, 380), colour == c.colour ? c.ys : std::vector<int>{}) << c.what;
    }
}

TEST(Chart, CoupleBLabelsItsBarriers3And4) {
    QTemporaryDir dir;
    const QImage b = chartOf(dir, {}, 2);
    const QImage a = chartOf(dir, {}, 1);
    keep(b, "couple-b-empty");
    // The same text drawn alone with Arial 7 pt (9-pixel em) at the label's place.
    auto alone = [](const QString& s, int x, int y, QRgb c) {
        QImage img = newChartImage();
        QPainter p(&img);
        QFont f("Liberation Sans");
        f.setPixelSize(9);
        f.setStyleStrategy(QFont::NoAntialias);
        p.setFont(f);
        p.setPen(QColor::fromRgb(c));
        p.drawText(x, y + p.fontMetrics().ascent(), s);
        return img;
    };
    struct Case {
        QString text;
        int y;
        QRgb colour;
    } cases[] = {{"3", 101, kRed}, {"4", 113, kRed}, {"3", 25 * 14 + 6, kMaroon}, {"4", 25 * 14 + 18, kMaroon}};
    for (const auto& c : cases) {
        const QImage want = alone(c.text, 42, c.y, c.colour);
        int inked = 0, diffFromA = 0;
        for (int y = c.y; y < c.y + 11; ++y)
            for (int x = 42; x < 49; ++x) {
                EXPECT_EQ(px(b, x, y), px(want, x, y)) << c.text.toStdString() << " at " << x << "," << y;
                inked += px(b, x, y) == c.colour;
                diffFromA += px(b, x, y) != px(a, x, y);
            }
        EXPECT_GT(inked, 5) << c.text.toStdString();
        EXPECT_GT(diffFromA, 0) << c.text.toStdString();
    }
}

TEST(Chart, EndMarkerWhereTheDataStops) {
    struct Case {
        size_t records;
        int first; // first marker column, -1 for none
    } cases[] = {{361, 414}, {1, 54}, {0, 53}, {718, 771}, {719, -1}, {720, -1}, {1000, -1}};
    QTemporaryDir dir;
    for (const auto& c : cases) {
        ChartResult r;
        const QImage img = chartOf(dir, std::vector<std::array<std::uint8_t, 3>>(c.records, {0, 0, 0}), 1,
                                   ChartMode::Day, &r);
        if (c.records == 361) keep(img, "end-marker-361");
        EXPECT_EQ(r.endMarker, c.first >= 0) << c.records;
        // y = 40 is white in every empty column; y = 24 is above the marker.
        for (int x = 60; x < kChartWidth - 2; ++x) {
            const bool marker = c.first >= 0 && x >= c.first && x < c.first + 6;
            if (x == 770) continue; // the grid's right edge
            EXPECT_EQ(px(img, x, 40), marker ? kBlack : kWhite) << c.records << " x=" << x;
            if (marker) {
                EXPECT_EQ(rowsOf(img, x, kBlack, 25, 380).size(), 355u) << c.records << " x=" << x;
            }
        }
    }
}

TEST(Chart, RedrawStartsFromWhite) {
    QTemporaryDir dir;
    QImage img = chartOf(dir, std::vector<std::array<std::uint8_t, 3>>(720, {0xFF, 0xFF, 0x02}), 1);
    keep(img, "all-set");
    EXPECT_EQ(px(img, 700, 60), kRed);
    const QString p = dir.filePath("slots.DMo");
    QFile f(p);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.close();
    ASSERT_TRUE(drawActivityChart(img, p, 1, ChartMode::Day).ok);
    EXPECT_EQ(px(img, 700, 60), kWhite);
    EXPECT_TRUE(rowsOf(img, 300, kMaroon, 182, 380).empty());
}

TEST(Chart, AxisTicksForDayAndHour) {
    QTemporaryDir dir;
    const QImage day = chartOf(dir, std::vector<std::array<std::uint8_t, 3>>(720, {0, 0, 0}), 1, ChartMode::Day);
    const QImage hour = chartOf(dir, std::vector<std::array<std::uint8_t, 3>>(720, {0, 0, 0}), 1, ChartMode::Hour);
    keep(hour, "hour-empty");
    for (int x = 51; x < 770; ++x) {
        EXPECT_EQ(px(day, x, 15) == kBlack, (x - 50) % 30 == 0) << "day x=" << x;
        EXPECT_EQ(px(hour, x, 15) == kBlack, (x - 50) % 12 == 0) << "hour x=" << x;
    }
}

TEST(Chart, MissingIntermediateFileIsReported) {
    QImage img = newChartImage();
    const ChartResult r = drawActivityChart(img, "/nonexistent/x.DMo", 1, ChartMode::Day);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.isEmpty());
}

TEST(Chart, DayChartOfARecordingEndToEnd) {
    QTemporaryDir dir;
    const QDate day(2026, 6, 12);
    Recording rec;
    rec.startEnd(at(2026, 6, 12, 5)).couple(at(2026, 6, 12, 6), 2, 0x01, 0x80, 0x02)
        .couple(at(2026, 6, 12, 7), 2, 0x0F, 0, 0x81).couple(at(2026, 6, 12, 8, 30), 2, 0, 0xF0, 0x01)
        .couple(at(2026, 6, 12, 10), 2, 0, 0, 0x80).couple(at(2026, 6, 12, 12), 2, 0, 0, 0);
    buildSlots(dir, rec, 2, dayRange(day));
    QImage img = newChartImage();
    const ChartResult r = drawActivityChart(img, activityPathFor(dir.filePath("rec.dat"), ChartMode::Day), 2,
                                            ChartMode::Day);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.records, 361);
    keep(img, "day-couple-b");
    EXPECT_EQ(px(img, 50 + 200, 60), kRed);     // alarm from 06:00 to 07:00
    EXPECT_EQ(px(img, 50 + 220, 155), kFuchsia); // 0x81 from 07:00
    EXPECT_EQ(px(img, 50 + 270, 168), kFuchsia); // 0x01 from 08:30
    EXPECT_EQ(px(img, 50 + 320, 35), kBlue);     // standby from 10:00
    EXPECT_EQ(px(img, 416, 40), kBlack);         // end marker
}
