#pragma once
// TSimula: the day activity chart of one couple, with the day list and the 24
// hour buttons that open the hour chart.
#include "monitor/analysis/ChartWindow.h"

#include <QList>
#include <array>

class QComboBox;
class QToolButton;

namespace hub {

class TSimula : public TChartWindow {
    Q_OBJECT
public:
    explicit TSimula(QWidget* parent = nullptr);
    ~TSimula() override;

    std::array<QToolButton*, 24> SBOra{};
    QComboBox* ComboBox1 = nullptr;

    // The days offered, in the time line's order; the first is selected.
    void setDays(const QList<QDate>& days);
    QDate selectedDay() const;

    void ComboBox1Change();
    void VisOra(int hour);

protected:
    void FormShow() override;
    hub::ActivityRange chartRange() const override;
    QString chartTitle() const override;
};

} // namespace hub
