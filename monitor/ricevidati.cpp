#include "monitor/ricevidati.h"

namespace hub {

namespace {

// A status LED shows its ON or OFF colour; one that comes ON is counted and
// keeps a white ring.
void statusLed(LedModel& led, bool on, bool before, Rgb onColour, Rgb offColour, bool& event) {
    if (!on) {
        led.lens = offColour;
        return;
    }
    led.lens = onColour;
    if (before) return;
    ++led.count;
    led.SetRingWhite();
    event = true;
}

// The status LEDs of one barrier for the couple's working byte s after p.
// A Blind event for this barrier takes the Blind and Stand-by bits out of s,
// so Stb shows OFF here and the second barrier sees nothing of it.
void applyStatus(BarrierModel& bar, bool first, std::uint8_t& s, std::uint8_t p, bool& event) {
    using namespace CoupleStatus;
    if (s == p) return;
    auto led = [&bar](int n) -> LedModel& { return bar.leds[n - 1]; };
    statusLed(led(Led::Alarm), s & Alarm, p & Alarm, colour::Red, colour::Maroon, event);
    if (!(s & Blind)) {
        led(Led::Blind).SetMaroon();
    } else if (bool(s & Standby) == first) { // Stand-by with it names the first barrier
        statusLed(led(Led::Blind), true, p & Blind, colour::Red, colour::Maroon, event);
        s &= static_cast<std::uint8_t>(~(Standby | Blind));
    } // else Blind names the other barrier: this one's Blind LED stays as it is
    statusLed(led(Led::Standby), s & Standby, p & Standby, colour::Aqua, colour::Navy, event);
    statusLed(led(Led::Failure), s & Failure, p & Failure, colour::Red, colour::Maroon, event);
    const std::uint8_t tamper = first ? TamperFirst : TamperSecond;
    statusLed(led(Led::Tamper), s & tamper, p & tamper, colour::Red, colour::Maroon, event);
    const std::uint8_t disq = first ? DisqFirst : DisqSecond;
    statusLed(led(Led::Disqualify), s & disq, p & disq, colour::Yellow, colour::Olive, event);
}

// The beam LEDs of a barrier whose beam byte changed. A silver lens is a beam
// the settings declared absent: records never touch it. Returns true when a
// beam was interrupted that was not before.
bool applyBeams(BarrierModel& bar, std::uint8_t now, std::uint8_t before) {
    bool interrupted = false;
    for (int k = 0; k < 8; ++k) {
        LedModel& led = bar.leds[k];
        if (led.lens == colour::Silver) continue;
        const unsigned bit = 1u << k;
        if (!(now & bit)) {
            led.SetGreen();
            continue;
        }
        led.SetLime();
        led.SetRingWhite();
        if (!(before & bit)) {
            ++led.count;
            interrupted = true;
        }
    }
    return interrupted;
}

} // namespace

bool applyCoupleStatus(BarrierModel* first, BarrierModel* second, std::uint8_t s,
                       std::uint8_t p) {
    bool event = false;
    if (first) applyStatus(*first, true, s, p, event);
    if (second) applyStatus(*second, false, s, p, event);
    return event;
}

bool RiceviDati(MonitorModel& m, HubState& hub, const StateRecord& n, bool beamSound,
                bool ledSound, bool compact) {
    const StateRecord& p = hub.previous;
    bool beamEvent = false, ledEvent = false;
    // A barrier the settings did not declare (its column hidden) is skipped.
    for (int j = 0; j < 4; ++j) {
        BarrierModel* shown[2] = {};
        for (int r = 0; r < 2; ++r) {
            const int b = 2 * j + r;
            BarrierModel& bar = m.barre[b];
            if (!bar.visible) continue;
            shown[r] = &bar;
            const int i = 3 * j + r;
            if (n[i] != p[i] && applyBeams(bar, n[i], p[i])) {
                hub.blink[b] = hub.stream.blinkCount;
                beamEvent = true;
            }
        }
        ledEvent |= applyCoupleStatus(shown[0], shown[1], n[3 * j + 2], p[3 * j + 2]);
    }
    hub.previous = n;

    // The head of a barrier whose beams were interrupted blinks for BlinkCount
    // records; in "Compact" it stays gray and its countdown waits.
    for (int b = 0; b < 8; ++b) {
        Rgb& head = m.caps[b].brush;
        if (hub.blink[b] > 0 && !compact) {
            head = head == colour::Gray ? colour::Black : colour::Gray;
            --hub.blink[b];
        } else {
            head = colour::Gray;
        }
    }
    return (beamSound && beamEvent) || (ledSound && ledEvent);
}

} // namespace hub
