#pragma once
// TMonitor: paints the MonitorModel in one surface and turns mouse clicks into
// the model's click codes. It decides nothing about the hub: the main window
// changes the model (colours, visibility, captions) and calls refresh().
#include "monitor/display/monitormodel.h"

#include <QWidget>

class QPainter;
class QRegion;

namespace hub {

// Draws a monitor label: every character at the model's offset on the
// label's baseline. With an area (the painter's clip), characters that
// cannot reach it are left out.
void paintLabel(QPainter& p, const LabelModel& l, const QRegion* area = nullptr);

class TMonitor : public QWidget {
    Q_OBJECT
public:
    explicit TMonitor(QWidget* parent = nullptr);

    MonitorModel& model() { return model_; }
    const MonitorModel& model() const { return model_; }

    // Re-lays out the model for LED size v and takes its new size.
    void SetDimeLed(int v);
    int DimeLed() const { return model_.DimeLed(); }

    // Takes over the model's position and size (after the main window changed
    // it), re-measures the labels and repaints. Showing and hiding the widget
    // is left to the window.
    void refresh();

    // Italian legends (the vertical letters and "Blind").
    void setItalian(bool italian);

    // The last click's codes, as the change list reads them.
    QString clickBarra() const { return model_.clickBarra; }
    QString clickLed() const { return model_.clickLed; }

signals:
    // The monitor's click notification (OnClick): an element click after its
    // codes were stored, or a click on the background.
    void clicked();

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void moveEvent(QMoveEvent*) override;
    bool event(QEvent*) override;

private:
    MonitorModel model_;
    // The model as last handed to the window system for painting: refresh()
    // repaints only the barriers and heads that differ from it.
    MonitorModel requested_;
    bool requestedValid_ = false;
    MonitorHit pressed_;
    bool pressValid_ = false;
};

} // namespace hub
