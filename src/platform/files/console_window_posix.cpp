#include "platform/files/console_window.hpp"

namespace velscan::files {

// A terminal outlives the programs started in it: nothing to hold.
int HoldConsoleWindowAfterFailure(int exitCode) { return exitCode; }

}  // namespace velscan::files
