#include <thread>

#include "platform/clock.hpp"

namespace velscan::platform {

void RealClock::SleepMs(std::uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::chrono::nanoseconds RealClock::Now() const {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
}

}  // namespace velscan::platform
