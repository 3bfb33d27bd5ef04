#pragma once
// TRxSwitch: a small two-state switch that paints its own on and off pictures.
// A click flips it (the caller may set it back); setOn() sets it without a click.
#include <QAbstractButton>

namespace hub {

class TRxSwitch : public QAbstractButton {
    Q_OBJECT
public:
    explicit TRxSwitch(QWidget* parent = nullptr);
    bool isOn() const { return isChecked(); }
    // Setting the state it already has changes nothing.
    void setOn(bool on);
    QSize sizeHint() const override { return {38, 22}; }

protected:
    void paintEvent(QPaintEvent*) override;
};

} // namespace hub
