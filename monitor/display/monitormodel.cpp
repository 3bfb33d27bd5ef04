#include "monitor/display/monitormodel.h"

#include <algorithm>

namespace hub {

Rgb LedModel::onColour() const {
    if (code >= 1 && code <= 8) return colour::Lime;
    switch (code) {
    case Led::Disqualify: return colour::Yellow;
    case Led::Standby: return colour::Aqua;
    default: return colour::Red; // Alarm, Tamper, Failure, Blind
    }
}

void SoundSwitchModel::toggle() {
    if (caption != QLatin1String("ON-Beep")) {
        caption = QStringLiteral("ON-Beep");
        fontColour = colour::Green;
    } else {
        caption = QStringLiteral("OFF-Beep");
        fontColour = colour::Red;
    }
}

namespace {

LabelModel legend(const char* caption) {
    LabelModel l;
    l.caption = QString::fromLatin1(caption);
    l.fontSize = 14;
    l.colour = colour::Teal;
    return l;
}

void setFont(LabelModel& l, int size) {
    l.fontSize = size;
    MonitorModel::autoSize(l);
}

} // namespace

MonitorModel::MonitorModel() {
    geo = {1, 1, 0, 0}; // its place in the main window's panel
    for (int k = 1; k <= 8; ++k) {
        BarrierModel& b = barrier(k);
        b.geo.top = 28;
        for (int n = 1; n <= 14; ++n) {
            LedModel& l = led(k, n);
            l.code = n;
            l.geo.left = 1;
            l.lensGeo.left = l.lensGeo.top = 3;
            l.glint[0].left = l.glint[0].top = 6;
            l.glint[1].top = l.glint[0].top + 1;
        }
        LabelModel& num = labBarre[k - 1];
        num.caption = QString::number(k);
        num.colour = colour::White;
        LabelModel& ver = labVers[k - 1];
        ver.caption = QStringLiteral(" V.");
        ver.face = FontFace::Sans;
        ver.bold = false;
        caps[k - 1].geo.height = 50;
    }
    for (int i = 1; i <= 4; ++i) {
        LabelModel& g = labGruppi[i - 1];
        g.caption = QString(QChar('A' + i - 1));
        g.colour = colour::Maroon;
        for (int j = 1; j <= 8; ++j) {
            BeamIndicatorModel& r = raggio(i, j);
            r.code = 100 * i + j;
            r.geo.width = r.geo.height = 8;
        }
        bars[i - 1].geo.width = 84;
        bars[i - 1].geo.height = 12;
        sepDark[i - 1].geo = {0, 1, 1, 0};
        sepDark[i - 1].pen = colour::Gray;
        sepLight[i - 1].geo = {0, 1, 1, 0};
        sepLight[i - 1].pen = colour::White;
    }
    for (int j = 1; j <= 8; ++j) labRaggi[j - 1] = legend(QByteArray::number(j).constData());
    labAlarm = legend("Alarm");
    labTamp = legend("Tamp.");
    labFail = legend("Fail.");
    labDisq = legend("Disq.");
    labStb = legend("Stb");
    labBlind = legend("Blind");
    labPower = legend("Power");
    for (LabelModel& l : labLetters) l = legend("");
    setItalian(false);
    for (SoundSwitchModel* s : {&soundBeams, &soundLeds}) s->geo = {0, 2, 50, 20};

    layout(29);
    for (int i = 1; i <= 4; ++i) labGruppi[i - 1].geo.top = labBarre[2 * i - 1].geo.top - 8;
    dimeLed = 0;
}

void MonitorModel::setItalian(bool italian) {
    static const char* const en[5] = {"B", "E", "A", "M", "S"};
    static const char* const it[5] = {"R", "A", "G", "G", "I"};
    for (int m = 0; m < 5; ++m) {
        labLetters[m].caption = QString::fromLatin1(italian ? it[m] : en[m]);
        autoSize(labLetters[m]);
    }
    labBlind.caption = italian ? QStringLiteral("Cieco") : QStringLiteral("Blind");
    autoSize(labBlind);
}

void MonitorModel::autoSize(LabelModel& label) {
    const TextBox box = measureText(label.face, label.fontSize, label.caption);
    label.geo.width = box.width;
    label.geo.height = box.height;
}

void MonitorModel::autoSize() {
    for (auto* group : {&labBarre, &labVers, &labRaggi})
        for (LabelModel& l : *group) autoSize(l);
    for (LabelModel& l : labGruppi) autoSize(l);
    for (LabelModel& l : labLetters) autoSize(l);
    for (LabelModel* l : {&labAlarm, &labTamp, &labFail, &labDisq, &labStb, &labPower, &labBlind}) autoSize(*l);
}

void MonitorModel::SetDimeLed(int v) {
    if (v == dimeLed) return;
    // The zoom table never asks for more or less; anything else would give
    // negative shapes (or overflow), so it is ignored.
    if (v < kMinDimeLed || v > kMaxDimeLed) return;
    dimeLed = v;
    layout(v);
}

void MonitorModel::layout(int v) {
    // 1. Barriers, their LEDs and the labels and heads that follow them.
    for (int k = 1; k <= 8; ++k) {
        BarrierModel& b = barrier(k);
        for (LedModel& l : b.leds) {
            l.geo.height = v;
            l.geo.width = l.geo.height;
            l.lensGeo.width = l.geo.width - 6;
            l.lensGeo.height = l.lensGeo.width;
            Geometry& g1 = l.glint[0];
            Geometry& g2 = l.glint[1];
            Geometry& g3 = l.glint[2];
            g1.width = l.geo.width / 4;
            g1.height = g1.width;
            g2.left = g1.left + g1.height - 2;
            g2.width = g1.width - 2;
            g2.height = g2.width;
            g3.top = g2.left;
            g3.left = g1.left + 2;
            g3.width = g1.width - 1;
            g3.height = g3.width;
        }
        for (int j = 1; j <= 8; ++j) led(k, j).geo.top = v * (8 - j);
        led(k, 9).geo.top = led(k, 1).geo.top + led(k, 9).geo.height + 10;
        for (int n = 10; n <= 14; ++n) led(k, n).geo.top = led(k, n - 1).geo.top + led(k, n - 1).geo.height;
        b.geo.height = led(k, 14).geo.top + led(k, 14).geo.height + 2;
        b.geo.width = led(k, 14).geo.width + 3;
        b.geo.left = (b.geo.width + 8) * (k - 1) + 3;

        LabelModel& ver = labVers[k - 1];
        ver.geo.top = b.geo.top + b.geo.height;
        ver.geo.left = b.geo.left;
        setFont(ver, v / 2 - 6);

        Geometry& cap = caps[k - 1].geo;
        cap.top = b.geo.top - 25;
        cap.left = b.geo.left;
        cap.width = b.geo.width;

        LabelModel& num = labBarre[k - 1];
        num.geo.top = b.geo.top - 20;
        num.geo.left = b.geo.left + b.geo.width / 2 - 4;
        setFont(num, v / 2 - 1);
    }
    // 2. Per couple: beam indicators, letter, power bar.
    for (int i = 1; i <= 4; ++i) {
        for (int j = 1; j <= 8; ++j) {
            Geometry& r = raggio(i, j).geo;
            r.top = led(1, j).geo.top + barrier(1).geo.top + led(1, j).geo.width / 2 - 4;
            r.left = barrier(2 * i).geo.left - r.width;
        }
        LabelModel& letter = labGruppi[i - 1];
        letter.geo.left = raggio(i, 1).geo.left - 2;
        setFont(letter, v / 2 - 1);

        Geometry& bar = bars[i - 1].geo;
        bar.top = labVers[i - 1].geo.top + labVers[i - 1].geo.height;
        bar.left = barrier(2 * i - 1).geo.left;
        bar.width = barrier(2).geo.left + barrier(2).geo.width - 3;
    }
    // 3. Separators right of every couple.
    for (int i = 1; i <= 4; ++i) {
        Geometry& dark = sepDark[i - 1].geo;
        dark.left = barrier(2 * i).geo.left + barrier(2 * i).geo.width + 2;
        dark.height = bars[i - 1].geo.top + bars[i - 1].geo.height;
        Geometry& light = sepLight[i - 1].geo;
        light.left = dark.left + 2;
        light.height = dark.height;
    }
    const int legendLeft = sepLight[3].geo.left + 2;
    // 4. Beam numbers.
    for (int j = 1; j <= 8; ++j) {
        LabelModel& l = labRaggi[j - 1];
        l.geo.top = raggio(1, j).geo.top - 10;
        l.geo.left = legendLeft;
        setFont(l, v / 2);
    }
    // 5. Legends beside the status LEDs, and "Power".
    LabelModel* status[6] = {&labAlarm, &labTamp, &labFail, &labDisq, &labStb, &labBlind};
    for (int m = 0; m < 6; ++m) status[m]->geo.top = barrier(1).geo.top + led(1, 9 + m).geo.top;
    labPower.geo.top = bars[0].geo.top - 5;
    for (LabelModel* l : {&labAlarm, &labTamp, &labFail, &labDisq, &labStb, &labBlind, &labPower}) {
        l->geo.left = legendLeft;
        setFont(*l, v / 2);
    }
    // 6. The vertical letters beside beam numbers 7..3.
    for (int m = 0; m < 5; ++m) {
        const LabelModel& beside = labRaggi[7 - m - 1];
        LabelModel& l = labLetters[m];
        l.geo.top = beside.geo.top;
        l.geo.left = beside.geo.left + beside.geo.width + 20;
        setFont(l, v / 2);
    }
    // 7. Beep switches.
    soundBeams.geo.left = labRaggi[0].geo.left;
    soundBeams.geo.width = labLetters[0].geo.left + labLetters[0].geo.height - soundBeams.geo.left;
    soundLeds.geo.left = soundBeams.geo.left;
    soundLeds.geo.top = labBlind.geo.top + labBlind.geo.height - 3;
    soundLeds.geo.width = soundBeams.geo.width;
    // 8. The monitor itself.
    geo.height = bars[0].geo.top + geo.top + bars[0].geo.height;
    geo.width = labAlarm.geo.left + geo.left + labAlarm.geo.width + 5;
    // At small sizes the letters and the beep switches reach past the
    // legends; widen just enough not to cut them off.
    int right = soundBeams.geo.left + soundBeams.geo.width;
    for (const LabelModel& l : labLetters) right = std::max(right, l.geo.left + l.geo.width);
    geo.width = std::max(geo.width, right + 2);
}

MonitorHit MonitorModel::hitTest(QPoint p) const {
    const int x = p.x(), y = p.y();
    MonitorHit hit;
    // Panels lie above shapes and labels, later ones above earlier ones.
    for (int i = 4; i >= 1; --i)
        for (int j = 8; j >= 1; --j) {
            const BeamIndicatorModel& r = raggio(i, j);
            if (r.visible && r.geo.contains(x, y)) {
                hit.kind = MonitorHit::Beam;
                hit.couple = i;
                hit.beam = j;
                hit.clickBarra = QString::number(r.code / 100 * 100);
                hit.clickLed = QString::number(r.code % 100);
                return hit;
            }
        }
    for (int k = 8; k >= 1; --k) {
        const BarrierModel& b = barrier(k);
        if (!b.visible || !b.geo.contains(x, y)) continue;
        for (int n = 14; n >= 1; --n) {
            const LedModel& l = led(k, n);
            if (l.visible && ledRect(k, n).contains(x, y)) {
                hit.kind = MonitorHit::Led;
                hit.barrier = k;
                hit.led = n;
                hit.clickBarra = QString::number(k);
                hit.clickLed = QString::number(l.code);
                return hit;
            }
        }
        hit.kind = MonitorHit::Inert;
        return hit;
    }
    // Shapes, labels, gauges and buttons, in reverse order of creation.
    auto on = [&](const Geometry& g, bool visible) { return visible && g.contains(x, y); };
    auto only = [](MonitorHit::Kind kind) {
        MonitorHit h;
        h.kind = kind;
        return h;
    };
    if (on(soundLeds.geo, soundLeds.visible)) return only(MonitorHit::SoundLeds);
    if (on(soundBeams.geo, soundBeams.visible)) return only(MonitorHit::SoundBeams);
    for (const LabelModel& l : labLetters)
        if (on(l.geo, l.visible)) return only(MonitorHit::Inert);
    for (const LabelModel* l : {&labAlarm, &labTamp, &labFail, &labDisq, &labStb, &labBlind, &labPower})
        if (on(l->geo, l->visible)) return only(MonitorHit::Inert);
    for (const LabelModel& l : labRaggi)
        if (on(l.geo, l.visible)) return only(MonitorHit::Inert);
    for (int i = 4; i >= 1; --i) {
        if (on(sepLight[i - 1].geo, sepLight[i - 1].visible) || on(sepDark[i - 1].geo, sepDark[i - 1].visible))
            return only(MonitorHit::Inert);
    }
    for (int i = 4; i >= 1; --i) {
        if (on(bars[i - 1].geo, bars[i - 1].visible)) return only(MonitorHit::Inert);
        const LabelModel& letter = labGruppi[i - 1];
        if (on(letter.geo, letter.visible)) {
            hit.kind = MonitorHit::CoupleLetter;
            hit.couple = i;
            hit.clickBarra = QString::number(10 + i);
            hit.clickLed = QStringLiteral("0");
            return hit;
        }
    }
    for (int k = 8; k >= 1; --k) {
        const LabelModel& num = labBarre[k - 1];
        if (on(num.geo, num.visible)) {
            hit.kind = MonitorHit::BarrierLabel;
            hit.barrier = k;
            hit.clickBarra = num.caption;
            hit.clickLed = QStringLiteral("0");
            return hit;
        }
        if (on(caps[k - 1].geo, caps[k - 1].visible) || on(labVers[k - 1].geo, labVers[k - 1].visible))
            return only(MonitorHit::Inert);
    }
    return hit; // the monitor's own background
}

bool MonitorModel::applyClick(const MonitorHit& hit) {
    switch (hit.kind) {
    case MonitorHit::Background: return true;
    case MonitorHit::Inert: return false;
    case MonitorHit::SoundBeams: soundBeams.toggle(); return false;
    case MonitorHit::SoundLeds: soundLeds.toggle(); return false;
    case MonitorHit::Led:
    case MonitorHit::BarrierLabel:
    case MonitorHit::CoupleLetter:
    case MonitorHit::Beam:
        clickBarra = hit.clickBarra;
        clickLed = hit.clickLed;
        return true;
    }
    return false;
}

} // namespace hub
