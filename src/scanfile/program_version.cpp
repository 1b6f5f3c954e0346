#include "scanfile/program_version.hpp"

namespace velscan {

// VELSCAN_VERSION comes from the build (the project's version), the same for
// every checkout, so this file compiles alike everywhere.
const char* ProgramVersion() { return VELSCAN_VERSION; }

}  // namespace velscan
