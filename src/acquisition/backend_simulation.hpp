#pragma once
// Where the simulated instrument, the replay card and the raw-record capture
// join the backend: the only place the backend chooser hands over to them.
// Faults are injected by the simulated and replayed parts; a plan that names a
// fault none of its parts can inject is refused (CheckFaults).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "acquisition/backend_chooser.hpp"

namespace velscan {

// VELSCAN_SIM_FAULTS against the parts `plan` chooses: false with `error` set
// (one complete "Error: ...\n" line) for an unknown name or a bad value, with
// any backend, and for a fault that no chosen part can inject.
bool CheckFaults(const BackendPlan& plan, std::string& error);

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
