#pragma once
// Long waits that the active backend's cancelWait may cut short, so a stop
// request is honoured within a fraction of a second instead of at the end of
// a 20 s run-up or a 10 s line.

#include <cstdint>

namespace velscan::platform {

// True when the active backend asks the current wait to end early.
bool WaitCancelled();

// Pauses `ms` on the clock, in steps of at most 100 ms when the backend can
// cancel waits; false when it was cut short.
bool CancellablePause(std::uint32_t ms);

}  // namespace velscan::platform
