#include "acquisition/prompt_stop.hpp"

#include <memory>
#include <optional>

#include "platform/backend.hpp"
#include "platform/interrupt.hpp"

namespace velscan {

std::function<bool()> StopCutsWaitsShort(std::chrono::nanoseconds grace) {
    auto seenAt = std::make_shared<std::optional<std::chrono::nanoseconds>>();
    return [seenAt, grace] {
        if (!platform::InterruptRequested()) {
            seenAt->reset();
            return false;
        }
        const std::chrono::nanoseconds now = platform::ActiveBackend().clock->Now();
        if (!*seenAt) *seenAt = now;
        return now - **seenAt >= grace;
    };
}

}  // namespace velscan
