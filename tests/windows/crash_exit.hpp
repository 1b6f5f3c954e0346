#pragma once
// Makes an unhandled exception end a Windows test program at once with a
// non-zero exit code, after one line on standard error naming the exception,
// its address and the test that was running. No error dialog, no debugger.

namespace velscan::testing {

inline constexpr unsigned kUnhandledExceptionExitCode = 70;

void InstallCrashExit();

}  // namespace velscan::testing
