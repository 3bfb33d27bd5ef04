#pragma once
// RiceviDati's record application, inline, and the pieces of it the replay's
// batches (batchapply.h) build on: the status LED rules and the head blink in
// closed form.
#include "monitor/display/monitormodel.h"
#include "monitor/hubstate.h"
#include "monitor/staterecord.h"

#include <bit>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace hub::recordapply {

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

// What a couple's status byte does to the status LEDs of one of its barriers,
// the first or the second: each LED shows its ON or OFF colour, and one that
// was OFF with the previous byte p is counted and gets a white ring. s is the
// couple's working status byte, which a Blind event consumes.
struct StatusEffect {
    unsigned on;     // bit n - 9: LED n (9 Alarm .. 13 Standby) ON
    unsigned rises;  // bit n - 9: LED n (9 .. 14 Blind) came ON: lit and not before
    unsigned lit;    // bit n - 9: LED n (9 .. 14) lit by s
    unsigned before; // bit n - 9: LED n (9 .. 14) ON with p (depends on p alone)
    unsigned blind;  // the Blind bit is set
    unsigned mine;   // ... and names this barrier
    std::uint8_t st; // the working byte left for the second barrier
};

template <bool First>
inline StatusEffect statusEffect(std::uint8_t s, std::uint8_t p) {
    using namespace CoupleStatus;
    const unsigned sv = s, pv = p;
    // Blind names one barrier: the first when Stand-by is set with it, else the
    // second. The event takes both bits, so Stb reads OFF for the blinded barrier
    // and the second barrier sees nothing of it.
    const unsigned blind = sv & Blind;
    const unsigned mine = blind & ((sv >> 7) ^ (First ? 0u : 1u));
    const unsigned st = sv & ~(maskOf(mine) & (Standby | Blind));

    constexpr int tamper = First ? 6 : 5; // TamperFirst, TamperSecond
    constexpr int disq = First ? 3 : 2;   // DisqFirst, DisqSecond
    // ON now and ON before.
    const unsigned on = ((sv >> 1) & 1u) | ((st >> tamper) & 1u) << 1 | ((st >> 4) & 1u) << 2 |
                        ((st >> disq) & 1u) << 3 | ((st >> 7) & 1u) << 4;
    const unsigned before = ((pv >> 1) & 1u) | ((pv >> tamper) & 1u) << 1 |
                            ((pv >> 4) & 1u) << 2 | ((pv >> disq) & 1u) << 3 |
                            ((pv >> 7) & 1u) << 4 | (pv & 1u) << 5;
    const unsigned lit = on | mine << 5;
    return {on, lit & ~before, lit, before, blind, mine, static_cast<std::uint8_t>(st)};
}

// The lenses of LEDs 9..13 for the ON bits of a status effect.
inline void setStatusLenses(BarrierModel& bar, unsigned on) {
    auto& L = bar.leds;
    L[Led::Alarm - 1].lens = pick(on & 1u, colour::Red, colour::Maroon);
    L[Led::Tamper - 1].lens = pick(on & 2u, colour::Red, colour::Maroon);
    L[Led::Failure - 1].lens = pick(on & 4u, colour::Red, colour::Maroon);
    L[Led::Disqualify - 1].lens = pick(on & 8u, colour::Yellow, colour::Olive);
    L[Led::Standby - 1].lens = pick(on & 16u, colour::Aqua, colour::Navy);
}

// The status LEDs of a barrier for working byte s after p; s is left as the
// second barrier sees it. Returns 1 when a LED came ON.
template <bool First>
inline unsigned applyStatusLeds(BarrierModel& bar, std::uint8_t& s, std::uint8_t p) {
    const StatusEffect e = statusEffect<First>(s, p);
    s = e.st;
    setStatusLenses(bar, e.on);
    // Blind clear shows maroon; Blind for the other barrier leaves the lens alone.
    LedModel& bl = bar.leds[Led::Blind - 1];
    bl.lens = pick(e.blind, pick(e.mine, colour::Red, bl.lens), colour::Maroon);

    // A status change mostly brings one LED ON or none.
    unsigned rises = e.rises;
    while (rises) {
        LedModel& led = bar.leds[Led::Alarm - 1 + std::countr_zero(rises)];
        rises &= rises - 1;
        ++led.count;
        led.ring = colour::White;
    }
    return e.rises != 0;
}

