// Records and recordings: record application, settings decoders, file loading.
#include "common/DialogSeam.h"
#include "common/tdatetime.h"
#include "monitor/FAnaBarre.h"
#include "monitor/replay.h"
#include "monitor/ricevidati.h"
#include "monitor/settings/settingsdecoders.h"

#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>

namespace {

bool compactView(const QComboBox* zoom) { return zoom->currentText() == QLatin1String("Compact"); }

void setPanelColour(QWidget* w, const QColor& c) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, c);
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}

} // namespace

void TAnalisiBarre::RiceviDati(const hub::StateRecord& state, bool beamSound, bool ledSound) {
    const bool beep = hub::RiceviDati(Monitor1->model(), hub, state, beamSound, ledSound,
                                      compactView(ComboZoom));
    Monitor1->refresh();
    if (beep) hub::beep();
}

bool TAnalisiBarre::RiceviSet_SW(std::uint8_t kind,
                                 std::array<std::uint8_t, hub::kSwBlockSize> block) {
    hub::RiceviSet_SW(Monitor1->model(), hub, kind, block, compactView(ComboZoom));
    LVersHUB->setText(hub.versHub);
    LVersHUB->adjustSize();
    Monitor1->refresh();
    return true;
}

bool TAnalisiBarre::RiceviSet_TC(std::uint8_t kind,
                                 std::array<std::uint8_t, hub::kTcBlockSize> block) {
    QString caption;
    hub::RiceviSet_TC(Monitor1->model(), hub, kind, block, compactView(ComboZoom), &caption);
    setWindowTitle(caption);
    LVersHUB->setText(hub.versHub);
    LVersHUB->adjustSize();
    Monitor1->refresh();
    return true;
}

void TAnalisiBarre::ReadFile() {
    // The display reset clears the file name label, which holds the path.
    const QString path = NomeArch->text();
    AzzeraVideo(true);
    const int savedHeight = height();
    setWindowSize(width(), 70);

    hub::Replayer replay(Monitor1->model(), hub);
    QString error;
    if (!replay.open(path, &error)) {
        // The panels were not touched yet; only the height needs restoring.
        setWindowSize(width(), savedHeight);
        hub::showError(this, path + QStringLiteral("\n") + error);
        return;
    }
    TextNomeArch->show();
    NomeArch->setText(path);
    LCounter->setText(QStringLiteral("0"));

    const qint64 gaugeMax = std::min<qint64>(replay.gaugeMaximum(), INT_MAX);
    ProgRead->setRange(0, static_cast<int>(gaugeMax));
    ProgRead->setValue(0);
    ProgRead->show();
    PanelLogo->hide();
    PanelFlag->hide();
    PanelTit->hide();
    PanelCom->hide();

    const auto progress = [&](std::int64_t counter) {
        ProgRead->setValue(static_cast<int>(std::min<std::int64_t>(counter, gaugeMax)));
        ProgRead->repaint();
    };
    const hub::ReplayOutcome out = replay.run(
        compactView(ComboZoom), [this](bool hide) { AzzeraVideo(hide); }, progress);
    if (out.hasStart) LStart->setText(hub::dateTimeText(out.start));
    LCounter->setText(QString::number(out.counter));
    if (out.windowCaption) setWindowTitle(*out.windowCaption);
    LVersHUB->setText(hub.versHub);
    LVersHUB->adjustSize();

    setPanelColour(PanelRicevi, QColor(0xC0, 0xC0, 0xC0));
    ProgRead->hide();
    PanelCom->show();
    PanelFlag->show();
    PanelTit->show();
    PanelLogo->show();
    if (palette().color(QPalette::Window) == QColor(0xC0, 0xC0, 0xC0)) {
        // Viewer mode: nothing to start from here.
        BOpenFile->hide();
        PStat->hide();
        SBRicevi->hide();
    }
    Monitor1->refresh();
    setWindowSize(width(), savedHeight);
}

void TAnalisiBarre::BOpenFileClick() {
    QString path = hub::openFileName(this, QString(), QStringLiteral("."),
                                     QStringLiteral("File data (*.dat)"));
    if (path.isEmpty()) return;
    if (QFileInfo(path).suffix().isEmpty() && !QFileInfo::exists(path))
        path += QStringLiteral(".dat");
    if (LRicCorso->isVisibleTo(this)) {
        // An acquisition is running: the recording opens in a viewer of its own.
        hub::startInstance(QCoreApplication::applicationFilePath(), {path});
        return;
    }
    NomeArch->setText(path);
    ReadFile();
}
