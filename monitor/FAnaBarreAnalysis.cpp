// Analysis of recordings: text export and the per-couple time line. Both pick a
// recording and read it themselves, with the window shrunk to the gauge row.
#include "monitor/FAnaBarre.h"

#include "common/DialogSeam.h"
#include "monitor/analysis/FSimula.h"
#include "monitor/analysis/dayscan.h"
#include "monitor/analysis/textexport.h"
#include "monitor/datafile.h"

#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace hub {

// The window reduced to its gauge row while a recording is read; whatever way
// the reading ends, the window comes back as it was.
class TAnalisiBarre::GaugeRow {
public:
    explicit GaugeRow(TAnalisiBarre* w) : w_(w), savedHeight_(w->height()) {
        w_->resize(w_->width(), 70);
    }
    ~GaugeRow() { restore(); }

    void start(qint64 fileSize) {
        w_->showGauge(static_cast<int>(std::min<qint64>(hub::gaugeMaximum(fileSize), INT_MAX)));
    }
    hub::AnalysisProgress progress() {
        return [bar = w_->ProgRead](qint64 n) {
            bar->setValue(static_cast<int>(std::min<qint64>(n, bar->maximum())));
        };
    }
    void restore() {
        if (restored_) return;
        restored_ = true;
        w_->hideGauge();
        w_->resize(w_->width(), savedHeight_);
    }

private:
    TAnalisiBarre* w_;
    int savedHeight_;
    bool restored_ = false;
};

void TAnalisiBarre::showGauge(int maximum) {
    ProgRead->setRange(0, maximum);
    ProgRead->setValue(0);
    ProgRead->show();
    ProgRead->raise();
    PanelLogo->hide();
    PanelFlag->hide();
    PanelTit->hide();
    PanelCom->hide();
}

void TAnalisiBarre::hideGauge() {
    restHeartbeat();
    ProgRead->hide();
    PanelCom->show();
    PanelFlag->show();
    PanelTit->show();
    PanelLogo->show();
    showState();
}

namespace {

QString chooseRecording(TAnalisiBarre* w) {
    return hub::openFileName(w, w->state().italian() ? QStringLiteral("Apri") : QStringLiteral("Open"),
                             QStringLiteral("."), QStringLiteral("File data (*.dat)"));
}

} // namespace

void TAnalisiBarre::BExportClick() {
    const QString in = chooseRecording(this);
    if (in.isEmpty()) return;
    const QString out = hub::exportPathFor(in);
    hub::ExportResult r;
    {
        GaugeRow row(this);
        row.start(QFileInfo(in).size());
        r = hub::exportRecording(in, out, row.progress());
    }
    if (!r.ok()) hub::showError(this, hub::exportMessage(r, in, out, state_.italian()));
}

void TAnalisiBarre::VisMov(int couple) {
    const QString path = chooseRecording(this);
    if (path.isEmpty()) return;
    const bool ita = state_.italian();
    GaugeRow row(this);
    hub::RecordFile file;
    QString error;
    if (!file.open(path, &error)) {
        row.restore();
        hub::showError(this, (ita ? QStringLiteral("Impossibile aprire %1: %2")
                                  : QStringLiteral("Cannot open %1: %2"))
                                 .arg(path, error));
        return;
    }
    row.start(file.size());
    const hub::DayScan scan = hub::scanDays(file, row.progress());
    file.close();
    row.restore();
    if (scan.days.isEmpty()) {
        hub::showError(this, ita ? QStringLiteral("Il file %1 non contiene dati di stato: nessun grafico da mostrare.").arg(path)
                                 : QStringLiteral("The recording %1 holds no state records: there is no chart to show.").arg(path));
        return;
    }
    TSimula simula(this);
    simula.setDays(scan.days);
    simula.setRecording(QFileInfo(path).absoluteFilePath());
    simula.setCouple(couple);
    hub::execDialog(&simula, QStringLiteral("Simula"));
}

void TAnalisiBarre::BMovAClick() { VisMov(1); }
void TAnalisiBarre::BMovBClick() { VisMov(2); }
void TAnalisiBarre::BMovCClick() { VisMov(3); }
void TAnalisiBarre::BMovDClick() { VisMov(4); }

} // namespace hub
