#pragma once
// The replay's record application, in batches. A replay applies millions of
// records and only the end (and each progress call) is ever looked at, so the
// beam LEDs' effects are gathered without branches and written into the model
// when it is settled: lenses from the last record, rings from the OR of what
// lit them, counters from bit-sliced adders. A status byte's effect on its two
// barriers depends only on it and the byte before, so it is looked up in a
// table. The result is the same as applying every record with RiceviDati
// (ricevidati.h), which the tests and the replay fuzz target check.
#include "monitor/display/monitormodel.h"
#include "monitor/hubstate.h"
#include "monitor/staterecord.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <emmintrin.h>
#include <memory>
#include <mutex>

namespace hub::recordapply {

// All-ones when c, else zero: selects without branches. Replayed records flip
// bits at random, so branches on them mispredict and dominate the cost.
inline Rgb maskOf(bool c) { return Rgb(0) - Rgb(c); }
inline Rgb pick(bool c, Rgb yes, Rgb no) { return no ^ ((yes ^ no) & maskOf(c)); }

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

static_assert(CoupleStatus::Alarm == 1 << 1 && CoupleStatus::Failure == 1 << 4 &&
                  CoupleStatus::Standby == 1 << 7 && CoupleStatus::TamperFirst == 1 << 6 &&
                  CoupleStatus::TamperSecond == 1 << 5 && CoupleStatus::DisqFirst == 1 << 3 &&
                  CoupleStatus::DisqSecond == 1 << 2,
              "the status LEDs above shift these bits down");

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

// A couple's status change, by previous byte (high) and new byte (low): the
// first barrier's effect in the low byte, the second's in the high one, each
// as bits 0-5 the LEDs 9..14 that come ON, bit 6 the Blind lens set, bit 7 set
// to red (else maroon). Zero for an unchanged byte. One table for each
// combination of the two barriers being shown (bit 0 first, bit 1 second).
using StatusTable = std::array<std::uint16_t, 65536>;

inline const StatusTable& statusTable(int shown) {
    static std::once_flag once[4];
    static std::unique_ptr<StatusTable> tables[4];
    std::call_once(once[shown & 3], [shown] {
        const bool first = shown & 1, second = shown & 2;
        // What the new byte alone decides (LEDs lit, the Blind lens, the byte
        // the second barrier sees) and what the previous byte alone decides
        // (LEDs already ON); a LED comes ON when lit and not ON before.
        std::array<std::uint8_t, 256> lit1{}, lit2{}, seen{}, before1{}, before2{};
        // The Blind lens is set unless Blind names the other barrier; bit 6 set, bit 7 red.
        const auto mark = [](const StatusEffect& e) {
            const unsigned set = !(e.blind && !e.mine);
            return static_cast<std::uint8_t>(set << 6 | (set & e.blind) << 7);
        };
        for (unsigned v = 0; v < 256; ++v) {
            const auto b = static_cast<std::uint8_t>(v);
            const StatusEffect e1 = statusEffect<true>(b, b);
            before1[v] = static_cast<std::uint8_t>(e1.before);
            before2[v] = static_cast<std::uint8_t>(statusEffect<false>(b, b).before);
            if (first) lit1[v] = static_cast<std::uint8_t>(e1.lit | mark(e1));
            seen[v] = first ? e1.st : b;
            const StatusEffect e2 = statusEffect<false>(seen[v], seen[v]);
            if (second) lit2[v] = static_cast<std::uint8_t>(e2.lit | mark(e2));
        }
        auto t = std::make_unique<StatusTable>();
        for (unsigned p = 0; p < 256; ++p) {
            std::uint16_t* row = t->data() + 256 * p;
            for (unsigned s = 0; s < 256; ++s) {
                const unsigned lo = lit1[s] & ~before1[p];
                // The second barrier only when the byte it sees differs from the previous one.
                const unsigned hi = seen[s] != p ? lit2[s] & ~before2[p] : 0u;
                row[s] = s == p ? 0 : static_cast<std::uint16_t>(lo | hi << 8);
            }
        }
        tables[shown & 3] = std::move(t);
    });
    return *tables[shown & 3];
}

class BatchApplier {
public:
    // Records are laid out kStride bytes apart; bytes 12..15 of each are ignored.
    static constexpr int kStride = 16;
    static constexpr int kMaxBatch = 64;

