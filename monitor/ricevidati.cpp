#include "monitor/ricevidati.h"

#include <bit>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace hub {

namespace {

// All-ones when c, else zero: selects without branches. Replayed records flip
// bits at random, so branches on them mispredict and dominate the cost.
inline Rgb maskOf(bool c) { return Rgb(0) - Rgb(c); }
inline Rgb pick(bool c, Rgb yes, Rgb no) { return no ^ ((yes ^ no) & maskOf(c)); }

// Bit 7 of each byte of the result set when that byte of x is not zero.
inline std::uint64_t nonZeroBytes(std::uint64_t x) {
    constexpr std::uint64_t low7 = 0x7F7F7F7F7F7F7F7Full;
    return (((x & low7) + low7) | x) & ~low7;
}

// Bits 7, 15, ... 63 gathered into bits 0..7.
inline unsigned gatherHighBits(std::uint64_t h) {
    return static_cast<unsigned>(((h >> 7) * 0x0102040810204080ull) >> 56);
}

// Bit i set when byte i of a differs from byte i of b.
inline unsigned changedBytes(const StateRecord& a, const StateRecord& b) {
    std::uint64_t a8, b8;
    std::uint32_t a4, b4;
    std::memcpy(&a8, a.data(), 8);
    std::memcpy(&b8, b.data(), 8);
    std::memcpy(&a4, a.data() + 8, 4);
    std::memcpy(&b4, b.data() + 8, 4);
    return gatherHighBits(nonZeroBytes(a8 ^ b8)) |
           gatherHighBits(nonZeroBytes(std::uint64_t(a4 ^ b4))) << 8;
}

// One status LED: ON colour, and a count and a white ring when it was OFF
// with the previous byte; OFF colour otherwise.
inline void applyStatus(LedModel& led, unsigned now, unsigned before, Rgb on, Rgb off,
                        unsigned& ledEvent) {
    now &= 1u;
    led.lens = pick(now, on, off);
    const unsigned rises = now & ~before & 1u;
    led.count += rises;
    led.ring = pick(rises, colour::White, led.ring);
    ledEvent |= rises;
}

// Beam LEDs of one barrier for the bits in todo: a set bit in now gives lime
// and a white ring (counted when clear before), a clear bit green.
// Returns 1 when a beam was interrupted (its barrier's blink restarts).
inline unsigned applyBeams(BarrierModel& bar, std::uint8_t now, std::uint8_t before,
                           unsigned todo) {
    const unsigned rising = static_cast<unsigned>(now & ~before);
    unsigned counted = 0;
    while (todo) {
        const int n = std::countr_zero(todo);
        todo &= todo - 1;
        LedModel& led = bar.leds[n];
        // A silver lens is a beam the settings declared absent: records never touch it.
        if (led.lens == colour::Silver) continue;
        const unsigned on = (now >> n) & 1u;
        led.lens = pick(on, colour::Lime, colour::Green);
        led.ring = pick(on, colour::White, led.ring);
        const unsigned r = (rising >> n) & 1u;
        led.count += r;
        counted |= r;
    }
    return counted;
}

// The status LEDs of a barrier (first of its couple or second); s is the
// couple's working status byte, which a Blind event consumes.
inline void applyStatusLeds(BarrierModel& bar, bool first, std::uint8_t& s, std::uint8_t p,
                            unsigned& ledEvent) {
    using namespace CoupleStatus;
    auto& L = bar.leds;
    const unsigned sv = s, pv = p;
    applyStatus(L[Led::Alarm - 1], sv >> 1, pv >> 1, colour::Red, colour::Maroon, ledEvent);
    // Blind names one barrier: the first when Stand-by is set with it, else the
    // second. The event takes both bits, so Stb reads OFF for the blinded barrier
    // and the second barrier sees nothing of it. Blind clear shows maroon; Blind
    // for the other barrier leaves the lens alone.
    const unsigned blind = sv & Blind;
    const unsigned mine = blind & ((sv >> 7) ^ unsigned(!first));
    LedModel& bl = L[Led::Blind - 1];
    bl.lens = pick(blind, pick(mine, colour::Red, bl.lens), colour::Maroon);
    const unsigned blindRises = mine & ~pv & 1u;
    bl.count += blindRises;
    bl.ring = pick(blindRises, colour::White, bl.ring);
    ledEvent |= blindRises;
    const unsigned st = sv & ~(maskOf(mine) & (Standby | Blind));
    s = static_cast<std::uint8_t>(st);

    applyStatus(L[Led::Standby - 1], st >> 7, pv >> 7, colour::Aqua, colour::Navy, ledEvent);
    applyStatus(L[Led::Failure - 1], st >> 4, pv >> 4, colour::Red, colour::Maroon, ledEvent);
    const int tamper = first ? 6 : 5; // TamperFirst, TamperSecond
    applyStatus(L[Led::Tamper - 1], st >> tamper, pv >> tamper, colour::Red, colour::Maroon,
                ledEvent);
    const int disq = first ? 3 : 2;   // DisqFirst, DisqSecond
    applyStatus(L[Led::Disqualify - 1], st >> disq, pv >> disq, colour::Yellow, colour::Olive,
                ledEvent);
}

static_assert(CoupleStatus::Alarm == 1 << 1 && CoupleStatus::Failure == 1 << 4 &&
                  CoupleStatus::Standby == 1 << 7 && CoupleStatus::TamperFirst == 1 << 6 &&
                  CoupleStatus::TamperSecond == 1 << 5 && CoupleStatus::DisqFirst == 1 << 3 &&
                  CoupleStatus::DisqSecond == 1 << 2,
              "the status LEDs above shift these bits down");

// Head blink after a record: the countdowns of the barriers in restarted are
// loaded with BlinkCount; then a running countdown (not in "Compact") steps
// and swaps its head between gray and black; any other head is gray.
// Branch-free: this runs for every barrier on every record and branches on the
// countdowns mispredict.
#if defined(__SSE2__)
inline __m128i brushes4(const MonitorModel& m, int q) {
    const auto at = [&](int k) { return _mm_cvtsi32_si128(static_cast<int>(m.caps[q + k].brush)); };
    return _mm_unpacklo_epi64(_mm_unpacklo_epi32(at(0), at(1)), _mm_unpacklo_epi32(at(2), at(3)));
}

inline void stepHeads(MonitorModel& m, HubState& hub, unsigned restarted, bool compact) {
    // The countdowns are only read and written four at a time: a narrow store
    // followed by a wide load of the same bytes stalls the pipeline.
    const __m128i gray = _mm_set1_epi32(static_cast<int>(colour::Gray));
    const __m128i running = compact ? _mm_setzero_si128() : _mm_set1_epi32(-1);
    const __m128i bits = _mm_setr_epi32(1, 2, 4, 8);
    const __m128i count = _mm_set1_epi32(hub.stream.blinkCount);
    auto* blink = reinterpret_cast<__m128i*>(hub.blink.data());
    for (int q = 0; q < 8; q += 4, ++blink) {
        const __m128i mask = _mm_set1_epi32(static_cast<int>(restarted >> q));
        const __m128i restart = _mm_cmpeq_epi32(_mm_and_si128(bits, mask), bits);
        __m128i b = _mm_loadu_si128(blink);
        b = _mm_or_si128(_mm_and_si128(restart, count), _mm_andnot_si128(restart, b));
        const __m128i step = _mm_and_si128(_mm_cmpgt_epi32(b, _mm_setzero_si128()), running);
        const __m128i black = _mm_and_si128(step, _mm_cmpeq_epi32(brushes4(m, q), gray));
        const __m128i now = _mm_andnot_si128(black, gray);
        _mm_storeu_si128(blink, _mm_add_epi32(b, step)); // step is -1 where it runs
        m.caps[q].brush = static_cast<Rgb>(_mm_cvtsi128_si32(now));
        m.caps[q + 1].brush = static_cast<Rgb>(_mm_cvtsi128_si32(_mm_shuffle_epi32(now, 0x55)));
        m.caps[q + 2].brush = static_cast<Rgb>(_mm_cvtsi128_si32(_mm_shuffle_epi32(now, 0xAA)));
        m.caps[q + 3].brush = static_cast<Rgb>(_mm_cvtsi128_si32(_mm_shuffle_epi32(now, 0xFF)));
    }
}
#else
inline void stepHeads(MonitorModel& m, HubState& hub, unsigned restarted, bool compact) {
    const unsigned running = compact ? 0u : 1u;
    for (int b = 0; b < 8; ++b) {
        int& blink = hub.blink[b];
        blink = (restarted >> b) & 1u ? hub.stream.blinkCount : blink;
        Rgb& brush = m.caps[b].brush;
        const unsigned step = static_cast<unsigned>(blink > 0) & running;
        brush = colour::Gray & maskOf(!(step & unsigned(brush == colour::Gray)));
        blink -= static_cast<int>(step);
    }
}
#endif

} // namespace

