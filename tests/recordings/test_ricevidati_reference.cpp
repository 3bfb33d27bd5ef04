// RiceviDati skips work (unchanged couples, unchanged bits); this checks it
// against the algorithm written out plainly, over long random runs with new
// settings blocks, hidden barriers and compact phases in between.
#include "fixtures.h"

#include "monitor/ricevidati.h"
#include "monitor/settings/settingsdecoders.h"

#include <gtest/gtest.h>
#include <random>

using namespace hub;

namespace {

void statusLed(LedModel& l, bool now, bool before, Rgb on, Rgb off, bool& ev) {
    if (now) {
        l.lens = on;
        if (!before) {
            ++l.count;
            l.SetRingWhite();
            ev = true;
        }
    } else {
        l.lens = off;
    }
}

bool reference(MonitorModel& m, HubState& hub, const StateRecord& n, bool bs, bool ls,
               bool compact) {
    bool beamEv = false, ledEv = false;
    StateRecord& p = hub.previous;
    std::array<std::uint8_t, 4> S{n[2], n[5], n[8], n[11]};
    for (int b = 1; b <= 8; ++b) {
        const int j = (b - 1) / 2;
        const bool first = b % 2 == 1;
        if (!m.barrier(b).visible) continue;
        const std::uint8_t nb = n[3 * j + (first ? 0 : 1)], pb = p[3 * j + (first ? 0 : 1)];
        if (nb != pb) {
            for (int k = 1; k <= 8; ++k) {
                LedModel& l = m.led(b, k);
                if (l.lens == colour::Silver) continue;
                const unsigned mask = 1u << (k - 1);
                if (nb & mask) {
                    l.SetLime();
                    l.SetRingWhite();
                    if (!(pb & mask)) {
                        ++l.count;
                        hub.blink[b - 1] = hub.stream.blinkCount;
                        beamEv = true;
                    }
                } else {
                    l.SetGreen();
                }
            }
        }
        const std::uint8_t ps = p[3 * j + 2];
        std::uint8_t& s = S[j];
        if (s == ps) continue;
        statusLed(m.led(b, Led::Alarm), s & 0x02, ps & 0x02, colour::Red, colour::Maroon, ledEv);
        if (!(s & 0x01)) {
            m.led(b, Led::Blind).SetMaroon();
        } else if (((s & 0x80) && first) || (!(s & 0x80) && !first)) {
            statusLed(m.led(b, Led::Blind), true, ps & 0x01, colour::Red, colour::Maroon, ledEv);
            s &= static_cast<std::uint8_t>(~0x81);
        }
        statusLed(m.led(b, Led::Standby), s & 0x80, ps & 0x80, colour::Aqua, colour::Navy, ledEv);
        statusLed(m.led(b, Led::Failure), s & 0x10, ps & 0x10, colour::Red, colour::Maroon, ledEv);
        const std::uint8_t t = first ? 0x40 : 0x20, d = first ? 0x08 : 0x04;
        statusLed(m.led(b, Led::Tamper), s & t, ps & t, colour::Red, colour::Maroon, ledEv);
        statusLed(m.led(b, Led::Disqualify), s & d, ps & d, colour::Yellow, colour::Olive, ledEv);
    }
    p = n;
    for (int b = 0; b < 8; ++b) {
        if (hub.blink[b] > 0 && !compact) {
            m.caps[b].brush = m.caps[b].brush == colour::Gray ? colour::Black : colour::Gray;
            --hub.blink[b];
        } else {
            m.caps[b].brush = colour::Gray;
        }
    }
    return (bs && beamEv) || (ls && ledEv);
}

} // namespace