    BatchApplier(MonitorModel& m, HubState& hub, bool compact)
        : m_(m), hub_(hub), heads_(m, hub, compact) {}

    // Applies n <= kMaxBatch records, the state records that follow those
    // applied so far.
    void apply(const std::uint8_t* recs, int n) {
        if (!open_) begin();
        // Interrupted beams: byte j of interrupted[g] has bit k set when record
        // 8g + k interrupted a beam of record byte j.
        V interrupted[kMaxBatch / 8];
        V groupInterrupted = V{};
        // Locals, so that they stay in registers.
        V prev = prev_, ring = ring_, touched = touched_, dirty = dirty_;
        const V live = live_;
        V p0 = planes_[0], p1 = planes_[1], p2 = planes_[2], p3 = planes_[3];
        V p4 = planes_[4], p5 = planes_[5], p6 = planes_[6], p7 = planes_[7];
        std::uint64_t s0 = statusPlanes_[0], s1 = statusPlanes_[1], s2 = statusPlanes_[2],
                      s3 = statusPlanes_[3], s4 = statusPlanes_[4], s5 = statusPlanes_[5],
                      s6 = statusPlanes_[6], s7 = statusPlanes_[7];
        std::uint64_t statusRing = statusRing_, blindSet = blindSet_, blindRed = blindRed_;
        const std::uint16_t* t0 = tables_[0]->data();
        const std::uint16_t* t1 = tables_[1]->data();
        const std::uint16_t* t2 = tables_[2]->data();
        const std::uint16_t* t3 = tables_[3]->data();
        const bool anyDirty = anyDirty_;
        for (int i = 0; i < n;) {
            // Eight records at a time go through carry-save adders into the
            // counters' slices, the rest one by one.
            const int group = n - i >= 8 ? 8 : 1;
            V rbs[8];
            std::uint64_t srs[8];
            for (int g = 0; g < group; ++g, ++i) {
                V nv;
                std::memcpy(&nv, recs + i * kStride, sizeof nv); // bytes 12..15 end up masked
                const V x = nv ^ prev;
                const V rb = nv & ~prev & live; // interrupted beams that count
                if (anyDirty) {
                    // A repainted barrier shows all its beams on its first change.
                    const V changedBytes = (V)(x != 0);
                    const V hit = dirty & changedBytes;
                    ring |= nv & hit & live;
                    touched |= hit;
                    dirty &= ~changedBytes;
                }
                ring |= rb;
                touched |= x;
                rbs[g] = rb;
                groupInterrupted |= (V)(rb != 0) & kRecordBit[i & 7];
                if ((i & 7) == 7 || i == n - 1) {
                    interrupted[i >> 3] = groupInterrupted;
                    groupInterrupted = V{};
                }

                // The four status bytes, each looked up with the byte before.
                unsigned k0, k1, k2, k3;
                statusKeys(nv, prev, k0, k1, k2, k3);
                const std::uint64_t e = std::uint64_t(t0[k0]) | std::uint64_t(t1[k1]) << 16 |
                                        std::uint64_t(t2[k2]) << 32 | std::uint64_t(t3[k3]) << 48;
                const std::uint64_t sr = e & 0x3F3F3F3F3F3F3F3Full;
                srs[g] = sr;
                statusRing |= sr;
                const std::uint64_t set = (e & 0x4040404040404040ull) << 1;
                blindSet |= set;
                blindRed = (blindRed & ~set) | (e & set);
                prev = nv;
            }
            if (group == 8) {
                addSlices8(p0, p1, p2, p3, p4, p5, p6, p7, rbs);
                addSlices8(s0, s1, s2, s3, s4, s5, s6, s7, srs);
            } else {
                addSlices1(p0, p1, p2, p3, p4, p5, p6, p7, rbs[0]);
                addSlices1(s0, s1, s2, s3, s4, s5, s6, s7, srs[0]);
            }
        }
        prev_ = prev;
        ring_ = ring;
        touched_ = touched;
        dirty_ = dirty;
        planes_ = {p0, p1, p2, p3, p4, p5, p6, p7};
        statusPlanes_ = {s0, s1, s2, s3, s4, s5, s6, s7};
        statusRing_ = statusRing;
        blindSet_ = blindSet;
        blindRed_ = blindRed;
        anyDirty_ = anyDirty && (lane(dirty, 0) | lane(dirty, 1));
        // A LED comes ON only after a record that had it OFF, so 448 records
        // count 224 at most: eight slices hold that.
        if ((adds_ += n) > 448 - kMaxBatch) flushCounts();
        restartHeads(interrupted, n);
        applied_ += n;
    }

