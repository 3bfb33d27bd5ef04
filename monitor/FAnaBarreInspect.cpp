// Inspection: the hub's settings window and the change list of a clicked element.
#include "monitor/FAnaBarre.h"
#include "monitor/display/Barra.h"
#include "monitor/display/FAnalisi.h"
#include "monitor/settings/FVisSetupSW.h"
#include "monitor/settings/FVisSetupTC.h"

#include <QLabel>

namespace hub {

void TAnalisiBarre::BSetupClick() {
    // The kind of the block received last. The acquisition goes on while the
    // TC window is open, so an SW block arriving meanwhile is shown after it.
    if (state_.settings == MainWindowState::SettingsKind::TC) VisuaSetup_TC(this, hub.tc, hub.versHub);
    if (state_.settings == MainWindowState::SettingsKind::SW) VisuaSetup_SW(this, hub.sw, hub.versHub);
}

void TAnalisiBarre::Monitor1Click() {
    hub::TMonitor* monitor = Monitor1;
    // The list is always read from the recording in use, never from memory.
    const QString file = state_.recording;
    const hub::ChangeListResult r = hub::showChangeList(
        this, file, file, monitor->clickBarra(), monitor->clickLed(), state_.italian());
    if (r != hub::ChangeListResult::Shown) return;
    // A click on the monitor's background after this finds no element.
    hub::MonitorModel& m = monitor->model();
    m.clickBarra.clear();
    m.clickLed.clear();
    m.colour = hub::colour::Silver;
    monitor->refresh();
}

} // namespace hub
