#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/clock.hpp"
#include "platform/interrupt.hpp"

namespace velscan::platform {

namespace {

// A forced end is noticed within one slice of any wait.
constexpr std::uint32_t kSliceMs = 20;

}  // namespace

void RealClock::SleepMs(std::uint32_t ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        // A forced end never returns here, except from the waits of its own
        // motor stop, which it cuts short.
        HonourForcedEnd();
        if (ForcedEndRequested() || PausesCutByStop()) return;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return;
        std::this_thread::sleep_until(std::min(deadline, now + std::chrono::milliseconds(kSliceMs)));
    }
}

std::chrono::nanoseconds RealClock::Now() const {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
}

}  // namespace velscan::platform
