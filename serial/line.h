#pragma once
// The small line interface that protocol code talks to. TComPort implements it
// over a real device; tests use scripted fake lines with a fake clock.
#include <chrono>
#include <cstdint>

namespace hub {

using SteadyTime = std::chrono::steady_clock::time_point;

class SteadyClock {
public:
    virtual ~SteadyClock() = default;
    virtual SteadyTime now() const = 0;
    // Pauses (the stop-byte pauses). Never spins.
    virtual void sleepUntil(SteadyTime t) = 0;
};

// std::chrono::steady_clock, sleeping with the OS.
class SystemClock final : public SteadyClock {
public:
    SteadyTime now() const override;
    void sleepUntil(SteadyTime t) override;
    static SystemClock& instance();
};

class Line {
public:
    virtual ~Line() = default;
    // Writes all bytes (bounded by the port's write time-out); returns bytes written.
    virtual int writeBytes(const std::uint8_t* data, int count) = 0;
    // Returns at once with what is waiting, 0..count bytes.
    virtual int readBytes(std::uint8_t* data, int count) = 0;
    virtual int inQueCount() = 0;
    virtual void purgeIn() = 0;
    virtual void purgeOut() = 0;
    // Blocks (poll(2)) until at least one byte is waiting or the deadline passed.
    // Fake lines advance their fake clock instead.
    virtual void waitReadable(SteadyTime deadline) = 0;
    // Like waitReadable, for a caller that needs `wanted` bytes and whose
    // last read emptied the queue: a real port sleeps (never past the
    // deadline) while they are on their way, instead of waking for every byte.
    virtual void waitForBytes(int wanted, SteadyTime deadline) {
        (void)wanted;
        waitReadable(deadline);
    }
};

} // namespace hub
