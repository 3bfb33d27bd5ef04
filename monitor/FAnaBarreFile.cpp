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

namespace hub {

void TAnalisiBarre::RiceviDati(const hub::StateRecord& state, bool beamSound, bool ledSound) {
    const bool beep = hub::RiceviDati(Monitor1->model(), hub, state, beamSound, ledSound,
                                      state_.zoom.isCompact());
    // The monitor follows when the window is next brought up to date
    // (syncLink): at most every 40 ms, not for every record.
    if (beep) hub::beep();
}

bool TAnalisiBarre::RiceviSet_SW(std::uint8_t kind,
                                 std::array<std::uint8_t, hub::kSwBlockSize> block) {
    hub::RiceviSet_SW(Monitor1->model(), hub, kind, block, state_.zoom.isCompact());
    state_.settings = hub::MainWindowState::SettingsKind::SW;
    showState();
    Monitor1->refresh();
    return true;
}

bool TAnalisiBarre::RiceviSet_TC(std::uint8_t kind,
                                 std::array<std::uint8_t, hub::kTcBlockSize> block) {
    QString caption;
    hub::RiceviSet_TC(Monitor1->model(), hub, kind, block, state_.zoom.isCompact(), &caption);
    setWindowTitle(caption);
    state_.settings = hub::MainWindowState::SettingsKind::TC;
    showState();
    Monitor1->refresh();
    return true;
}

void TAnalisiBarre::ReadFile() {
    // The display reset forgets the recording in use.
    const QString path = state_.recording;
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
    state_.recording = path;
    showState();
    LCounter->setText(QStringLiteral("0"));

    const qint64 gaugeMax = std::min<qint64>(replay.gaugeMaximum(), INT_MAX);
    showGauge(static_cast<int>(gaugeMax));

    const auto progress = [&](std::int64_t counter) {
        ProgRead->setValue(static_cast<int>(std::min<std::int64_t>(counter, gaugeMax)));
        ProgRead->repaint();
    };
    const hub::ReplayOutcome out = replay.run(
        state_.zoom.isCompact(), [this](bool hide) { AzzeraVideo(hide); }, progress);
    if (out.hasStart) LStart->setText(hub::dateTimeText(out.start));
    LCounter->setText(QString::number(out.counter));
    if (out.windowCaption) setWindowTitle(*out.windowCaption);
    state_.settings = hub::settingsKindOf(hub);

    hideGauge();
    Monitor1->refresh();
    setWindowSize(width(), savedHeight);
    afterLoad();
}

void TAnalisiBarre::BOpenFileClick() {
    QString path = hub::openFileName(this, QString(), QStringLiteral("."),
                                     QStringLiteral("File data (*.dat)"));
    if (path.isEmpty()) return;
    if (QFileInfo(path).suffix().isEmpty() && !QFileInfo::exists(path))
        path += QStringLiteral(".dat");
    if (state_.acquiring()) {
        // An acquisition is running: the recording opens in a viewer of its own.
        hub::startInstance(QCoreApplication::applicationFilePath(), {path});
        return;
    }
    state_.recording = path;
    ReadFile();
}

} // namespace hub
