#include "monitor/display/zoom.h"

namespace hub {

const QString ZoomSelector::kFiller = QStringLiteral("    \"");

QString ZoomSelector::text() const {
    return index >= 0 && index < int(items.size()) ? items[index] : QString();
}

ZoomSelector ZoomSelector::full() {
    ZoomSelector z;
    z.items = {QStringLiteral("Compact"), QStringLiteral("Zoom 1"), QStringLiteral("Zoom 2"),
               QStringLiteral("Zoom 3"),  QStringLiteral("Zoom 4"), QStringLiteral("Zoom 5")};
    z.index = 5;
    return z;
}

ZoomSelector ZoomSelector::zoomed(int n) {
    ZoomSelector z = full();
    z.items[0] = kFiller;
    z.index = n;
    return z;
}

ZoomSelector ZoomSelector::compact() {
    ZoomSelector z;
    z.items = {QStringLiteral("Compact"), QStringLiteral("Expand"), kFiller, kFiller, kFiller, kFiller};
    z.index = 0;
    return z;
}

void resetDisplay(MonitorModel& m, HubState& hub, bool hide, bool compact) {
    m.visible = false;
    hub.versHub = QStringLiteral("HUB");
    hub.hubKind = 0;
    hub.sw.fill(0);
    hub.tc.fill(0);
    hub.current = StateRecord{};
    hub.previous = StateRecord{};
    hub.lastRecorded = StateRecord{};

    for (int k = 1; k <= 8; ++k) {
        BarrierModel& b = m.barrier(k);
        b.visible = true;
        b.colour = colour::Gray;
        m.labBarre[k - 1].visible = true;
        m.caps[k - 1].visible = true;
        m.caps[k - 1].brush = colour::Gray;
        m.labVers[k - 1].visible = true;
        for (LedModel& l : b.leds) {
            l.SetSilver();
            l.SetRingGray();
            l.count = 0;
        }
        m.labVers[k - 1].caption = QStringLiteral("V. ");
        MonitorModel::autoSize(m.labVers[k - 1]);
    }
    for (int i = 1; i <= 4; ++i) {
        m.bars[i - 1].visible = true;
        m.labGruppi[i - 1].visible = true;
        m.bars[i - 1].progress = 0;
        for (int j = 1; j <= 8; ++j) {
            BeamIndicatorModel& r = m.raggio(i, j);
            if (!compact) r.visible = true;
            r.colour = colour::Green;
            r.fontColour = colour::Green;
        }
    }
    if (hide) {
        for (int i = 1; i <= 4; ++i) {
            m.bars[i - 1].visible = false;
            m.labGruppi[i - 1].visible = false;
            for (int j = 1; j <= 8; ++j) m.raggio(i, j).visible = false;
        }
        for (int k = 1; k <= 8; ++k) {
            m.barrier(k).visible = false;
            m.labBarre[k - 1].visible = false;
            m.caps[k - 1].visible = false;
            m.labVers[k - 1].visible = false;
        }
    }
    m.visible = true;
}

void applyZoomLayout(MonitorModel& m, bool compact) {
    for (int k = 1; k <= 8; ++k) {
        for (int j = 1; j <= 8; ++j) m.led(k, j).visible = !compact;
        LedModel& alarm = m.led(k, Led::Alarm);
        alarm.geo.top = compact ? 1 : m.led(k, 1).geo.top + alarm.geo.height + 10;
    }
    for (LabelModel& l : m.labRaggi) l.visible = !compact;
    if (compact) {
        for (auto& couple : m.raggi)
            for (BeamIndicatorModel& r : couple) r.visible = false;
    } else {
        for (int i = 1; i <= 4; ++i) {
            if (!m.barrier(2 * i).visible) continue;
            for (int j = 1; j <= 8; ++j) m.raggio(i, j).visible = m.led(2 * i, j).lens != colour::Silver;
        }
    }

    // Common re-layout.
    for (int k = 1; k <= 8; ++k) {
        BarrierModel& b = m.barrier(k);
        for (int n = 10; n <= 14; ++n)
            m.led(k, n).geo.top = m.led(k, n - 1).geo.top + m.led(k, n - 1).geo.height;
        b.geo.height = m.led(k, 14).geo.top + m.led(k, 14).geo.height + 2;
        m.labVers[k - 1].geo.top = b.geo.top + b.geo.height + 2;
    }
    for (int i = 1; i <= 4; ++i) {
        const Geometry& b = m.barrier(i).geo;
        m.bars[i - 1].geo.top = b.top + b.height + 15;
    }
    const bool beamsShown = m.led(1, 1).visible;
    for (LabelModel& l : m.labLetters) l.visible = beamsShown;
    m.soundBeams.visible = beamsShown;
    LabelModel* status[6] = {&m.labAlarm, &m.labTamp, &m.labFail, &m.labDisq, &m.labStb, &m.labBlind};
    for (int n = 0; n < 6; ++n) status[n]->geo.top = m.barrier(1).geo.top + m.led(1, 9 + n).geo.top;
    const Geometry& bar1 = m.bars[0].geo;
    m.labPower.geo.top = bar1.top - 3;
    m.soundLeds.geo.top = m.labBlind.geo.top + m.labBlind.geo.height - 3;
    m.geo.height = bar1.top + bar1.height + 5;
    for (int i = 1; i <= 4; ++i) {
        const Geometry& bar = m.bars[i - 1].geo;
        m.sepDark[i - 1].geo.height = bar.top + bar.height;
        m.sepLight[i - 1].geo.height = bar.top + bar.height;
    }
}

void resetLeds(MonitorModel& m) {
    for (BarrierModel& b : m.barre)
        for (LedModel& l : b.leds) {
            if (l.isOn()) {
                l.count = 1;
            } else {
                l.SetRingGray();
                l.count = 0;
            }
        }
}

int ledSizeForWidth(int w, int currentSize) {
    if (w < 23 || w >= 10023) return currentSize;
    if (w <= 223) return 10;
    if (w <= 403) return 11 + (w - 224) / 10;
    return 29;
}

} // namespace hub