    // Every deferred effect into the model, heads and countdowns included, and
    // hub.previous/current := the last record applied.
    void settle() {
        if (open_) {
            flushCounts();
            const auto* touched = bytes(touched_);
            const auto* ring = bytes(ring_);
            const auto* cur = bytes(prev_);
            for (int b = 0; b < 8; ++b) {
                const int j = beamByte(b);
                BarrierModel& bar = m_.barre[b];
                if (!bar.visible) continue;
                for (unsigned t = touched[j]; t; t &= t - 1) {
                    const int k = std::countr_zero(t);
                    LedModel& led = bar.leds[k];
                    if (led.lens == colour::Silver) continue;
                    led.lens = (cur[j] >> k) & 1u ? colour::Lime : colour::Green;
                    if ((ring[j] >> k) & 1u) led.ring = colour::White;
                }
            }
            for (int c = 0; c < 4; ++c) settleStatus(c, cur[3 * c + 2], touched[3 * c + 2] != 0);
            std::memcpy(hub_.previous.data(), cur, hub_.previous.size());
            hub_.current = hub_.previous;
            open_ = false;
        }
        heads_.setNow(applied_);
        heads_.settle();
    }

private:
    using V = std::uint8_t __attribute__((vector_size(16)));

    // Bit k in every byte, for record k of a group of eight.
    static constexpr V kRecordBit[8] = {
        {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1},
        {2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2},
        {4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4},
        {8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8},
        {16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16},
        {32, 32, 32, 32, 32, 32, 32, 32, 32, 32, 32, 32, 32, 32, 32, 32},
        {64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64},
        {128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128},
    };

    // Barrier b's beam byte in a record: 0, 1, 3, 4, 6, 7, 9, 10.
    static constexpr int beamByte(int b) { return 3 * (b / 2) + b % 2; }
    static std::uint64_t lane(const V& v, int k) {
        std::uint64_t q;
        std::memcpy(&q, bytes(v) + 8 * k, 8);
        return q;
    }
    static const std::uint8_t* bytes(const V& v) { return reinterpret_cast<const std::uint8_t*>(&v); }
    static std::uint8_t* bytes(V& v) { return reinterpret_cast<std::uint8_t*>(&v); }

    // Previous byte (high) and new byte (low) of each couple's status, bytes 2, 5, 8, 11.
    static void statusKeys(const V& n, const V& p, unsigned& k0, unsigned& k1, unsigned& k2,
                           unsigned& k3) {
        const __m128i lo = _mm_unpacklo_epi8(__m128i(n), __m128i(p));
        const __m128i hi = _mm_unpackhi_epi8(__m128i(n), __m128i(p));
        k0 = static_cast<unsigned>(_mm_extract_epi16(lo, 2));
        k1 = static_cast<unsigned>(_mm_extract_epi16(lo, 5));
        k2 = static_cast<unsigned>(_mm_extract_epi16(hi, 0));
        k3 = static_cast<unsigned>(_mm_extract_epi16(hi, 3));
    }

