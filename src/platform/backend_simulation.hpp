#pragma once
// Where the simulated instrument, the replay card and the raw-record capture
// join the backend: the only place the backend chooser hands over to them.

#include <string>

#include "platform/backend.hpp"
#include "platform/backend_chooser.hpp"

namespace velscan::platform {

// True when this build carries the simulated instrument (the hints then offer it).
bool SimulationAvailable();

// Installs the simulated or replayed parts that `plan` asks for into `backend`
// (whose clock and real openers are already set), and wraps the card for the
// capture. False with `error` set (one complete line) when a part is missing
// from this build; true, changing nothing, for a plan of real hardware only.
bool AttachSimulatedParts(const BackendPlan& plan, Backend& backend, std::string& error);

}  // namespace velscan::platform