static_assert(CoupleStatus::Alarm == 1 << 1 && CoupleStatus::Failure == 1 << 4 &&
                  CoupleStatus::Standby == 1 << 7 && CoupleStatus::TamperFirst == 1 << 6 &&
                  CoupleStatus::TamperSecond == 1 << 5 && CoupleStatus::DisqFirst == 1 << 3 &&
                  CoupleStatus::DisqSecond == 1 << 2,
              "the status LEDs above shift these bits down");

static_assert(colour::Black == 0, "the head blink below builds black as zero");
static_assert(sizeof(HubState::blink) == 8 * sizeof(std::int32_t),
              "blink countdowns are read four at a time");

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


// The LEDs of record n against hub.previous, then hub.previous := n (the head
// blink is the caller's). onBeams(b, counted) is called for every visible
// barrier b (0-based) whose beam byte changed; counted is 1 when a beam was
// interrupted, which restarts the barrier's blink countdown. Returns 1 when a
// status LED came ON.
template <class OnBeams>
inline unsigned applyLeds(MonitorModel& m, HubState& hub, const StateRecord& n,
                          OnBeams&& onBeams) {
    unsigned ledEvent = 0;
    StateRecord& p = hub.previous;
    // Replays are mostly records that change one byte: visit only changed bytes.
    unsigned changed = changedBytes(n, p);
    if (!changed) return 0;
    do {
        const int i = std::countr_zero(changed);
        changed &= changed - 1;
        const int j = i / 3; // couple
        const int role = i - 3 * j;
        if (role < 2) { // beams of barrier 2j + role
            const int b = 2 * j + role;
            BarrierModel& bar = m.barre[b];
            const auto bit = static_cast<std::uint8_t>(1u << b);
            if (!bar.visible) { // not declared by the settings
                hub.beamsDirty |= bit;
                continue;
            }
            // A LED whose bit is the same in both records already shows it,
            // unless the barrier is marked dirty.
            const unsigned todo = (hub.beamsDirty & bit) ? 0xFFu : unsigned(n[i] ^ p[i]);
            hub.beamsDirty &= static_cast<std::uint8_t>(~bit);
            onBeams(b, applyBeams(bar, n[i], p[i], todo));
        } else { // the couple's status
            std::uint8_t s = n[i]; // working copy, consumed by a Blind event
            const std::uint8_t ps = p[i];
            BarrierModel& first = m.barre[2 * j];
            BarrierModel& second = m.barre[2 * j + 1];
            if (first.visible) ledEvent |= applyStatusLeds<true>(first, s, ps);
            if (second.visible && s != ps) ledEvent |= applyStatusLeds<false>(second, s, ps);
        }
    } while (changed);
    p = n;
    return ledEvent;
}

// The head blink of a replay in closed form. Stepping all eight heads on every
// record costs more than the rest of the record; between two restarts of its
// countdown a head's course is fixed, so each barrier's head and countdown are
// brought up to date only when its beams are interrupted (the countdown
// restarts) and when the model is looked at (settle). The result is the same
// as stepping every record.
class HeadClock {
public:
    HeadClock(MonitorModel& m, HubState& hub, bool compact)
        : m_(m), hub_(hub), running_(compact ? 0 : 1) {}

