#include "monitor/analysis/FDaySimula.h"

#include "common/tdatetime.h"

#include <QLabel>

namespace hub {

TDaySimula::TDaySimula(QWidget* parent) : TChartWindow(parent, QStringLiteral("DaySimula")) {
    setObjectName(QStringLiteral("DaySimula"));
}

TDaySimula::~TDaySimula() = default;

void TDaySimula::setHour(const QDate& day, int hour) {
    day_ = day;
    hour_ = qBound(0, hour, 23);
    const QString d = hub::shortDateText(day_) + QLatin1Char(' ') + QString::number(hour_);
    LOra->setText(d + QStringLiteral(".00.00"));
    LOraNext->setText(d + QStringLiteral(".59.59"));
}

void TDaySimula::FormShow() {
    openRecording();
    CreaFileImg(hub::ChartMode::Hour);
    CreaImg(hub::ChartMode::Hour);
    drawn_ = false;
}

hub::ActivityRange TDaySimula::chartRange() const { return hub::hourRange(day_, hour_); }

QString TDaySimula::chartTitle() const { return hub::hourTitle(day_, hour_, couple()); }

} // namespace hub
