#pragma once
// The simulated instrument's lookup file (examples/LOOKUPHS), known by its
// SHA-256. Its distances belong to no real range finder: a scan with the real
// card converted through it records made-up distances.

#include <string_view>

namespace velscan {

inline constexpr std::string_view kSimulatedLookupSha256 =
    "226edb0c9ae075ad823144c33fa4f46e6c36d1aee963859de0d0b430eb637f28";

// The line a run with the real card prints before the mirror's run-up when
// the lookup file it loaded is the simulated instrument's.
inline constexpr const char* kSimulatedLookupWarning =
    "Warning: LOOKUPHS is the simulated instrument's lookup file, not this range finder's "
    "calibration: the distances of this scan will be made up\n";

}  // namespace velscan
