#include "platform/clock.h"

#include <chrono>
#include <thread>

#include "platform/backend.h"

namespace platform {

void RealClock::Sleep(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

uint64_t RealClock::NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void VirtualClock::Sleep(uint32_t ms) { Advance(ms); }
uint64_t VirtualClock::NowMs() { return now_.load(); }
void VirtualClock::Advance(uint64_t ms) { now_ += ms; }

void Sleep(uint32_t ms) { CurrentBackend().GetClock().Sleep(ms); }
uint64_t MonotonicMs() { return CurrentBackend().GetClock().NowMs(); }

}  // namespace platform
