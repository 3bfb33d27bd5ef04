#include "hubroom/SiteGrid.h"

#include "common/colours.h"
#include "hubroom/roomtexts.h"

#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

namespace hub::room {

std::vector<Tile> tilesOf(const SiteTable& t, const QString& filter) {
    std::vector<Tile> out;
    out.reserve(t.sites().size());
    for (const auto& [name, s] : t.sites()) {
        if (!filter.isEmpty() && !name.contains(filter, Qt::CaseInsensitive)) continue;
        Tile tile{name, s.status, s.link, s.hubText, s.silent, s.severity(), {}, {}};
        for (int b = 1; b <= 8; ++b) {
            tile.present[static_cast<size_t>(b - 1)] = s.hasBarrier(b);
            tile.cells[static_cast<size_t>(b - 1)] = s.condition(b);
        }
        out.push_back(std::move(tile));
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const Tile& a, const Tile& b) { return a.severity > b.severity; });
    return out;
}

QColor conditionColour(Condition c) {
    switch (c) {
    case Condition::Alarm: return QColor(colour::Red);
    case Condition::Tamper: return QColor(colour::Blue);
    case Condition::Fault: return QColor(colour::Yellow);
    case Condition::Disq: return QColor(colour::Olive);
    case Condition::Stb: return QColor(colour::Aqua);
    case Condition::Blind: return QColor(colour::Teal);
    case Condition::Beam: return QColor(colour::Lime);
    case Condition::None: break;
    }
    return QColor(colour::Green);
}

QColor inkOn(const QColor& c) {
    const int luma = (299 * c.red() + 587 * c.green() + 114 * c.blue()) / 1000;
    return luma > 128 ? QColor(colour::Black) : QColor(colour::White);
}

