#pragma once

#include "acquisition/command_line.hpp"

namespace velscan {

// The whole recording run; returns the process exit code.
int RunAcquisition(const RunSettings& settings);

}  // namespace velscan
