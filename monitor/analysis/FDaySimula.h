#pragma once
// TDaySimula: the hour activity chart, one hour of one day of one couple,
// opened by the day chart's hour buttons.
#include "monitor/analysis/ChartWindow.h"

namespace hub {

class TDaySimula : public TChartWindow {
    Q_OBJECT
public:
    explicit TDaySimula(QWidget* parent = nullptr);
    ~TDaySimula() override;

    // The hour h:00:00 to h:59:59 of the day, carried as a date and an hour so
    // the range does not depend on how regional texts read back.
    void setHour(const QDate& day, int hour);
    QDate day() const { return day_; }
    int hour() const { return hour_; }

protected:
    void FormShow() override;
    hub::ActivityRange chartRange() const override;
    QString chartTitle() const override;

private:
    QDate day_;
    int hour_ = 0;
};

} // namespace hub