SiteGrid::SiteGrid(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void SiteGrid::setTiles(std::vector<Tile> tiles) {
    tiles_ = std::move(tiles);
    if (cache_.size() > 2 * tiles_.size() + 64) cache_.clear(); // sites filtered away
    updateGeometry();
    setMinimumHeight(heightForWidth(width()));
    update();
}

void SiteGrid::setItalian(bool italian) {
    italian_ = italian;
    update();
}

int SiteGrid::columns() const { return std::max(1, (width() - kGap) / (kTileW + kGap)); }

int SiteGrid::heightForWidth(int w) const {
    const int cols = std::max(1, (w - kGap) / (kTileW + kGap));
    const int rows = (static_cast<int>(tiles_.size()) + cols - 1) / cols;
    return kGap + rows * (kTileH + kGap);
}

QSize SiteGrid::sizeHint() const { return {4 * (kTileW + kGap) + kGap, heightForWidth(4 * (kTileW + kGap) + kGap)}; }

void SiteGrid::resizeEvent(QResizeEvent*) { setMinimumHeight(heightForWidth(width())); }

QRect SiteGrid::tileRect(int i) const {
    const int cols = columns();
    return {kGap + (i % cols) * (kTileW + kGap), kGap + (i / cols) * (kTileH + kGap), kTileW, kTileH};
}

int SiteGrid::tileAt(QPoint p) const {
    const int cols = columns();
    const int c = (p.x() - kGap) / (kTileW + kGap), r = (p.y() - kGap) / (kTileH + kGap);
    if (p.x() < kGap || p.y() < kGap || c >= cols) return -1;
    const int i = r * cols + c;
    if (i < 0 || i >= static_cast<int>(tiles_.size()) || !tileRect(i).contains(p)) return -1;
    return i;
}

void SiteGrid::paintEvent(QPaintEvent* e) {
    QElapsedTimer took;
    took.start();
    ++paints_;
    struct Measure {
        QElapsedTimer& t;
        qint64& longest;
        ~Measure() { longest = std::max(longest, t.nsecsElapsed() / 1000); }
    } measure{took, longestPaintUs_};
    QPainter p(this);
    p.fillRect(e->rect(), QColor(0x30, 0x30, 0x30));
    const int cols = columns();
    // Only the rows that the exposed area touches.
    const int firstRow = std::max(0, (e->rect().top() - kGap) / (kTileH + kGap));
    const int lastRow = (e->rect().bottom() - kGap) / (kTileH + kGap);
    for (int r = firstRow; r <= lastRow; ++r)
        for (int c = 0; c < cols; ++c) {
            const int i = r * cols + c;
            if (i >= static_cast<int>(tiles_.size())) return;
            paintCached(p, tiles_[static_cast<size_t>(i)], tileRect(i));
        }
}

void SiteGrid::paintCached(QPainter& p, const Tile& t, const QRect& r) {
    // A tile is drawn again only when what it shows changed: in a busy room
    // most tiles are the same from one refresh to the next.
    QString key = t.name + QLatin1Char('|') + QString::number(static_cast<int>(t.status)) + t.link +
                  QLatin1Char('|') + t.hubText + (t.silent ? QLatin1String("|s") : QLatin1String("|-")) +
                  (t.name == selected_ ? QLatin1String("|x") : QLatin1String("|-")) +
                  (italian_ ? QLatin1String("|i") : QLatin1String("|e"));
    for (int b = 0; b < 8; ++b)
        key += QChar(u'a' + static_cast<int>(t.cells[static_cast<size_t>(b)]) +
                     (t.present[static_cast<size_t>(b)] ? 0 : 10));
    Cached& c = cache_[t.name];
    const qreal dpr = devicePixelRatioF();
    if (c.key != key || c.pixmap.isNull() || c.pixmap.devicePixelRatio() != dpr) {
        c.key = key;
        c.pixmap = QPixmap(qRound(kTileW * dpr), qRound(kTileH * dpr));
        c.pixmap.setDevicePixelRatio(dpr);
        c.pixmap.fill(Qt::transparent);
        QPainter tp(&c.pixmap);
        paintTile(tp, t, QRect(0, 0, kTileW, kTileH));
    }
    p.drawPixmap(r.topLeft(), c.pixmap);
}

void SiteGrid::paintTile(QPainter& p, const Tile& t, const QRect& r) const {
    const bool dead = t.status == SiteStatus::Lost || t.status == SiteStatus::Offline;
    p.fillRect(r, dead ? QColor(0x58, 0x58, 0x58) : QColor(0xE8, 0xE8, 0xE8));
    Condition worst = Condition::None;
    for (int b = 0; b < 8; ++b)
        if (t.present[static_cast<size_t>(b)]) worst = std::max(worst, t.cells[static_cast<size_t>(b)]);
    // The frame tells the tile's worst news from across the room.
    QColor frame = QColor(0x90, 0x90, 0x90);
    int frameW = 1;
    if (worst >= Condition::Fault) frame = conditionColour(worst), frameW = 4;
    else if (t.status == SiteStatus::Lost) frame = QColor(colour::Black), frameW = 4;
    else if (t.silent) frame = QColor(0xFF, 0xA5, 0x00), frameW = 4;
    p.setPen(QPen(frame, frameW));
    p.setBrush(Qt::NoBrush);
    p.drawRect(r.adjusted(frameW / 2, frameW / 2, -(frameW + 1) / 2, -(frameW + 1) / 2));
    if (t.name == selected_) {
        p.setPen(QPen(QColor(colour::Navy), 1, Qt::DashLine));
        p.drawRect(r.adjusted(5, 5, -6, -6));
    }

    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(14);
    f.setBold(true);
    p.setFont(f);
    const QColor ink = dead ? QColor(colour::White) : QColor(colour::Black);
    p.setPen(ink);
    const QRect inner = r.adjusted(8, 6, -8, -6);
    p.drawText(QRect(inner.left(), inner.top(), inner.width() - 70, 18), Qt::AlignLeft | Qt::AlignVCenter,
               p.fontMetrics().elidedText(t.name, Qt::ElideRight, inner.width() - 70));
    // Status at the top right; "silent" and "LOST" stand out.
    f.setPixelSize(11);
    p.setFont(f);
    QString st = statusText(t.status, italian_);
    if (t.silent) st = tr2(italian_, "SILENT", "SILENTE");
    const QRect stRect(inner.right() - 80, inner.top(), 80, 18);
    if (t.silent || t.status == SiteStatus::Lost) {
        p.fillRect(stRect.adjusted(20, 1, 0, -1), t.silent ? QColor(0xFF, 0xA5, 0x00) : QColor(colour::Black));
        p.setPen(t.silent ? QColor(colour::Black) : QColor(colour::White));
    }
    p.drawText(stRect.adjusted(0, 0, -3, 0), Qt::AlignRight | Qt::AlignVCenter, st);

    f.setBold(false);
    p.setFont(f);
    p.setPen(ink);
    const QString line2 = linkText(t.link, italian_) + (t.hubText.isEmpty() ? QString() : QStringLiteral("  ") + t.hubText);
    p.drawText(QRect(inner.left(), inner.top() + 20, inner.width(), 16), Qt::AlignLeft | Qt::AlignVCenter,
               p.fontMetrics().elidedText(line2, Qt::ElideRight, inner.width()));

    // Eight barrier cells: colour and letter, so that no one has to tell
    // colours apart to tell an alarm from a fault.
    const int cw = (inner.width() - 7 * 3) / 8;
    const int top = inner.top() + 42;
    f.setBold(true);
    f.setPixelSize(16);
    p.setFont(f);
    for (int b = 0; b < 8; ++b) {
        const QRect cell(inner.left() + b * (cw + 3), top, cw, inner.bottom() - top);
        if (!t.present[static_cast<size_t>(b)]) {
            p.setPen(QPen(dead ? QColor(0x70, 0x70, 0x70) : QColor(0xC8, 0xC8, 0xC8), 1, Qt::DotLine));
            p.drawRect(cell.adjusted(0, 0, -1, -1));
            continue;
        }
        const Condition c = t.cells[static_cast<size_t>(b)];
        const QColor fill = dead ? conditionColour(c).darker(160) : conditionColour(c);
        p.fillRect(cell, fill);
        p.setPen(QColor(colour::Black));
        p.drawRect(cell.adjusted(0, 0, -1, -1));
        if (c == Condition::Alarm) {
            // A second, thicker frame: the alarm shape.
            p.setPen(QPen(QColor(colour::Black), 3));
            p.drawRect(cell.adjusted(2, 2, -2, -2));
        }
        const QString letter = conditionLetter(c, italian_);
        p.setPen(inkOn(fill));
        p.drawText(cell, Qt::AlignCenter, letter.isEmpty() ? QString::number(b + 1) : letter);
    }
}

void SiteGrid::mousePressEvent(QMouseEvent* e) {
    const int i = tileAt(e->position().toPoint());
    if (i < 0) return;
    selected_ = tiles_[static_cast<size_t>(i)].name;
    update();
    emit siteSelected(selected_);
}

void SiteGrid::mouseDoubleClickEvent(QMouseEvent* e) {
    const int i = tileAt(e->position().toPoint());
    if (i >= 0) emit siteActivated(tiles_[static_cast<size_t>(i)].name);
}

} // namespace hub::room
