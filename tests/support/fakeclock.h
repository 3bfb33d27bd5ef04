#pragma once
// The steady clock of the protocol tests: it moves only when a fake line or
// the test moves it, so deadlines of seconds run in microseconds.
//
// A wrong deadline on a fake clock tends to turn into an endless poll (the
// line waits for a time that never comes, or the code reads the clock in a
// loop that nothing advances). Every reading and every sleep is a step; past
// the step limit the clock fails the test and throws, so such a fault ends
// the test at once instead of running into ctest's time-out.
#include "serial/line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

namespace testsupport {

using namespace std::chrono_literals;

// Thrown past the step limit. Not a std::exception: production code that
// catches those must not swallow it.
struct StepLimitReached {};

class FakeClock final : public hub::SteadyClock {
  public:
    // Far more than any test needs: the longest ones read the clock a few
    // hundred thousand times.
    static constexpr long kDefaultStepLimit = 2'000'000;

    explicit FakeClock(hub::SteadyTime start = hub::SteadyTime{}) : t(start), start_(start) {}

    hub::SteadyTime now() const override {
        step();
        return t;
    }
    void sleepUntil(hub::SteadyTime x) override {
        step();
        t = std::max(t, x);
    }
    // Time since the clock was made.
    std::chrono::milliseconds elapsed() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(t - start_);
    }

    hub::SteadyTime t; // tests move it directly: clock.t += 1000ms
    long stepLimit = kDefaultStepLimit;
    long steps() const { return steps_; }

  private:
    void step() const {
        if (++steps_ <= stepLimit) return;
        if (steps_ == stepLimit + 1)
            ADD_FAILURE() << "the fake clock was read or slept on " << stepLimit
                          << " times: a wait whose deadline never comes";
        throw StepLimitReached{};
    }

    hub::SteadyTime start_;
    mutable long steps_ = 0;
};

} // namespace testsupport
