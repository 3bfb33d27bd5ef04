#pragma once
// The player's time strip: a time axis, one lane per barrier and one for the
// recording's own marks, and the cursor at the player's position. It paints
// the timeline's lane summaries for the time range it is given; the player
// decides the range, the strip only reports what the mouse asks for.
#include "monitor/player/PlayerTimeline.h"

#include <QPixmap>
#include <QWidget>
#include <optional>

namespace hub {

class TTimeStrip : public QWidget {
    Q_OBJECT
public:
    static constexpr int kAxisHeight = 18;
    static constexpr int kLaneHeight = 32;
    static constexpr int kLabelWidth = 34;
    static constexpr int kColumnWidth = 3;

    explicit TTimeStrip(QWidget* parent = nullptr);

    void setTimeline(const PlayerTimeline* timeline);
    void setView(double t0, double t1);
    void setCursorTime(std::optional<double> t);
    // Caption of the ninth lane (the recording's own marks).
    void setMarksCaption(const QString& caption);

    double timeAt(int x) const;
    int xAt(double t) const;
    QRect laneRect(int lane) const; // 0..7 barriers, 8 the marks
    // The band of lane `lane` where events of kind k are drawn.
    static QRect kindBand(const QRect& lane, EventKind k);
    // One kind's mark as the strip and the legend draw it.
    static void paintKind(QPainter& p, EventKind k, const QRect& r);
    static void paintMark(QPainter& p, MarkKind k, const QRect& r);

    // What a click at p lands on: the record of the event or mark drawn
    // there, or nothing (empty strip, the axis, a lane without a mark there).
    std::optional<std::int64_t> hitRecord(const QPoint& p) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void seekTime(double t);            // a press on the strip or a drag of the cursor
    void seekRecord(std::int64_t n);    // a click on a mark
    void zoomBy(double factor, double aroundTime);

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    int plotLeft() const { return kLabelWidth; }
    int plotWidth() const;
    int columns() const;
    void paintAxis(QPainter& p);
    void paintLanes(QPainter& p);
    void redraw(); // the lanes' picture is out of date

    const PlayerTimeline* timeline_ = nullptr;
    double t0_ = 0.0, t1_ = 1.0;
    std::optional<double> cursor_;
    QString marksCaption_ = QStringLiteral("REC");
    bool dragging_ = false;
    std::vector<LaneColumn> summary_;
    QPixmap lanes_; // axis, lanes and marks as last drawn, without the cursor
};

} // namespace hub
