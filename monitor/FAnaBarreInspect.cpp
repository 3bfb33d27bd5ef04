// Inspection: the hub's settings window and the change list of a clicked element.
#include "monitor/FAnaBarre.h"
#include "monitor/display/Barra.h"
#include "monitor/display/FAnalisi.h"
#include "monitor/settings/FVisSetupSW.h"
#include "monitor/settings/FVisSetupTC.h"

#include <QLabel>

void TAnalisiBarre::BSetupClick() {
    // The first character of LVersHUB tells the kind of the block received last;
    // "HUB" means none has arrived since the last reset.
    const QString vers = LVersHUB->text();
    if (vers.startsWith(QLatin1Char('T'))) VisuaSetup_TC(this, hub.tc, vers);
    const QString again = LVersHUB->text();
    if (again.startsWith(QLatin1Char('S'))) VisuaSetup_SW(this, hub.sw, again);
}

void TAnalisiBarre::Monitor1Click() {
    hub::TMonitor* monitor = Monitor1;
    // NomeArch holds the recording in use: the file being written during an
    // acquisition, the file loaded otherwise; empty when there is none. The
    // list is always read from that file, never from memory.
    const QString file = NomeArch->text();
    const hub::ChangeListResult r = hub::showChangeList(
        this, file, file, monitor->clickBarra(), monitor->clickLed(), italian());
    if (r != hub::ChangeListResult::Shown) return;
    // A click on the monitor's background after this finds no element.
    hub::MonitorModel& m = monitor->model();
    m.clickBarra.clear();
    m.clickLed.clear();
    m.colour = hub::colour::Silver;
    monitor->refresh();
}
