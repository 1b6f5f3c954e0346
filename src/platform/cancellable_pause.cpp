#include "platform/cancellable_pause.hpp"

#include <algorithm>

#include "platform/backend.hpp"

namespace velscan::platform {

namespace {

constexpr std::uint32_t kStepMs = 100;

}  // namespace

bool WaitCancelled() {
    const Backend& backend = ActiveBackend();
    return backend.cancelWait && backend.cancelWait();
}

bool CancellablePause(std::uint32_t ms) {
    if (!ActiveBackend().cancelWait) {
        Pause(ms);
        return true;
    }
    while (ms > 0) {
        if (WaitCancelled()) return false;
        const std::uint32_t step = std::min(ms, kStepMs);
        Pause(step);
        ms -= step;
    }
    return !WaitCancelled();
}

}  // namespace velscan::platform
