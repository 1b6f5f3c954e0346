#pragma once
// What a run is given besides its settings: the console it polls for the stop
// key, the clock it measures its progress on, and what it prints after a
// failed open of the port or the card.

#include <functional>
#include <memory>
#include <string>

#include "acquisition/backend_chooser.hpp"
#include "platform/clock.hpp"
#include "platform/console.hpp"

namespace velscan {

struct RunEnvironment {
    platform::Console& console;
    const platform::Clock& clock;
    // The advice line after a failed open, when the host has no default (see
    // ChosenBackend).
    std::string laserHint;
    std::string cardHint;
    // Why an open failed, when the opener knows; may be null.
    std::shared_ptr<const OpenFailures> openFailures;
    // Closes the capture at the end of the run (see ChosenBackend); may be empty.
    std::function<std::string()> finishCapture;
};

}  // namespace velscan
