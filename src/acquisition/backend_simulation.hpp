#pragma once
// Where the simulated instrument, the replay card and the raw-record capture
// join the backend: the only place the backend chooser hands over to them.
// Faults apply to the simulated and replayed parts only.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "acquisition/backend_chooser.hpp"

namespace velscan {

// True when this build carries the simulated instrument (the hints then offer it).
bool SimulationAvailable();

// VELSCAN_SIM_SEED: decimal, or hexadecimal after 0x; empty gives the fixed default.
std::optional<std::uint64_t> ParseSeed(std::string_view text);

// Installs the simulated or replayed parts that `plan` asks for into `chosen`
// (whose clock and real openers are already set), and wraps the card for the
// capture, whose file is created last. False with `error` set (one complete
// "Error: ...\n" line) when a value cannot be used (unknown fault, bad seed,
// scene file error, unreadable replay, capture file that cannot be created);
// true, changing nothing, for a plan of real hardware only.
bool AttachSimulatedParts(const BackendPlan& plan, ChosenBackend& chosen, std::string& error);

}  // namespace velscan
