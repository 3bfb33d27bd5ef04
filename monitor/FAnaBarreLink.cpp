// The hub link: starting and stopping an acquisition, connect and data timers.
// Stubs until the link work lands.
#include "monitor/FAnaBarre.h"

void TAnalisiBarre::SBRiceviClick() {}

void TAnalisiBarre::FermaRic(bool confirm) { (void)confirm; }

void TAnalisiBarre::TimerComSetTimer() {}

void TAnalisiBarre::TimerComDatiTimer() {}
