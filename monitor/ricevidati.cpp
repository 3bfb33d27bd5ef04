#include "monitor/ricevidati.h"

#include <cstring>

namespace hub {

namespace {

// One status LED: ON colour, and a count and a white ring when it was OFF
// with the previous byte; OFF colour otherwise.
inline void applyStatus(LedModel& led, bool now, bool before, void (LedModel::*on)(),
                        void (LedModel::*off)(), bool& ledEvent) {
    if (now) {
        (led.*on)();
        if (!before) {
            ++led.count;
            led.SetRingWhite();
            ledEvent = true;
        }
    } else {
        (led.*off)();
    }
}

inline void applyBeams(BarrierModel& bar, std::uint8_t now, std::uint8_t before, int& blink,
                       int blinkCount, bool& beamEvent) {
    for (int n = 0; n < 8; ++n) {
        LedModel& led = bar.leds[n];
        // A silver lens is a beam the settings declared absent: records never touch it.
        if (led.lens == colour::Silver) continue;
        const std::uint8_t mask = static_cast<std::uint8_t>(1u << n);
        if (now & mask) {
            led.SetLime();
            led.SetRingWhite();
            if (!(before & mask)) {
                ++led.count;
                blink = blinkCount;
                beamEvent = true;
            }
        } else {
            led.SetGreen();
        }
    }
}

// The status LEDs of barrier b (first of its couple when odd); s is the
// couple's working status byte, which a Blind event consumes.
inline void applyStatusLeds(BarrierModel& bar, bool first, std::uint8_t& s, std::uint8_t p,
                            bool& ledEvent) {
    using namespace CoupleStatus;
    auto& L = bar.leds;
    applyStatus(L[Led::Alarm - 1], s & Alarm, p & Alarm, &LedModel::SetRed, &LedModel::SetMaroon,
                ledEvent);
    // Blind names one barrier: the first when Stand-by is set with it, else the
    // second. The event takes both bits, so Stb reads OFF for the blinded barrier
    // and the second barrier sees nothing of it.
    if (!(s & Blind)) {
        L[Led::Blind - 1].SetMaroon();
    } else if (((s & Standby) != 0) == first) {
        applyStatus(L[Led::Blind - 1], true, p & Blind, &LedModel::SetRed, &LedModel::SetMaroon,
                    ledEvent);
        s = static_cast<std::uint8_t>(s & ~(Standby | Blind));
    }
    applyStatus(L[Led::Standby - 1], s & Standby, p & Standby, &LedModel::SetAqua,
                &LedModel::SetNavy, ledEvent);
    applyStatus(L[Led::Failure - 1], s & Failure, p & Failure, &LedModel::SetRed,
                &LedModel::SetMaroon, ledEvent);
    const std::uint8_t tamper = first ? TamperFirst : TamperSecond;
    applyStatus(L[Led::Tamper - 1], s & tamper, p & tamper, &LedModel::SetRed,
                &LedModel::SetMaroon, ledEvent);
    const std::uint8_t disq = first ? DisqFirst : DisqSecond;
    applyStatus(L[Led::Disqualify - 1], s & disq, p & disq, &LedModel::SetYellow,
                &LedModel::SetOlive, ledEvent);
}

} // namespace

bool RiceviDati(MonitorModel& m, HubState& hub, const StateRecord& n, bool beamSound,
                bool ledSound, bool compact) {
    bool beamEvent = false;
    bool ledEvent = false;
    StateRecord& p = hub.previous;

    // Replays are mostly records that change one byte: skip unchanged couples.
    if (std::memcmp(n.data(), p.data(), n.size()) != 0) {
        const int blinkCount = hub.stream.blinkCount;
        for (int j = 0; j < 4; ++j) {
            const int o = 3 * j;
            if (n[o] == p[o] && n[o + 1] == p[o + 1] && n[o + 2] == p[o + 2]) continue;
            std::uint8_t s = n[o + 2]; // working copy of the couple's status
            for (int half = 0; half < 2; ++half) {
                const int b = 2 * j + half; // 0-based barrier
                BarrierModel& bar = m.barre[b];
                if (!bar.visible) continue; // not declared by the settings
                if (n[o + half] != p[o + half])
                    applyBeams(bar, n[o + half], p[o + half], hub.blink[b], blinkCount, beamEvent);
                if (s != p[o + 2]) applyStatusLeds(bar, half == 0, s, p[o + 2], ledEvent);
            }
        }
        p = n;
    }

    for (int b = 0; b < 8; ++b) {
        Rgb& brush = m.caps[b].brush;
        if (hub.blink[b] > 0 && !compact) {
            brush = brush == colour::Gray ? colour::Black : colour::Gray;
            --hub.blink[b];
        } else {
            brush = colour::Gray;
        }
    }
    return (beamSound && beamEvent) || (ledSound && ledEvent);
}

} // namespace hub
