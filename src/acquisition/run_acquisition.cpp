#include "acquisition/run_acquisition.hpp"

#include <cstdio>

#include "acquisition/exit_codes.hpp"

namespace velscan {

// Placeholder until the recording sequence lands: refuses plainly instead of
// pretending to record.
int RunAcquisition(const RunSettings& settings) {
    (void)settings;
    std::fputs("Error: recording is not available in this build\n", stderr);
    return kExitRunFailed;
}

}  // namespace velscan
