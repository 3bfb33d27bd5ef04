// RiceviDati is the rule written out plainly; the replay's batched engine
// must leave the model as applying its records one by one with it, over long
// random runs with new settings blocks, hidden barriers and compact phases in
// between.
#include "fixtures.h"

#include "monitor/batchapply.h"
#include "monitor/ricevidati.h"
#include "monitor/settings/settingsdecoders.h"

#include <gtest/gtest.h>
#include <memory>
#include <random>

using namespace hub;
using recordapply::BatchApplier;

namespace {

// The batched engine on one model, RiceviDati on the other. Like the replay,
// the engine is settled before anything else touches its model, and a new
// zoom means a new engine.
struct BatchedAndPlain {
    MonitorModel fast, plain;
    HubState fh, ph;
    bool compact = false;
    std::unique_ptr<BatchApplier> apply = std::make_unique<BatchApplier>(fast, fh, false);
    alignas(16) std::uint8_t batch[BatchApplier::kMaxBatch * BatchApplier::kStride] = {};
    int pending = 0;

    void record(const StateRecord& r) {
        RiceviDati(plain, ph, r, false, false, compact);
        std::memcpy(batch + pending * BatchApplier::kStride, r.data(), r.size());
        if (++pending == BatchApplier::kMaxBatch) flush();
    }
    void flush() {
        if (pending) apply->apply(batch, pending);
        pending = 0;
    }
    void settle() {
        flush();
        apply->settle();
    }
    void setCompact(bool c) {
        settle();
        compact = c;
        apply = std::make_unique<BatchApplier>(fast, fh, c);
    }
    // f on both models, the engine settled first.
    template <class F>
    void both(F f) {
        settle();
        f(fast, fh);
        f(plain, ph);
    }
    std::string difference() {
        settle();
        std::string d = rectest::modelDifference(plain, fast);
        if (fh.blink != ph.blink) d += " blink countdowns differ";
        if (fh.previous != ph.previous) d += " previous records differ";
        return d;
    }
};

} // namespace

TEST(RiceviDatiReference, BatchedSameAsPlainOverRandomRuns) {
    for (unsigned seed : {1u, 2u, 3u, 4u}) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        BatchedAndPlain t;
        t.both([](MonitorModel& m, HubState& h) { rectest::resetModel(m, h, true, false); });
        StateRecord cur{};
        for (int i = 0; i < 30000; ++i) {
            const unsigned what = rng() % 1000;
            if (what < 3) {
                // A new settings block over the same display (a reconnection):
                // beams repainted green while their bits may still be set.
                std::array<std::uint8_t, kSwBlockSize> sw{};
                for (auto& x : sw) x = static_cast<std::uint8_t>(rng());
                t.both([&](MonitorModel& m, HubState& h) { RiceviSet_SW(m, h, 0x40, sw, t.compact); });
            } else if (what < 5) {
                // A reset, then a block showing only some couples: the others'
                // barriers stay hidden while their bytes change.
                std::array<std::uint8_t, kTcBlockSize> tc{};
                tc[0] = static_cast<std::uint8_t>(rng());
                tc[14] = static_cast<std::uint8_t>(rng());
                tc[38 + rng() % 4] = 1;
                t.both([&](MonitorModel& m, HubState& h) {
                    rectest::resetModel(m, h, true, t.compact);
                    RiceviSet_TC(m, h, 0x00, tc, t.compact, nullptr);
                });
            } else if (what < 7) {
                t.setCompact(!t.compact);
            } else if (what < 8) {
                // A barrier shown again without a settings block.
                const int b = 1 + static_cast<int>(rng() % 8);
                t.both([&](MonitorModel& m, HubState&) { m.barrier(b).visible = true; });
            }
            const unsigned k = rng() % 12;
            if (rng() % 6 == 0)
                cur[k] = static_cast<std::uint8_t>(rng());
            else if (rng() % 3 != 0)
                cur[k] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
            t.record(cur);
            if (rng() % 8 == 0) {
                ASSERT_EQ(t.difference(), "") << "record " << i;
            }
        }
        ASSERT_EQ(t.difference(), "");
    }
}

