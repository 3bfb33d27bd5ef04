#include "fixtures.h"

#include "monitor/display/zoom.h"
#include "monitor/settings/settingsdecoders.h"

#include <sstream>

using namespace hub;

namespace rectest {

void resetModel(MonitorModel& m, HubState& hub, bool hide, bool compact) {
    resetDisplay(m, hub, hide, compact);
}

void allInstalled(MonitorModel& m, HubState& hub) {
    resetModel(m, hub, true, false);
    RiceviSet_SW(m, hub, 0x40, {0xFF, 0x00, 0x11, 0x11, 0x11, 0x11, 0x0F, 0x00, 0x00}, false);
}

std::string hex(Rgb c) {
    char b[8];
    std::snprintf(b, sizeof b, "#%06X", c & 0xFFFFFF);
    return b;
}

std::string modelDifference(const MonitorModel& a, const MonitorModel& b, bool ignoreHeads) {
    std::ostringstream o;
    for (int k = 1; k <= 8; ++k) {
        if (a.barrier(k).visible != b.barrier(k).visible) o << "barrier " << k << " visible; ";
        if (!ignoreHeads && a.caps[k - 1].brush != b.caps[k - 1].brush) o << "head " << k << " brush; ";
        if (a.caps[k - 1].visible != b.caps[k - 1].visible) o << "head " << k << " visible; ";
        if (a.labVers[k - 1].caption != b.labVers[k - 1].caption) o << "version " << k << "; ";
        for (int n = 1; n <= 14; ++n) {
            const auto& x = a.led(k, n);
            const auto& y = b.led(k, n);
            if (x.lens != y.lens || x.ring != y.ring || x.count != y.count)
                o << "led " << k << "/" << n << " " << hex(x.lens) << hex(x.ring) << x.count
                  << " vs " << hex(y.lens) << hex(y.ring) << y.count << "; ";
        }
    }
    for (int i = 1; i <= 4; ++i) {
        if (a.bars[i - 1].visible != b.bars[i - 1].visible ||
            a.bars[i - 1].progress != b.bars[i - 1].progress)
            o << "power bar " << i << "; ";
        if (a.labGruppi[i - 1].visible != b.labGruppi[i - 1].visible) o << "letter " << i << "; ";
        for (int j = 1; j <= 8; ++j) {
            const auto& x = a.raggio(i, j);
            const auto& y = b.raggio(i, j);
            if (x.visible != y.visible || x.colour != y.colour || x.fontColour != y.fontColour)
                o << "indicator " << i << "/" << j << "; ";
        }
    }
    return o.str();
}

} // namespace rectest