    // Counts per bit position held as eight bit slices (bit q of the count in
    // slice q): one word added by rippling the carry, eight through carry-save adders.
    template <class W>
    static void csa(W& high, W& low, W a, W b, W c) {
        const W u = a ^ b;
        high = (a & b) | (u & c);
        low = u ^ c;
    }
    template <class W>
    static void addSlices1(W& q0, W& q1, W& q2, W& q3, W& q4, W& q5, W& q6, W& q7, W d) {
        W t;
        t = q0 & d; q0 ^= d; d = t;
        t = q1 & d; q1 ^= d; d = t;
        t = q2 & d; q2 ^= d; d = t;
        t = q3 & d; q3 ^= d; d = t;
        t = q4 & d; q4 ^= d; d = t;
        t = q5 & d; q5 ^= d; d = t;
        t = q6 & d; q6 ^= d; d = t;
        q7 ^= d;
    }
    template <class W>
    static void addSlices8(W& q0, W& q1, W& q2, W& q3, W& q4, W& q5, W& q6, W& q7, const W* d) {
        W twosA, twosB, foursA, foursB, eights;
        csa(twosA, q0, q0, d[0], d[1]);
        csa(twosB, q0, q0, d[2], d[3]);
        csa(foursA, q1, q1, twosA, twosB);
        csa(twosA, q0, q0, d[4], d[5]);
        csa(twosB, q0, q0, d[6], d[7]);
        csa(foursB, q1, q1, twosA, twosB);
        csa(eights, q2, q2, foursA, foursB);
        W t;
        t = q3 & eights; q3 ^= eights; eights = t;
        t = q4 & eights; q4 ^= eights; eights = t;
        t = q5 & eights; q5 ^= eights; eights = t;
        t = q6 & eights; q6 ^= eights; eights = t;
        q7 ^= eights;
    }

    // The start of a run of records: what the model shows now decides what they may touch.
    void begin() {
        std::memcpy(&prev_, hub_.previous.data(), hub_.previous.size());
        live_ = V{};
        dirty_ = V{};
        for (int b = 0; b < 8; ++b) {
            const BarrierModel& bar = m_.barre[b];
            if (!bar.visible) continue;
            // Beams whose LEDs records may change (not silver). A barrier whose
            // beam LEDs do not show the previous record (a settings block
            // repainted them, or its bits changed while it was hidden) has all
            // of them repainted on its next beam change, as RiceviDati does;
            // the others need only the changed bits.
            const std::uint8_t before = hub_.previous[beamByte(b)];
            std::uint8_t lit = 0;
            bool stale = false;
            for (int k = 0; k < 8; ++k) {
                const LedModel& led = bar.leds[k];
                if (led.lens == colour::Silver) continue;
                lit |= static_cast<std::uint8_t>(1u << k);
                const bool on = (before >> k) & 1u;
                stale |= led.lens != (on ? colour::Lime : colour::Green) || (on && led.ring != colour::White);
            }
            bytes(live_)[beamByte(b)] = lit;
            if (stale) bytes(dirty_)[beamByte(b)] = 0xFF;
        }
        for (int c = 0; c < 4; ++c)
            tables_[c] = &statusTable(int(m_.barre[2 * c].visible) | int(m_.barre[2 * c + 1].visible) << 1);
        anyDirty_ = (lane(dirty_, 0) | lane(dirty_, 1)) != 0;
        touched_ = ring_ = V{};
        for (V& p : planes_) p = V{};
        statusPlanes_ = {};
        statusRing_ = blindSet_ = blindRed_ = 0;
        adds_ = 0;
        open_ = true;
    }

