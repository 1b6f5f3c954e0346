#pragma once
// Facts about the machine a metadata file records: the operating system's
// name, release and machine type, and the wall-clock time of day in UTC.
// The wall clock is read for time stamps only; waits go through the clock seam.

#include <chrono>
#include <functional>
#include <string>

namespace velscan::platform {

// POSIX: "sysname release machine" as uname gives them ("Linux 6.1.0-18-amd64
// x86_64"); Windows: "Windows MAJOR.MINOR.BUILD". Empty when the system does
// not say.
std::string SystemDescription();

// The time of day a stamp is taken from; a test fixes it.
using WallClock = std::function<std::chrono::system_clock::time_point()>;

// The system's wall clock.
std::chrono::system_clock::time_point WallClockNow();

// ISO 8601 in UTC with milliseconds: "2026-12-09T07:30:00.123Z".
std::string UtcTimestamp(std::chrono::system_clock::time_point time);

}  // namespace velscan::platform
