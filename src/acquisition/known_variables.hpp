#pragma once
// The environment variables velscan reads, and the warning for a VELSCAN_
// variable it does not know (a misspelt VELSCAN_CLOCK would otherwise leave
// the run in real time without a word).

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace velscan {

// Every variable the backend's plan reads, in the README's order.
inline constexpr std::array<std::string_view, 13> kKnownVariables{
    "VELSCAN_SIM",       "VELSCAN_CARD",       "VELSCAN_LASER",
    "VELSCAN_CLOCK",     "VELSCAN_SIM_SCENE",  "VELSCAN_SIM_SEED",
    "VELSCAN_SIM_FAULTS", "VELSCAN_CAPTURE",   "VELSCAN_TRACE",
    "VELSCAN_PROFILE",   "VELSCAN_POSE",
    "VELSCAN_LIVE",      "VELSCAN_PICTURES"};

// One "Warning: ...\n" line for each name in `names` that starts with
// VELSCAN_ and is not a known variable, naming the known ones; empty when
// there is none.
std::string UnknownVariableWarnings(const std::vector<std::string>& names);

}  // namespace velscan
