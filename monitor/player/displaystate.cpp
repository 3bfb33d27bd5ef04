#include "monitor/player/displaystate.h"

namespace hub::player {

void DisplayState::restore(MonitorModel& m, HubState& h) const {
    const MonitorModel& s = model;
    m.visible = s.visible;
    for (size_t k = 0; k < 8; ++k) {
        BarrierModel& b = m.barre[k];
        b.visible = s.barre[k].visible;
        b.colour = s.barre[k].colour;
        for (size_t n = 0; n < 14; ++n) {
            b.leds[n].lens = s.barre[k].leds[n].lens;
            b.leds[n].ring = s.barre[k].leds[n].ring;
            b.leds[n].count = s.barre[k].leds[n].count;
        }
        m.labBarre[k].visible = s.labBarre[k].visible;
        m.caps[k].visible = s.caps[k].visible;
        m.caps[k].brush = s.caps[k].brush;
        LabelModel& vers = m.labVers[k];
        vers.visible = s.labVers[k].visible;
        vers.caption = s.labVers[k].caption;
        MonitorModel::autoSize(vers); // in this model's font, as the decoders size it
    }
    for (size_t i = 0; i < 4; ++i) {
        m.labGruppi[i].visible = s.labGruppi[i].visible;
        m.bars[i].visible = s.bars[i].visible;
        m.bars[i].progress = s.bars[i].progress;
        for (size_t j = 0; j < 8; ++j) {
            BeamIndicatorModel& r = m.raggi[i][j];
            r.visible = s.raggi[i][j].visible;
            r.colour = s.raggi[i][j].colour;
            r.fontColour = s.raggi[i][j].fontColour;
        }
    }
    const QString port = h.lastPort;
    h = hub;
    h.lastPort = port;
}

std::size_t DisplayState::memoryBytes() const {
    std::size_t n = sizeof(*this);
    for (const LabelModel& l : model.labVers) n += static_cast<std::size_t>(l.caption.capacity()) * 2;
    return n + static_cast<std::size_t>(hub.versHub.capacity()) * 2;
}

} // namespace hub::player
