#pragma once
// What the day chart (TSimula) and the hour chart (TDaySimula) share: the
// labels, the 780 x 390 chart image, the gauge, the bottom panel with
// "Print", "Salva BMP" and "Exit", the open recording, and the building and
// drawing of the chart through the core.
#include "monitor/analysis/activitychart.h"
#include "monitor/datafile.h"

#include <QDate>
#include <QDialog>
#include <QImage>

class QFrame;
class QPrinter;
class QLabel;
class QProgressBar;
class QPushButton;

namespace hub {

class TChartWindow : public QDialog {
    Q_OBJECT
public:
    ~TChartWindow() override;

    QLabel* LFile = nullptr;
    QLabel* LGruppo = nullptr;
    QFrame* Panel2 = nullptr;
    QLabel* Image1 = nullptr;
    QProgressBar* ProgRead = nullptr;
    QFrame* PCtrl = nullptr;
    QPushButton* Stampa = nullptr;
    QPushButton* SpeedButton1 = nullptr;
    QPushButton* BExit = nullptr;
    QLabel* Lgru = nullptr;     // hidden: couple "1".."4"
    QLabel* LOra = nullptr;     // hidden: the day (and hour) shown
    QLabel* LOraNext = nullptr; // hidden: end of the hour (hour chart)

    // The recording and the couple, set before the window is shown.
    void setRecording(const QString& path);
    void setCouple(int couple);
    QString recordingPath() const { return recordingPath_; }
    int couple() const { return couple_; }

    // The chart as drawn last (what "Salva BMP" saves).
    const QImage& chart() const { return image_; }
    QString intermediatePath(hub::ChartMode mode) const { return hub::activityPathFor(recordingPath_, mode); }

    void CreaFileImg(hub::ChartMode mode);
    void CreaImg(hub::ChartMode mode);
    void StampaClick();
    void SpeedButton1Click();
    void BExitClick();
    void FormClose();

    // Tests set this to take the no-printer path whatever the machine has.
    static bool assumeNoPrinter;

protected:
    TChartWindow(QWidget* parent, const QString& caption);
    // The day or the hour the chart covers (set by the subclasses).
    virtual hub::ActivityRange chartRange() const = 0;
    virtual QString chartTitle() const = 0;
    // Opens the recording; false (after telling the user) when it cannot be read.
    bool openRecording();
    void showEvent(QShowEvent* e) override;
    virtual void FormShow() = 0;
    bool italian() const;
    void done(int r) override;

    bool drawn_ = false;
    bool built_ = false;

private:
    void printTo(QPrinter& printer);
    QString recordingPath_;
    int couple_ = 1;
    hub::RecordFile recording_;
    QImage image_;
    bool shownOnce_ = false;
};

} // namespace hub
