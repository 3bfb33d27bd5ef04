#pragma once
// The grid of site tiles, painted in one surface: a room of hundreds of sites
// costs one widget, and only the tiles in view are drawn.
#include "hubroom/sites.h"

#include <QPixmap>
#include <QWidget>
#include <map>

namespace hub::room {

// What a tile shows, taken from the site table when the grid is refreshed.
struct Tile {
    QString name;
    SiteStatus status = SiteStatus::Unknown;
    QString link;
    QString hubText;
    bool silent = false;
    int severity = 0;
    std::array<Condition, 8> cells{};
    std::array<bool, 8> present{};
};

// The grid's order: most severe first, then by name; filter: a part of the name.
std::vector<Tile> tilesOf(const SiteTable& t, const QString& filter);

// Cell colours: an alarm is red, and nothing else is red-like.
QColor conditionColour(Condition c);
// Black or white, whichever reads on c.
QColor inkOn(const QColor& c);

class SiteGrid : public QWidget {
    Q_OBJECT
public:
    explicit SiteGrid(QWidget* parent = nullptr);
    void setTiles(std::vector<Tile> tiles);
    void setItalian(bool italian);
    const std::vector<Tile>& tiles() const { return tiles_; }
    // Tile index at a point, -1 for none.
    int tileAt(QPoint p) const;
    QRect tileRect(int index) const;
    QSize sizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int w) const override;

    // The longest paint so far and the number of paints (the load bench reads them).
    qint64 longestPaintUs() const { return longestPaintUs_; }
    long long paints() const { return paints_; }

    static constexpr int kTileW = 236;
    static constexpr int kTileH = 96;
    static constexpr int kGap = 6;

signals:
    void siteActivated(const QString& site);
    void siteSelected(const QString& site);

protected:
    void paintEvent(QPaintEvent*) override;
    void mouseDoubleClickEvent(QMouseEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void resizeEvent(QResizeEvent*) override;

private:
    int columns() const;
    void paintTile(QPainter& p, const Tile& t, const QRect& r) const;
    void paintCached(QPainter& p, const Tile& t, const QRect& r);
    struct Cached {
        QString key;
        QPixmap pixmap;
    };
    std::map<QString, Cached> cache_;
    std::vector<Tile> tiles_;
    QString selected_;
    bool italian_ = false;
    qint64 longestPaintUs_ = 0;
    long long paints_ = 0;
};

} // namespace hub::room
