// Inspection: the hub's settings window and the change list of a clicked element.
#include "monitor/FAnaBarre.h"
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

void TAnalisiBarre::Monitor1Click() {}
