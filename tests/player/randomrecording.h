#pragma once
// Random recordings for the player's tests: every kind of record a replay
// meets, with the offset where each record ends, so that a test can cut the
// file after any record.
#include "recording.h"

#include <QString>
#include <cstdint>
#include <random>
#include <vector>

namespace playertest {

struct Shape {
    bool tc = false;            // TC blocks, else SW
    int acquisitions = 1;       // end record + start record between them
    bool endRecord = true;      // the last acquisition is closed
    int states = 200;           // state records an acquisition
    int settingsChanges = 2;    // settings blocks in the middle of an acquisition
    bool clockBack = false;     // the clock goes back now and then
    bool junkAfterEnd = false;  // state records after the last end record
    bool unknownType = false;   // an unknown record type in the last acquisition stops it all
    int cutLast = 0;            // bytes cut off the end
};

struct Built {
    testrec::Recording rec;
    std::vector<testrec::Bytes> records; // each record's bytes
    std::vector<qint64> ends; // ends[n] = offset after record n (ends[0] = 0)
    std::vector<double> times;
};

class Generator {
public:
    explicit Generator(std::uint32_t seed) : rng_(seed) {}

    Built make(const Shape& s) {
        Built b;
        b.ends.push_back(0);
        double t = testrec::at(2026, 12, 8, 2, 59, 0);
        // Each stamp is taken (step) before the record that carries it is made.
        const auto add = [&](const testrec::Bytes& r, double when) {
            b.rec.add(r);
            b.records.push_back(r);
            b.ends.push_back(b.rec.bytes.size());
            b.times.push_back(when);
        };
        const auto step = [&] {
            t += (1 + rng_() % 3000) / 86400000.0; // up to 3 s
            if (s.clockBack && rng_() % 40 == 0) t -= (rng_() % 600) / 86400.0;
            return t;
        };
        for (int a = 0; a < s.acquisitions; ++a) {
            step();
            add(testrec::startEnd(t), t);
            step();
            addSettings(b, add, t, s.tc);
            hub::StateRecord cur{};
            const int changesAt = s.settingsChanges ? s.states / (s.settingsChanges + 1) : s.states + 1;
            for (int i = 1; i <= s.states; ++i) {
                cur = next(cur);
                step();
                add(testrec::state(t, cur), t);
                if (i % changesAt == 0) {
                    step();
                    addSettings(b, add, t, s.tc);
                }
            }
            if (s.unknownType && a + 1 == s.acquisitions) {
                // In the last acquisition, where a replay still reads.
                step();
                add(testrec::header(7, t), t);
                step();
                add(testrec::state(t, next({})), t);
            }
            if (a + 1 < s.acquisitions || s.endRecord) {
                step();
                add(testrec::startEnd(t), t);
            }
        }
        if (s.junkAfterEnd)
            for (int i = 0; i < 3; ++i) {
                step();
                add(testrec::state(t, next({})), t);
            }
        b.rec.bytes.chop(s.cutLast);
        while (b.ends.back() > b.rec.bytes.size()) {
            b.ends.pop_back();
            b.times.pop_back();
            b.records.pop_back();
        }
        return b;
    }

    std::mt19937& rng() { return rng_; }

private:
    // A few bits flipped, beams more often than status bits; now and then all clear.
    hub::StateRecord next(hub::StateRecord s) {
        if (rng_() % 25 == 0) return hub::StateRecord{};
        const int flips = 1 + static_cast<int>(rng_() % 3);
        for (int i = 0; i < flips; ++i) {
            const int byte = static_cast<int>(rng_() % 12);
            s[static_cast<size_t>(byte)] ^= static_cast<std::uint8_t>(1u << (rng_() % 8));
        }
        return s;
    }

    template <class Add>
    void addSettings(Built&, Add& add, double when, bool tc) {
        if (!tc) {
            std::uint8_t block[hub::kSwBlockSize];
            for (auto& x : block) x = static_cast<std::uint8_t>(rng_());
            block[6] = static_cast<std::uint8_t>(rng_() % 16); // couples present: some hidden
            add(testrec::settings(when, static_cast<std::uint8_t>(0x40 | (rng_() % 4)), block), when);
        } else {
            std::uint8_t block[hub::kTcBlockSize] = {};
            for (int i = 0; i < 64; ++i) block[i] = static_cast<std::uint8_t>(rng_());
            for (int c = 0; c < 4; ++c) {
                block[38 + c] = rng_() % 4 == 0 ? 0 : 1;                           // hidden couples
                block[14 + c] = rng_() % 2 ? static_cast<std::uint8_t>(rng_()) : 0; // excluded beams
                block[26 + c] = static_cast<std::uint8_t>(rng_() % 5);              // power
            }
            block[43] = static_cast<std::uint8_t>(rng_() % 4);
            for (int i = 44; i < 52; ++i) block[i] = static_cast<std::uint8_t>('A' + rng_() % 26);
            add(testrec::settings(when, static_cast<std::uint8_t>(rng_() % 4), block), when);
        }
    }

    std::mt19937 rng_;
};

} // namespace playertest
