#include "monitor/analysis/activitychart.h"

#include "monitor/analysis/outputfile.h"

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <vector>

namespace hub {

namespace {

const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kAqua = qRgb(0, 255, 255);
const QRgb kBlue = qRgb(0, 0, 255);
const QRgb kRed = qRgb(255, 0, 0);
const QRgb kOlive = qRgb(128, 128, 0);
const QRgb kFuchsia = qRgb(255, 0, 255);
const QRgb kMaroon = qRgb(128, 0, 0);

constexpr int kPitch = 25;

// Lines as the chart has always drawn them: 1 pixel wide, the end point left out.
void vline(QImage& img, int x, int y0, int y1, QRgb c) {
    if (x < 0 || x >= img.width()) return;
    y0 = std::max(y0, 0);
    y1 = std::min(y1, img.height());
    for (int y = y0; y < y1; ++y) reinterpret_cast<QRgb*>(img.scanLine(y))[x] = c;
}

void hline(QImage& img, int x0, int x1, int y, QRgb c) {
    if (y < 0 || y >= img.height()) return;
    x0 = std::max(x0, 0);
    x1 = std::min(x1, img.width());
    QRgb* row = reinterpret_cast<QRgb*>(img.scanLine(y));
    for (int x = x0; x < x1; ++x) row[x] = c;
}

void fill(QImage& img, int x0, int y0, int x1, int y1, QRgb c) {
    for (int y = y0; y < y1; ++y) hline(img, x0, x1, y, c);
}

// Arial at the classic screen sizes: 8 pt is an 11-pixel em, 7 pt a 9-pixel em.
QFont chartFont(int points) {
    QFont f(QStringLiteral("Arial"));
    f.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    f.setPixelSize(points == 7 ? 9 : 11);
    f.setStyleStrategy(QFont::NoAntialias);
    return f;
}

// Text placed by the top-left corner of its cell.
void text(QPainter& p, int x, int y, const QString& s, QRgb c) {
    p.setPen(QColor::fromRgb(c));
    p.drawText(x, y + p.fontMetrics().ascent(), s);
}

constexpr const char* kRowLabels[6] = {"Standby", "Alarm", "Failure", "Tamper", "Disqual.", "Blind"};
QRgb rowColour(int k) {
    switch (k) {
    case 1: return kBlue;
    case 5: return kOlive;
    case 6: return kFuchsia;
    default: return kRed;
    }
}

void drawFrame(QImage& img, int couple, ChartMode mode) {
    img.fill(kWhite);
    // Background rectangle (1,1)-(780,390): white inside a black outline.
    hline(img, 1, 780, 1, kBlack);
    hline(img, 1, 780, 389, kBlack);
    vline(img, 1, 1, 390, kBlack);
    vline(img, 779, 1, 390, kBlack);

    for (int k = 4; k <= 6; ++k) fill(img, kChartX0, kPitch * k, 771, kPitch * k + 15, kAqua);
    for (int y0 = 180; y0 <= 355; y0 += kPitch) fill(img, kChartX0, y0, 771, y0 + 14, kAqua);

    for (int y = 25; y <= 175; y += kPitch) hline(img, kChartX0, kChartX1, y, kBlack);
    for (int y : {176, 177, 178, 180}) hline(img, kChartX0, kChartX1, y, kBlack);
    for (int y = 205; y <= 380; y += kPitch) hline(img, kChartX0, kChartX1, y, kBlack);
    vline(img, kChartX0, 10, 380, kBlack);
    vline(img, kChartX1, 10, 380, kBlack);
    // Axis ticks.
    const int ticks = mode == ChartMode::Hour ? 60 : 24;
    const int spacing = mode == ChartMode::Hour ? 12 : 30;
    for (int i = 0; i <= ticks; ++i) vline(img, kChartX0 + spacing * i, 10, 25, kBlack);

    QPainter p(&img);
    const QString first = QString::number(2 * couple - 1);
    const QString second = QString::number(2 * couple);
    p.setFont(chartFont(7));
    for (int k = 1; k <= 6; ++k) {
        text(p, 5, kPitch * k + 5, QString::fromLatin1(kRowLabels[k - 1]), rowColour(k));
        if (k >= 4) {
            text(p, 42, kPitch * k + 1, first, rowColour(k));
            text(p, 42, kPitch * k + 13, second, rowColour(k));
        }
    }
    for (int b = 1; b <= 8; ++b) {
        const int j = 15 - b;
        text(p, 5, kPitch * j + 12, QStringLiteral("Beam ") + QString::number(b), kMaroon);
        text(p, 42, kPitch * j + 6, first, kMaroon);
        text(p, 42, kPitch * j + 18, second, kMaroon);
    }
    p.setFont(chartFont(mode == ChartMode::Hour ? 7 : 8));
    for (int i = 0; i <= ticks; ++i) {
        const QString n = QString::number(i);
        text(p, kChartX0 + spacing * i - 3 * static_cast<int>(n.size()), 3, n, kBlack);
    }
}

void drawColumn(QImage& img, int x, std::uint8_t b1, std::uint8_t b2, std::uint8_t s) {
    const bool standby = s & CoupleStatus::Standby;
    const bool blind = s & CoupleStatus::Blind;
    if (standby && !blind) vline(img, x, 30, 45, kBlue);
    if (s & CoupleStatus::Alarm) vline(img, x, 55, 70, kRed);
    if (s & CoupleStatus::Failure) vline(img, x, 80, 95, kRed);
    if (s & CoupleStatus::TamperFirst) vline(img, x, 103, 110, kRed);
    if (s & CoupleStatus::TamperSecond) vline(img, x, 116, 123, kRed);
    if (s & CoupleStatus::DisqFirst) vline(img, x, 128, 135, kOlive);
    if (s & CoupleStatus::DisqSecond) vline(img, x, 141, 148, kOlive);
    // Here, as on the monitor, Blind with Standby set is the first barrier's.
    if (blind && standby) vline(img, x, 153, 160, kFuchsia);
    if (blind && !standby) vline(img, x, 166, 173, kFuchsia);
    for (int b = 1; b <= 8; ++b) {
        const int j = 15 - b;
        if (b1 & (1 << (b - 1))) vline(img, x, kPitch * j + 8, kPitch * j + 15, kMaroon);
        if (b2 & (1 << (b - 1))) vline(img, x, kPitch * j + 21, kPitch * j + 28, kMaroon);
    }
}

} // namespace

QImage newChartImage() {
    QImage img(kChartWidth, kChartHeight, QImage::Format_RGB32);
    img.fill(kWhite);
    return img;
}

ChartResult drawActivityChart(QImage& image, const QString& path, int couple, ChartMode mode) {
    ChartResult r;
    if (image.size() != QSize(kChartWidth, kChartHeight) || image.format() != QImage::Format_RGB32)
        image = newChartImage();
    drawFrame(image, qBound(1, couple, 4), mode);

    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        r.error = f.errorString();
        return r;
    }
    // Small fixed reads; columns past the right edge are not visible, so the
    // reading stops there.
    std::vector<char> buf(kActivityRecordSize * 512);
    qint64 n = 0;
    bool more = true;
    while (more && kChartX0 + n < kChartWidth) {
        const qint64 got = f.read(buf.data(), static_cast<qint64>(buf.size()));
        if (got <= 0) break;
        if (got < static_cast<qint64>(buf.size())) more = false;
        const auto* rec = reinterpret_cast<const std::uint8_t*>(buf.data());
        for (qint64 i = 0; i + kActivityRecordSize <= got && kChartX0 + n < kChartWidth;
             i += kActivityRecordSize, ++n)
            drawColumn(image, static_cast<int>(kChartX0 + n), rec[i + 8], rec[i + 9], rec[i + 10]);
    }
    if (n <= 718) {
        for (int x = static_cast<int>(kChartX0 + n + 3); x <= kChartX0 + n + 8; ++x)
            vline(image, x, 25, 380, kBlack);
        r.endMarker = true;
    }
    r.ok = true;
    r.records = n;
    return r;
}

bool saveChartImage(const QImage& image, const QString& path, const char* format,
                    const RecordFile* source, QString* error) {
    // Encoded in memory first: the image writers do not report a failed
    // write of their own file.
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (!writer.write(image)) {
        if (error) *error = writer.errorString();
        return false;
    }
    OutputFile out;
    if (out.create(path, source)) {
        out.append(bytes.constData(), static_cast<size_t>(bytes.size()));
        if (out.close()) return true;
    }
    if (error) *error = out.error();
    return false;
}

} // namespace hub
