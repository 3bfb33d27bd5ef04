#include "monitor/analysis/FSimula.h"

#include "common/DialogSeam.h"
#include "common/tdatetime.h"
#include "monitor/analysis/FDaySimula.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QToolButton>

namespace hub {

TSimula::TSimula(QWidget* parent) : TChartWindow(parent, QStringLiteral("Simula")) {
    setObjectName(QStringLiteral("Simula"));
    // The hour buttons sit over the hour numbers of the axis (30 pixels an hour).
    QFont small(QStringLiteral("Arial"));
    small.setPixelSize(9);
    for (int h = 0; h < 24; ++h) {
        auto* b = new QToolButton(this);
        b->setObjectName(QStringLiteral("SBOra%1").arg(h));
        b->setText(QString::number(h));
        b->setFont(small);
        b->setGeometry(Panel2->x() + 1 + hub::kChartX0 + 30 * h - 9, Panel2->y() + 1, 18, 15);
        b->setToolTip(QStringLiteral("%1:00 - %1:59").arg(h));
        connect(b, &QToolButton::clicked, this, [this, h] { VisOra(h); });
        SBOra[static_cast<size_t>(h)] = b;
    }
    // Offered for selection only: a typed text would be no day of the recording.
    ComboBox1 = new QComboBox(PCtrl);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setEditable(false);
    ComboBox1->setGeometry(260, 22, 150, 24);
    connect(ComboBox1, &QComboBox::currentIndexChanged, this, [this](int) { ComboBox1Change(); });
}

TSimula::~TSimula() = default;

void TSimula::setDays(const QList<QDate>& days) {
    const QSignalBlocker block(ComboBox1);
    ComboBox1->clear();
    for (const QDate& d : days) ComboBox1->addItem(hub::shortDateText(d), d);
    ComboBox1->setCurrentIndex(days.isEmpty() ? -1 : 0);
    LOra->setText(ComboBox1->currentText().trimmed());
}

QDate TSimula::selectedDay() const { return ComboBox1->currentData().toDate(); }

void TSimula::FormShow() {
    openRecording();
    ComboBox1Change();
}

void TSimula::ComboBox1Change() {
    LOra->setText(ComboBox1->currentText().trimmed());
    if (!selectedDay().isValid()) return;
    CreaFileImg(hub::ChartMode::Day);
    CreaImg(hub::ChartMode::Day);
}

hub::ActivityRange TSimula::chartRange() const { return hub::dayRange(selectedDay()); }

QString TSimula::chartTitle() const { return hub::dayTitle(selectedDay(), couple()); }

void TSimula::VisOra(int hour) {
    if (!selectedDay().isValid()) return;
    TDaySimula d(this);
    d.setRecording(recordingPath());
    d.setCouple(couple());
    d.setHour(selectedDay(), hour);
    hub::execDialog(&d, QStringLiteral("DaySimula"));
}

} // namespace hub
