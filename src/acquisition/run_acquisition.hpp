#pragma once

#include "acquisition/command_line.hpp"
#include "acquisition/run_environment.hpp"

namespace velscan {

// The whole recording run; returns the process exit code. The card library
// and the serial link reach the hardware through the process-wide backend;
// the run's own console and clock come from `environment`.
int RunAcquisition(const RunSettings& settings, const RunEnvironment& environment);

}  // namespace velscan
