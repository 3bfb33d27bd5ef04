// Records and recordings: record application, settings decoders, file loading.
// Stubs until the recordings and settings work lands.
#include "monitor/FAnaBarre.h"

void TAnalisiBarre::RiceviDati(const hub::StateRecord& state, bool beamSound, bool ledSound) {
    (void)state;
    (void)beamSound;
    (void)ledSound;
}

bool TAnalisiBarre::RiceviSet_SW(std::uint8_t kind,
                                 std::array<std::uint8_t, hub::kSwBlockSize> block) {
    (void)kind;
    (void)block;
    return true;
}

bool TAnalisiBarre::RiceviSet_TC(std::uint8_t kind,
                                 std::array<std::uint8_t, hub::kTcBlockSize> block) {
    (void)kind;
    (void)block;
    return true;
}

void TAnalisiBarre::ReadFile() {}

void TAnalisiBarre::BOpenFileClick() {}