TEST(RiceviDatiReference, RepaintedBeamsShowTheirBitOnTheNextChange) {
    MonitorModel m;
    HubState hub;
    rectest::allInstalled(m, hub);
    StateRecord n{};
    n[0] = 0x01;
    RiceviDati(m, hub, n, false, false, false);
    // A reconnection repaints every present beam green; beam 1 is still interrupted.
    RiceviSet_SW(m, hub, 0x40, {0xFF, 0, 0, 0, 0, 0, 0x0F, 0, 0}, false);
    EXPECT_EQ(m.led(1, 1).lens, colour::Green);
    n[0] = 0x03;
    RiceviDati(m, hub, n, false, false, false);
    EXPECT_EQ(m.led(1, 1).lens, colour::Lime);
    EXPECT_EQ(m.led(1, 1).count, 1); // still not a new interruption
    EXPECT_EQ(m.led(1, 2).count, 1);
}

TEST(RiceviDatiReference, BarrierShownAgainRepaintsWhatChangedWhileHidden) {
    MonitorModel m;
    HubState hub;
    rectest::allInstalled(m, hub);
    StateRecord n{};
    n[0] = 0x01;
    RiceviDati(m, hub, n, false, false, false);
    m.barrier(1).visible = false;
    n[0] = 0x00; // beam 1 clears while nobody looks
    RiceviDati(m, hub, n, false, false, false);
    EXPECT_EQ(m.led(1, 1).lens, colour::Lime);
    m.barrier(1).visible = true;
    n[0] = 0x02;
    RiceviDati(m, hub, n, false, false, false);
    EXPECT_EQ(m.led(1, 1).lens, colour::Green);
    EXPECT_EQ(m.led(1, 2).lens, colour::Lime);
}

// Records that change several bytes at once (beams and status of one couple
// together, several couples), unchanged records, and other blink counts.
TEST(RiceviDatiReference, BatchedSameAsPlainForSeveralBytesAtOnce) {
    struct Case {
        const char* name;
        int maxBytes;   // bytes changed per record: 0..maxBytes
        int blinkCount; // BlinkCount of the stream
        bool hidden;    // a block showing only some couples first
    };
    const Case cases[] = {
        {"one couple at a time", 3, 20, false},
        {"the whole record", 12, 20, false},
        {"countdown of one", 4, 1, false},
        {"countdown of zero", 4, 0, false},
        {"odd countdown, hidden couples", 6, 7, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::mt19937 rng(99);
        BatchedAndPlain t;
        t.both([&](MonitorModel& m, HubState& h) {
            rectest::allInstalled(m, h);
            if (c.hidden) {
                rectest::resetModel(m, h, true, false);
                std::array<std::uint8_t, kTcBlockSize> tc{};
                tc[0] = 0x5A;
                tc[14] = 0x24;
                tc[39] = 1;
                RiceviSet_TC(m, h, 0x00, tc, false, nullptr);
            }
            h.stream.blinkCount = c.blinkCount;
        });
        StateRecord cur{};
        for (int i = 0; i < 5000; ++i) {
            if (rng() % 500 == 0) t.setCompact(!t.compact);
            const int bytes = static_cast<int>(rng() % (c.maxBytes + 1));
            for (int k = 0; k < bytes; ++k) {
                const unsigned at = rng() % 12;
                cur[at] = rng() % 2 ? static_cast<std::uint8_t>(rng())
                                    : static_cast<std::uint8_t>(cur[at] ^ (1u << (rng() % 8)));
            }
            t.record(cur);
            if (rng() % 5 == 0) {
                ASSERT_EQ(t.difference(), "") << "record " << i;
            }
        }
        ASSERT_EQ(t.difference(), "");
    }
}
