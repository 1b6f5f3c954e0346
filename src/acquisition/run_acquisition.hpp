#pragma once

#include "acquisition/command_line.hpp"
#include "acquisition/run_context.hpp"

namespace velscan {

// The whole recording run, in phases: configure, mirror wait, sample, save.
// Returns the process exit code. The card library and the serial link reach
// the hardware through the process-wide backend; the run's own console and
// clock come from `context`. `settings.lines` is at most 200 (the command
// line refuses more).
int RunAcquisition(const RunSettings& settings, const RunContext& context);

}  // namespace velscan
