#pragma once
// The replay's record application, in batches. A replay applies millions of
// records and only the end (and each progress call) is ever looked at, so the
// beam LEDs' effects are gathered without branches and written into the model
// when it is settled: lenses from the last record, rings from the OR of what
// lit them, counters from bit-sliced adders. A status byte's effect on its two
// barriers depends only on it and the byte before, so it is looked up in a
// table built from RiceviDati's own code. The result is the same as applying
// every record with applyLeds and stepping the heads.
#include "monitor/recordapply.h"

#include <array>
#include <bit>
#include <memory>
#include <mutex>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace hub::recordapply {

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
            const auto* dirty = bytes(dirty_);
            for (int b = 0; b < 8; ++b) {
                const int j = beamByte(b);
                const auto bit = static_cast<std::uint8_t>(1u << b);
                BarrierModel& bar = m_.barre[b];
                if (!bar.visible) {
                    if (touched[j]) hub_.beamsDirty |= bit;
                    continue;
                }
                if (!dirty[j]) hub_.beamsDirty &= static_cast<std::uint8_t>(~bit);
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
#if defined(__SSE2__)
        const __m128i lo = _mm_unpacklo_epi8(__m128i(n), __m128i(p));
        const __m128i hi = _mm_unpackhi_epi8(__m128i(n), __m128i(p));
        k0 = static_cast<unsigned>(_mm_extract_epi16(lo, 2));
        k1 = static_cast<unsigned>(_mm_extract_epi16(lo, 5));
        k2 = static_cast<unsigned>(_mm_extract_epi16(hi, 0));
        k3 = static_cast<unsigned>(_mm_extract_epi16(hi, 3));
#else
        const auto* a = bytes(n);
        const auto* b = bytes(p);
        k0 = a[2] | b[2] << 8;
        k1 = a[5] | b[5] << 8;
        k2 = a[8] | b[8] << 8;
        k3 = a[11] | b[11] << 8;
#endif
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
            std::uint8_t lit = 0; // beams whose LED records may change (not silver)
            for (int k = 0; k < 8; ++k)
                if (bar.leds[k].lens != colour::Silver) lit |= static_cast<std::uint8_t>(1u << k);
            bytes(live_)[beamByte(b)] = lit;
            if (hub_.beamsDirty & (1u << b)) bytes(dirty_)[beamByte(b)] = 0xFF;
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
