#pragma once
// The program's version, as the build's project declares it.

namespace velscan {

const char* ProgramVersion();

}  // namespace velscan
