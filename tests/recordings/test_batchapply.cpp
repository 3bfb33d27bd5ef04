// The replay applies records in batches and writes most effects into the model
// only when it is settled. Whatever the batch sizes and settle points, the
// model must be what RiceviDati gives record by record: checked over long
// random runs that change which barriers are shown, which beams are excluded,
// which barriers are still to be repainted, the blink count and "Compact".
#include "fixtures.h"

#include "monitor/batchapply.h"
#include "monitor/ricevidati.h"

#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

using namespace hub;
using recordapply::BatchApplier;

namespace {

struct BatchRun {
    const char* name;
    bool compact;
    int blinkCount;
    int statusOdds;  // 1 in statusOdds changes hits a status byte with a Blind/Stb pattern
    int maxBatch;    // batches of 1..maxBatch records
    int settleOdds;  // 1 in settleOdds batches ends with a settle
    int repeatOdds;  // 1 in repeatOdds records repeats the one before
    int burstOdds;   // 1 in burstOdds records interrupts another beam of barrier 1 (0: never)
    bool toggle;     // beam 1 of barrier 2 and the alarm of couple D flip on every record
};

// Shown barriers, excluded beams and beams repainted, the same on both
// models: what a new settings block or a display reset may leave.
void reshape(std::mt19937& rng, MonitorModel& a, MonitorModel& b) {
    for (int k = 0; k < 8; ++k) {
        const bool shown = rng() % 5 != 0;
        a.barre[k].visible = b.barre[k].visible = shown;
        for (int n = 0; n < 8; ++n) {
            if (rng() % 9 == 0) a.barre[k].leds[n].lens = b.barre[k].leds[n].lens = colour::Silver;
            else if (a.barre[k].leds[n].lens == colour::Silver && rng() % 3 == 0)
                a.barre[k].leds[n].lens = b.barre[k].leds[n].lens = colour::Green;
        }
        // A status lens or ring set by something else than a record.
        if (rng() % 4 == 0) {
            const int n = 8 + static_cast<int>(rng() % 6);
            a.barre[k].leds[n].lens = b.barre[k].leds[n].lens = colour::Silver;
            a.barre[k].leds[n].ring = b.barre[k].leds[n].ring = colour::Gray;
        }
        // A beam repainted as a settings block or "Reset Leds" would, so that
        // the barrier no longer shows the previous record.
        if (rng() % 4 == 0) {
            LedModel& la = a.barre[k].leds[rng() % 8];
            LedModel& lb = b.barre[k].leds[&la - a.barre[k].leds.data()];
            if (la.lens != colour::Silver) la.lens = lb.lens = rng() % 2 ? colour::Green : colour::Lime;
            la.ring = lb.ring = rng() % 2 ? colour::Gray : colour::White;
        }
    }
}

void change(std::mt19937& rng, StateRecord& s, int statusOdds) {
    static const std::uint8_t patterns[] = {0x81, 0x01, 0x80, 0x00, 0x83, 0xC1, 0x7F, 0xFF};
    const unsigned k = rng() % 12;
    if (rng() % statusOdds == 0) {
        s[3 * (k % 4) + 2] = patterns[rng() % 8] ^ static_cast<std::uint8_t>(rng() % 2 ? 0 : rng() & 0x7E);
    } else if (rng() % 8 == 0) {
        s[k] = static_cast<std::uint8_t>(rng());
    } else {
        s[k] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
    }
    if (rng() % 16 == 0) s[rng() % 12] ^= static_cast<std::uint8_t>(rng());
}

} // namespace

