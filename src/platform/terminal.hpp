#pragma once
// Whether a standard stream is a terminal.

#include <cstdio>

namespace velscan::platform {

// True when the stream is connected to a terminal (a console window on Windows).
bool IsTerminal(std::FILE* stream);

}  // namespace velscan::platform