    // Couple c's status LEDs: lenses as the current byte shows them on each
    // barrier the changes reached, the Blind lens as the last change that set it.
    void settleStatus(int c, std::uint8_t cur, bool changed) {
        BarrierModel& first = m_.barre[2 * c];
        BarrierModel& second = m_.barre[2 * c + 1];
        const unsigned firstBits = static_cast<unsigned>(blindSet_ >> 16 * c);
        const unsigned secondBits = static_cast<unsigned>(blindSet_ >> (16 * c + 8));
        const unsigned firstRed = static_cast<unsigned>(blindRed_ >> 16 * c);
        const unsigned secondRed = static_cast<unsigned>(blindRed_ >> (16 * c + 8));
        std::uint8_t w = cur;
        bool secondReached = changed && second.visible;
        if (first.visible) {
            const StatusEffect e = statusEffect<true>(cur, cur);
            w = e.st;
            if (changed) setStatusLenses(first, e.on);
            // With the first barrier shown, a change reaches the second exactly
            // when it sets the second's Blind lens (Blind and Stb never both reach it).
            secondReached = second.visible && (secondBits & 0x80u);
        }
        if (firstBits & 0x80u)
            first.leds[Led::Blind - 1].lens = firstRed & 0x80u ? colour::Red : colour::Maroon;
        if (secondReached) setStatusLenses(second, statusEffect<false>(w, w).on);
        if (secondBits & 0x80u)
            second.leds[Led::Blind - 1].lens = secondRed & 0x80u ? colour::Red : colour::Maroon;
    }

    // The bit-sliced counters into the LED counters: the eight slices of one
    // byte, transposed, give its eight LEDs' counts.
    void flushCounts() {
        if (!open_) return;
        for (int b = 0; b < 8; ++b) {
            BarrierModel& bar = m_.barre[b];
            const int j = beamByte(b);
            std::uint64_t beams = 0, status = 0;
            for (int q = 0; q < 8; ++q) {
                beams |= std::uint64_t(bytes(planes_[q])[j]) << 8 * q;
                status |= (statusPlanes_[q] >> 8 * b & 0x3Fu) << 8 * q;
            }
            if (beams) {
                beams = transpose8(beams);
                for (int k = 0; k < 8; ++k) bar.leds[k].count += beams >> 8 * k & 0xFFu;
            }
            if (status) {
                status = transpose8(status);
                for (int k = 0; k < 6; ++k) bar.leds[Led::Alarm - 1 + k].count += status >> 8 * k & 0xFFu;
            }
            for (unsigned r = unsigned(statusRing_ >> 8 * b) & 0x3Fu; r; r &= r - 1)
                bar.leds[Led::Alarm - 1 + std::countr_zero(r)].ring = colour::White;
        }
        statusRing_ = 0;
        for (V& p : planes_) p = V{};
        statusPlanes_ = {};
        adds_ = 0;
    }

    // The head of each barrier whose beams were interrupted restarts its blink,
    // record by record in order.
    void restartHeads(const V* interrupted, int n) {
        const int groups = (n + 7) / 8;
        for (int b = 0; b < 8; ++b) {
            const int j = beamByte(b);
            std::uint64_t records = 0;
            for (int g = 0; g < groups; ++g) records |= std::uint64_t(bytes(interrupted[g])[j]) << 8 * g;
            heads_.restartRun(b, records, applied_);
        }
    }

    // Bit j of byte i to bit i of byte j.
    static std::uint64_t transpose8(std::uint64_t x) {
        std::uint64_t t;
        t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAull;
        x ^= t ^ (t << 7);
        t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCull;
        x ^= t ^ (t << 14);
        t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ull;
        x ^= t ^ (t << 28);
        return x;
    }

    MonitorModel& m_;
    HubState& hub_;
    HeadClock heads_;
    bool open_ = false;
    bool anyDirty_ = false;
    std::int64_t applied_ = 0; // state records applied
    int adds_ = 0;             // records in the counters' slices
    V prev_{};
    V live_{};    // per beam byte: the beams whose LEDs records change
    V dirty_{};   // 0xFF for a shown barrier still to be repainted whole
    V touched_{}; // bits changed since the last settle
    V ring_{};    // beams whose ring went white since the last settle
    std::array<V, 8> planes_{}; // bit q of each beam's rise count since the last flush
    // The status LEDs, byte b for barrier b: rises as bit slices, rings, and
    // the Blind lens (bit 7 of blindSet_ set: set since the last settle, red in blindRed_).
    std::array<std::uint64_t, 8> statusPlanes_{};
    std::uint64_t statusRing_ = 0, blindSet_ = 0, blindRed_ = 0;
    const StatusTable* tables_[4] = {};
};

} // namespace hub::recordapply
