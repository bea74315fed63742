// Time as the library sees it. Every pause goes through the process's clock, so
// simulated cameras on a virtual clock make long waits cost no wall time.
#pragma once

#include <atomic>
#include <cstdint>

namespace platform {

class Clock {
public:
    virtual ~Clock() = default;
    virtual void Sleep(uint32_t ms) = 0;
    // Milliseconds on a monotonic scale; only differences mean anything.
    virtual uint64_t NowMs() = 0;
};

// Wall time: a sleep blocks the calling thread.
class RealClock final : public Clock {
public:
    void Sleep(uint32_t ms) override;
    uint64_t NowMs() override;
};

// Simulated time: a sleep advances the clock at once. Thread-safe.
class VirtualClock final : public Clock {
public:
    void Sleep(uint32_t ms) override;
    uint64_t NowMs() override;
    void Advance(uint64_t ms);

private:
    std::atomic<uint64_t> now_{0};
};

// Pauses the calling thread on the process's clock.
void Sleep(uint32_t ms);
// Monotonic milliseconds on the process's clock.
uint64_t MonotonicMs();

}  // namespace platform
