// Inspection: the hub's settings window and the change list of a clicked element.
// Stubs until the inspect work lands.
#include "monitor/FAnaBarre.h"

void TAnalisiBarre::BSetupClick() {}

void TAnalisiBarre::Monitor1Click() {}