TEST(BatchApply, SameAsRecordByRecordAtEverySettle) {
    const BatchRun runs[] = {
        {"busy status, small batches", false, 20, 2, 5, 3, 8, 0, false},
        {"full batches, rare settles", false, 20, 6, 64, 40, 20, 0, false},
        {"counts up to the top slice", false, 20, 6, 64, 60, 20, 0, true},
        {"slow blink, mixed batches", false, 60, 3, 64, 7, 4, 3, false},
        {"blink count 1, interrupted on end", false, 1, 3, 17, 2, 6, 1, false},
        {"blink count 2, interrupted often", false, 2, 3, 40, 3, 6, 2, false},
        {"no blink count", false, 0, 3, 33, 5, 6, 2, false},
        {"blink count past a batch", false, 100, 3, 64, 12, 6, 5, false},
        {"compact", true, 20, 3, 64, 9, 5, 2, false},
    };
    for (const BatchRun& run : runs) {
        SCOPED_TRACE(run.name);
        std::mt19937 rng(4242);
        MonitorModel live, batched;
        HubState liveHub, batchHub;
        rectest::allInstalled(live, liveHub);
        rectest::allInstalled(batched, batchHub);
        liveHub.stream.blinkCount = batchHub.stream.blinkCount = run.blinkCount;
        BatchApplier apply(batched, batchHub, run.compact);

        alignas(16) std::uint8_t batch[BatchApplier::kMaxBatch * BatchApplier::kStride];
        StateRecord cur{};
        int settles = 0;
        std::int64_t lit = 0;
        for (int round = 0; round < 3000 && !HasFailure(); ++round) {
            const int n = 1 + static_cast<int>(rng() % run.maxBatch);
            for (int i = 0; i < n; ++i) {
                if (rng() % run.repeatOdds != 0) change(rng, cur, run.statusOdds);
                if (run.burstOdds && rng() % run.burstOdds == 0) {
                    // One more beam of barrier 1 interrupted: its blink restarts again.
                    if (cur[0] == 0xFF) cur[0] = 0;
                    cur[0] |= static_cast<std::uint8_t>(~cur[0] & (cur[0] + 1));
                }
                if (run.toggle) {
                    cur[1] ^= 0x01;
                    cur[11] ^= 0x02;
                }
                std::memcpy(batch + i * BatchApplier::kStride, cur.data(), cur.size());
                // Bytes past the record are not part of it.
                std::memset(batch + i * BatchApplier::kStride + 12, static_cast<int>(rng()), 4);
                RiceviDati(live, liveHub, cur, false, false, run.compact);
            }
            apply.apply(batch, n);
            if (rng() % run.settleOdds != 0) continue;
            apply.settle();
            ++settles;
            ASSERT_EQ(rectest::modelDifference(live, batched), "") << "round " << round;
            ASSERT_EQ(batchHub.blink, liveHub.blink) << "round " << round;
            ASSERT_EQ(batchHub.previous, liveHub.previous) << "round " << round;
            if (rng() % 6 == 0) reshape(rng, live, batched);
        }
        apply.settle();
        EXPECT_EQ(rectest::modelDifference(live, batched), "");
        EXPECT_EQ(batchHub.blink, liveHub.blink);
        EXPECT_GT(settles, 50);
        for (int k = 1; k <= 8; ++k)
            for (int n = 1; n <= 14; ++n) lit += live.led(k, n).count;
        EXPECT_GT(lit, 1000); // the run did light and count things
    }
}

// A status table entry against the status LEDs applied to two barriers, for
// every pair of bytes and every way of showing the two barriers.
TEST(BatchApply, StatusTableMatchesTheStatusLeds) {
    for (int shown = 0; shown < 4; ++shown) {
        const recordapply::StatusTable& table = recordapply::statusTable(shown);
        int mismatches = 0;
        for (unsigned i = 0; i < 65536 && mismatches < 5; ++i) {
            const auto p = static_cast<std::uint8_t>(i >> 8), s = static_cast<std::uint8_t>(i);
            BarrierModel bars[2];
            for (auto& bar : bars)
                for (auto& led : bar.leds) led.lens = 0x123456;
            applyCoupleStatus(shown & 1 ? &bars[0] : nullptr, shown & 2 ? &bars[1] : nullptr, s, p);
            unsigned want = 0;
            for (int b = 0; b < 2; ++b) {
                unsigned e = 0;
                for (int k = 0; k < 6; ++k)
                    if (bars[b].leds[8 + k].count) e |= 1u << k;
                const Rgb blind = bars[b].leds[Led::Blind - 1].lens;
                if (blind != 0x123456) e |= 0x40u | (blind == colour::Red ? 0x80u : 0u);
                want |= e << 8 * b;
            }
            if (table[i] != want) {
                ++mismatches;
                ADD_FAILURE() << "shown " << shown << " p " << int(p) << " s " << int(s) << ": "
                              << table[i] << " vs " << want;
            }
        }
    }
}

// Status changes whose effect on the second barrier depends on what the first
// took: lenses preset to silver show which LEDs a settle may write.
TEST(BatchApply, StatusChangesThatSkipTheSecondBarrier) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes; // couple A's status, record by record
    } cases[] = {
        {"Blind and Stb for the first only", {0x04, 0x85}},
        {"then Blind for the second", {0x04, 0x85, 0x05}},
        {"Blind for the second then the first", {0x01, 0x81}},
        {"first taken twice", {0x00, 0x81, 0x00, 0x81}},
        {"alarm under a Blind event", {0x02, 0x83, 0x83, 0x02}},
    };
    for (const Case& c : cases) {
        for (const bool firstShown : {true, false}) {
            SCOPED_TRACE(std::string(c.name) + (firstShown ? "" : ", first hidden"));
            MonitorModel live, batched;
            HubState liveHub, batchHub;
            rectest::allInstalled(live, liveHub);
            rectest::allInstalled(batched, batchHub);
            BatchApplier apply(batched, batchHub, false);
            alignas(16) std::uint8_t rec[BatchApplier::kStride] = {};
            StateRecord s{};
            s[2] = c.bytes.front();
            std::memcpy(rec, s.data(), 12);
            RiceviDati(live, liveHub, s, false, false, false);
            apply.apply(rec, 1);
            apply.settle();
            for (auto* m : {&live, &batched}) {
                m->barre[0].visible = firstShown;
                for (int b = 0; b < 2; ++b)
                    for (int n = 8; n < 14; ++n) m->barre[b].leds[n].lens = colour::Silver;
            }
            for (size_t i = 1; i < c.bytes.size(); ++i) {
                s[2] = c.bytes[i];
                std::memcpy(rec, s.data(), 12);
                RiceviDati(live, liveHub, s, false, false, false);
                apply.apply(rec, 1);
            }
            apply.settle();
            EXPECT_EQ(rectest::modelDifference(live, batched), "");
        }
    }
}
