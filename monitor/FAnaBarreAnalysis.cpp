// Analysis of recordings: text export and the per-couple time line.
// Stubs until the analysis work lands.
#include "monitor/FAnaBarre.h"

void TAnalisiBarre::BExportClick() {}

void TAnalisiBarre::VisMov(int couple) { (void)couple; }

void TAnalisiBarre::BMovAClick() { VisMov(1); }
void TAnalisiBarre::BMovBClick() { VisMov(2); }
void TAnalisiBarre::BMovCClick() { VisMov(3); }
void TAnalisiBarre::BMovDClick() { VisMov(4); }
