#include "serial/line.h"

#include <thread>

namespace hub {

SteadyTime SystemClock::now() const { return std::chrono::steady_clock::now(); }

void SystemClock::sleepUntil(SteadyTime t) { std::this_thread::sleep_until(t); }

SystemClock& SystemClock::instance() {
    static SystemClock clock;
    return clock;
}

} // namespace hub
