#pragma once
// Builds the simulated parts of the backend that the environment asks for:
// the simulated instrument (VELSCAN_SIM=1, VELSCAN_CARD=sim, VELSCAN_LASER=sim,
// VELSCAN_SIM_SCENE, VELSCAN_SIM_SEED, VELSCAN_SIM_FAULTS), the replay card
// (VELSCAN_CARD=replay:PATH, with the range finder simulated unless
// VELSCAN_LASER names a port) and the capture of raw records
// (VELSCAN_CAPTURE, around whichever card the backend opens). Faults apply to
// the simulated and replayed parts only.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/backend.hpp"
#include "platform/backend_chooser.hpp"

namespace velscan::sim {

// VELSCAN_SIM_SEED: decimal, or hexadecimal after 0x; empty gives the fixed default.
std::optional<std::uint64_t> ParseSeed(std::string_view text);

// Installs into `backend` (clock and real openers already set) what `plan`
// asks of the simulation. False, with one complete "Error: ...\n" line in
// `error`, when a value cannot be used (unknown fault, bad seed, scene file
// error, unreadable capture for replay, capture file that cannot be created).
bool AttachSimulation(const platform::BackendPlan& plan, platform::Backend& backend,
                      std::string& error);

}  // namespace velscan::sim
