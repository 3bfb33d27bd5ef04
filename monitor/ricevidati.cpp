#include "monitor/ricevidati.h"

#include <bit>
#include <cstring>

namespace hub {

namespace {

// One status LED: ON colour, and a count and a white ring when it was OFF
// with the previous byte; OFF colour otherwise. Written without branches on
// the bits: replayed records flip them at random and mispredictions dominate.
inline void applyStatus(LedModel& led, bool now, bool before, Rgb on, Rgb off, bool& ledEvent) {
    led.lens = now ? on : off;
    const bool rises = now && !before;
    led.count += rises;
    led.ring = rises ? colour::White : led.ring;
    ledEvent |= rises;
}

// Beam LEDs of one barrier for the bits in todo: a set bit in now gives lime
// and a white ring (counted when clear before), a clear bit green.
inline void applyBeams(BarrierModel& bar, std::uint8_t now, std::uint8_t before, unsigned todo,
                       int& blink, int blinkCount, bool& beamEvent) {
    const unsigned rising = static_cast<unsigned>(now & ~before);
    unsigned counted = 0;
    while (todo) {
        const int n = std::countr_zero(todo);
        todo &= todo - 1;
        LedModel& led = bar.leds[n];
        // A silver lens is a beam the settings declared absent: records never touch it.
        if (led.lens == colour::Silver) continue;
        const bool on = (now >> n) & 1u;
        led.lens = on ? colour::Lime : colour::Green;
        led.ring = on ? colour::White : led.ring;
        const unsigned r = (rising >> n) & 1u;
        led.count += r;
        counted |= r;
    }
    if (counted) {
        blink = blinkCount;
        beamEvent = true;
    }
}

// The status LEDs of barrier b (first of its couple when odd); s is the
// couple's working status byte, which a Blind event consumes.
inline void applyStatusLeds(BarrierModel& bar, bool first, std::uint8_t& s, std::uint8_t p,
                            bool& ledEvent) {
    using namespace CoupleStatus;
    auto& L = bar.leds;
    applyStatus(L[Led::Alarm - 1], s & Alarm, p & Alarm, colour::Red, colour::Maroon, ledEvent);
    // Blind names one barrier: the first when Stand-by is set with it, else the
    // second. The event takes both bits, so Stb reads OFF for the blinded barrier
    // and the second barrier sees nothing of it.
    if (!(s & Blind)) {
        L[Led::Blind - 1].SetMaroon();
    } else if (((s & Standby) != 0) == first) {
        applyStatus(L[Led::Blind - 1], true, p & Blind, colour::Red, colour::Maroon, ledEvent);
        s = static_cast<std::uint8_t>(s & ~(Standby | Blind));
    }
    applyStatus(L[Led::Standby - 1], s & Standby, p & Standby, colour::Aqua, colour::Navy,
                ledEvent);
    applyStatus(L[Led::Failure - 1], s & Failure, p & Failure, colour::Red, colour::Maroon,
                ledEvent);
    const std::uint8_t tamper = first ? TamperFirst : TamperSecond;
    applyStatus(L[Led::Tamper - 1], s & tamper, p & tamper, colour::Red, colour::Maroon, ledEvent);
    const std::uint8_t disq = first ? DisqFirst : DisqSecond;
    applyStatus(L[Led::Disqualify - 1], s & disq, p & disq, colour::Yellow, colour::Olive,
                ledEvent);
}

} // namespace

static_assert(colour::Black == 0, "the head blink below builds black as zero");

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
                const std::uint8_t nb = n[o + half];
                const std::uint8_t pb = p[o + half];
                const auto bit = static_cast<std::uint8_t>(1u << b);
                if (!bar.visible) { // not declared by the settings
                    if (nb != pb) hub.beamsDirty |= bit;
                    continue;
                }
                if (nb != pb) {
                    // A LED whose bit is the same in both records already shows
                    // it, unless the barrier is marked dirty.
                    const unsigned todo = (hub.beamsDirty & bit) ? 0xFFu : unsigned(nb ^ pb);
                    hub.beamsDirty &= static_cast<std::uint8_t>(~bit);
                    applyBeams(bar, nb, pb, todo, hub.blink[b], blinkCount, beamEvent);
                }
                if (s != p[o + 2]) applyStatusLeds(bar, half == 0, s, p[o + 2], ledEvent);
            }
        }
        p = n;
    }

    // Head blink: a blinking head swaps gray and black, any other is gray.
    // Arithmetic rather than branches: this runs for every barrier on every
    // record and the branches mispredict.
    const unsigned running = compact ? 0u : 1u;
    for (int b = 0; b < 8; ++b) {
        Rgb& brush = m.caps[b].brush;
        const unsigned step = static_cast<unsigned>(hub.blink[b] > 0) & running;
        const unsigned black = step & static_cast<unsigned>(brush == colour::Gray);
        brush = colour::Gray & (Rgb(0) - Rgb(black ^ 1u));
        hub.blink[b] -= static_cast<int>(step);
    }
    return (beamSound && beamEvent) || (ledSound && ledEvent);
}

} // namespace hub
