#pragma once

namespace velscan {

inline constexpr int kExitSuccess = 0;        // recorded what was asked, or stopped with q
inline constexpr int kExitUsage = 1;          // after the usage text
inline constexpr int kExitCommandLine = 2;    // a command-line error
inline constexpr int kExitRunFailed = 3;      // a run that failed
// Stopped (Ctrl+C or a termination signal) during the mirror's run-up:
// nothing recorded, an existing file left as it was.
inline constexpr int kExitStoppedBeforeSampling = 4;

}  // namespace velscan
