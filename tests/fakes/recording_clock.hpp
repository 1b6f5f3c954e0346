#pragma once
// A virtual clock that keeps every pause, so a test can assert the exact
// sequence of waits ("three 50 ms pauses").

#include <cstdint>
#include <numeric>
#include <vector>

#include "platform/clock.hpp"

namespace velscan::fakes {

class RecordingClock : public platform::VirtualClock {
public:
    void SleepMs(std::uint32_t ms) override {
        pauses.push_back(ms);
        platform::VirtualClock::SleepMs(ms);
    }
    std::uint64_t TotalPausedMs() const {
        return std::accumulate(pauses.begin(), pauses.end(), std::uint64_t{0});
    }

    std::vector<std::uint32_t> pauses;
};

}  // namespace velscan::fakes