static_assert(colour::Black == 0, "the head blink below builds black as zero");
static_assert(sizeof(HubState::blink) == 8 * sizeof(std::int32_t), "blink countdowns are read four at a time");

bool RiceviDati(MonitorModel& m, HubState& hub, const StateRecord& n, bool beamSound,
                bool ledSound, bool compact) {
    unsigned ledEvent = 0;
    StateRecord& p = hub.previous;

    // Replays are mostly records that change one byte: visit only changed bytes.
    unsigned restarted = 0; // barriers whose blink countdown restarts
    if (unsigned changed = changedBytes(n, p)) {
        do {
            const int i = std::countr_zero(changed);
            changed &= changed - 1;
            const int j = i / 3;    // couple
            const int role = i - 3 * j;
            if (role < 2) { // beams of barrier 2j + role
                const int b = 2 * j + role;
                BarrierModel& bar = m.barre[b];
                const auto bit = static_cast<std::uint8_t>(1u << b);
                if (!bar.visible) { // not declared by the settings
                    hub.beamsDirty |= bit;
                    continue;
                }
                // A LED whose bit is the same in both records already shows
                // it, unless the barrier is marked dirty.
                const unsigned todo = (hub.beamsDirty & bit) ? 0xFFu : unsigned(n[i] ^ p[i]);
                hub.beamsDirty &= static_cast<std::uint8_t>(~bit);
                restarted |= applyBeams(bar, n[i], p[i], todo) << b;
            } else { // the couple's status
                std::uint8_t s = n[i]; // working copy, consumed by a Blind event
                const std::uint8_t ps = p[i];
                BarrierModel& first = m.barre[2 * j];
                BarrierModel& second = m.barre[2 * j + 1];
                if (first.visible) applyStatusLeds(first, true, s, ps, ledEvent);
                if (second.visible && s != ps) applyStatusLeds(second, false, s, ps, ledEvent);
            }
        } while (changed);
        p = n;
    }

    stepHeads(m, hub, restarted, compact);
    return (beamSound && restarted) || (ledSound && ledEvent);
}

} // namespace hub
