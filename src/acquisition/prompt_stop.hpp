#pragma once
// A stop request (Ctrl+C or a termination signal) must be honoured within
// about a second, even during the mirror's 20 s run-up or a line that lasts
// 10 s, yet a line of normal length is still finished like after q. The
// backend's cancelWait answers: true once the request has been pending for
// longer than a normal line takes to arrive.

#include <chrono>
#include <functional>

namespace velscan {

inline constexpr std::chrono::milliseconds kStopGrace{500};

// The query for platform::Backend::cancelWait; the grace is measured on the
// active backend's clock.
std::function<bool()> StopCutsWaitsShort(std::chrono::nanoseconds grace = kStopGrace);

}  // namespace velscan