TEST(RiceviDatiReference, SameAsThePlainAlgorithmOverRandomRuns) {
    for (unsigned seed : {1u, 2u, 3u, 4u}) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        MonitorModel fast, plain;
        HubState fh, ph;
        rectest::resetModel(fast, fh, true, false);
        rectest::resetModel(plain, ph, true, false);
        StateRecord cur{};
        bool compact = false;
        for (int i = 0; i < 30000; ++i) {
            const unsigned what = rng() % 1000;
            if (what < 3) {
                // A new settings block over the same display (a reconnection):
                // beams repainted green while their bits may still be set.
                std::array<std::uint8_t, kSwBlockSize> sw{};
                for (auto& x : sw) x = static_cast<std::uint8_t>(rng());
                RiceviSet_SW(fast, fh, 0x40, sw, compact);
                RiceviSet_SW(plain, ph, 0x40, sw, compact);
            } else if (what < 5) {
                // A reset, then a block showing only some couples: the others'
                // barriers stay hidden while their bytes change.
                rectest::resetModel(fast, fh, true, compact);
                rectest::resetModel(plain, ph, true, compact);
                std::array<std::uint8_t, kTcBlockSize> tc{};
                tc[0] = static_cast<std::uint8_t>(rng());
                tc[14] = static_cast<std::uint8_t>(rng());
                tc[38 + rng() % 4] = 1;
                RiceviSet_TC(fast, fh, 0x00, tc, compact, nullptr);
                RiceviSet_TC(plain, ph, 0x00, tc, compact, nullptr);
            } else if (what < 7) {
                compact = !compact;
            } else if (what < 8) {
                // A barrier shown again without a settings block.
                const int b = 1 + static_cast<int>(rng() % 8);
                fast.barrier(b).visible = plain.barrier(b).visible = true;
            }
            const unsigned k = rng() % 12;
            if (rng() % 6 == 0)
                cur[k] = static_cast<std::uint8_t>(rng());
            else if (rng() % 3 != 0)
                cur[k] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
            const bool bs = rng() & 1, ls = rng() & 1;
            const bool a = RiceviDati(fast, fh, cur, bs, ls, compact);
            const bool b = reference(plain, ph, cur, bs, ls, compact);
            ASSERT_EQ(a, b) << "record " << i;
            const std::string diff = rectest::modelDifference(plain, fast);
            ASSERT_EQ(diff, "") << "record " << i;
            ASSERT_EQ(fh.blink, ph.blink) << "record " << i;
        }
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
// together, several couples), unchanged records, and other blink counts: the
// bytes are visited one by one and the countdowns restart at the end.
TEST(RiceviDatiReference, SeveralBytesAtOnceAndOtherBlinkCounts) {
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
        MonitorModel fast, plain;
        HubState fh, ph;
        rectest::allInstalled(fast, fh);
        rectest::allInstalled(plain, ph);
        if (c.hidden) {
            rectest::resetModel(fast, fh, true, false);
            rectest::resetModel(plain, ph, true, false);
            std::array<std::uint8_t, kTcBlockSize> tc{};
            tc[0] = 0x5A;
            tc[14] = 0x24;
            tc[39] = 1;
            RiceviSet_TC(fast, fh, 0x00, tc, false, nullptr);
            RiceviSet_TC(plain, ph, 0x00, tc, false, nullptr);
        }
        fh.stream.blinkCount = ph.stream.blinkCount = c.blinkCount;
        StateRecord cur{};
        bool compact = false;
        for (int i = 0; i < 5000; ++i) {
            if (rng() % 500 == 0) compact = !compact;
            const int bytes = static_cast<int>(rng() % (c.maxBytes + 1));
            for (int k = 0; k < bytes; ++k) {
                const unsigned at = rng() % 12;
                cur[at] = rng() % 2 ? static_cast<std::uint8_t>(rng())
                                    : static_cast<std::uint8_t>(cur[at] ^ (1u << (rng() % 8)));
            }
            const bool a = RiceviDati(fast, fh, cur, true, true, compact);
            const bool b = reference(plain, ph, cur, true, true, compact);
            ASSERT_EQ(a, b) << "record " << i;
            ASSERT_EQ(rectest::modelDifference(plain, fast), "") << "record " << i;
            ASSERT_EQ(fh.blink, ph.blink) << "record " << i;
        }
    }
}
