#pragma once
// The process environment, read through the operating system's own list.

#include <string>
#include <vector>

namespace velscan::platform {

// Looks up one variable; null when it is unset.
const char* EnvironmentValue(const char* name);

// The names of every variable set in the process environment, in the order
// the system keeps them.
std::vector<std::string> EnvironmentNames();

}  // namespace velscan::platform