    // Restarts of barrier b at records base + 1 + i for each bit i of mask, in
    // order. After the first the countdown always starts from BlinkCount, so
    // only the head's colour is carried from one to the next: a restart more
    // than BlinkCount records after the one before finds the head gray and
    // turns it black; a nearer one swaps it once for every record between them
    // and once more. The last restart's head follows from the last of the far
    // ones (or the one before the mask) and the parity of the distance.
    void restartRun(int b, std::uint64_t mask, std::int64_t base) {
        if (!mask) return;
        if (!(fresh_ >> b & 1u)) {
            restartAt(b, base + 1 + std::countr_zero(mask));
            mask &= mask - 1;
            if (!mask) return;
        }
        const std::int64_t count = hub_.stream.blinkCount;
        const std::int64_t live0 = running_ & (count > 0);
        const std::int64_t at = at_[b];
        const std::int64_t last = base + 1 + (63 - std::countl_zero(mask));
        const std::int64_t first = base + 1 + std::countr_zero(mask);
        // Restarts with another one in the count records before them.
        std::uint64_t near;
        if (count >= 64) {
            const std::uint64_t low = mask & (~mask + 1);
            near = ~((low << 1) - 1);
        } else {
            near = spread(mask, static_cast<int>(count < 0 ? 0 : count)) << 1;
        }
        std::uint64_t far = mask & ~near;
        far &= far - std::uint64_t(first - at <= count); // the first is near the restart before the mask
        const std::int64_t black0 = m_.caps[b].brush != colour::Gray;
        const std::int64_t fromFar = 1 ^ ((last - (base + 1 + (63 - std::countl_zero(far | 1)))) & 1);
        const std::int64_t fromBefore = black0 ^ ((last - at) & 1);
        const std::int64_t black = live0 & (far ? fromFar : fromBefore);
        hub_.blink[b] = static_cast<int>(count - live0);
        m_.caps[b].brush = black ? colour::Black : colour::Gray;
        at_[b] = last;
        fresh_ |= 1u << b;
    }
    // The count of state records applied so far.
    void setNow(std::int64_t n) { now_ = n; }
    // Every head and countdown as after stepping each record so far.
    void settle() {
        fresh_ = 0;
        for (int b = 0; b < 8; ++b) {
            std::int64_t c = hub_.blink[b];
            Rgb w = m_.caps[b].brush;
            advance(c, w, now_ - at_[b]);
            hub_.blink[b] = static_cast<int>(c);
            m_.caps[b].brush = w;
            at_[b] = now_;
        }
    }

private:
    // Barrier b's countdown restarted at record r (1-based, not before its
    // last restart), from whatever state its head was in.
    void restartAt(int b, std::int64_t r) {
        int& blink = hub_.blink[b];
        Rgb& brush = m_.caps[b].brush;
        std::int64_t c = blink;
        Rgb w = brush;
        advance(c, w, r - 1 - at_[b]);
        c = hub_.stream.blinkCount; // restart, then this record's step
        const std::int64_t live = running_ & (c > 0);
        w = colour::Gray & (Rgb(live & (w == colour::Gray)) - 1u);
        c -= live;
        blink = static_cast<int>(c);
        brush = w;
        at_[b] = r;
        fresh_ |= 1u << b;
    }

    // Bits i + 0 .. i + n - 1 for every bit i of m (n < 64; bits past 63 drop).
    static std::uint64_t spread(std::uint64_t m, int n) {
        std::uint64_t r = 0, w = m; // w: bits i + 0 .. i + width - 1
        int width = 1, offset = 0;
        while (n) {
            if (n & 1) {
                r |= w << offset;
                offset += width;
            }
            n >>= 1;
            if (n) {
                w |= w << width;
                width *= 2;
            }
        }
        return r;
    }

    // Countdown c and head w after k >= 0 more steps. A running countdown
    // steps min(k, c) times, swapping the head between gray and black each
    // time; the step after it reaches 0 leaves the head gray, as does every
    // step of a countdown that does not run.
    void advance(std::int64_t& c, Rgb& w, std::int64_t k) const {
        const std::int64_t live = running_ & (c > 0);
        const std::int64_t within = live & (k <= c);
        const std::int64_t any = k > 0;
        const std::int64_t black = within & ((w == colour::Gray) ^ ((k & 1) == 0));
        c -= (k & -within) | (c & -(live & ~within & 1));
        const Rgb after = colour::Gray & (Rgb(black) - 1u);
        w ^= (w ^ after) & (Rgb(0) - Rgb(any));
    }

    MonitorModel& m_;
    HubState& hub_;
    const std::int64_t running_; // 0 in "Compact": heads do not blink
    std::int64_t now_ = 0;              // state records applied (setNow)
    std::array<std::int64_t, 8> at_{};  // record each head is up to date with
    unsigned fresh_ = 0; // heads whose record at_ restarted them (the countdown is BlinkCount less its step)
};

} // namespace hub::recordapply
