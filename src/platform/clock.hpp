#pragma once
// The clock seam: every wait of the program goes through it, so a simulated
// run can use virtual time in which a 20 s wait costs nothing.

#include <chrono>
#include <cstdint>

namespace velscan::platform {

class Clock {
public:
    virtual ~Clock() = default;
    // Sleeps the calling thread for `ms` milliseconds (virtual time: advances at once).
    virtual void SleepMs(std::uint32_t ms) = 0;
    // Monotonic time since an arbitrary origin.
    virtual std::chrono::nanoseconds Now() const = 0;
};

// Wall time: steady_clock and a real sleep.
class RealClock final : public Clock {
public:
    void SleepMs(std::uint32_t ms) override;
    std::chrono::nanoseconds Now() const override;
};

// Virtual time: starts at 0, a sleep advances it at once. Only a simulated or
// replayed card may run against it.
class VirtualClock : public Clock {
public:
    void SleepMs(std::uint32_t ms) override { now_ += std::chrono::milliseconds(ms); }
    std::chrono::nanoseconds Now() const override { return now_; }

private:
    std::chrono::nanoseconds now_{0};
};

}  // namespace velscan::platform
