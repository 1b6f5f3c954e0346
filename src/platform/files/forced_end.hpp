#pragma once
// The forced end of a program that only writes files (velscan-export,
// velscan-reconvert): a request to end (SIGINT, SIGTERM, SIGHUP, SIGQUIT; on
// Windows the console's Ctrl+C, Ctrl+Break, close, logoff and shutdown)
// removes every unfinished file of the file writer and ends the program at
// once. A set being renamed is first put in place whole (see CommitWindow),
// so the targets hold either every new file or every earlier one.

namespace velscan::files {

// The exit codes of a forced end: 128 plus the signal's number, as a POSIX
// shell reports a program a signal ended. On Windows Ctrl+C counts as SIGINT,
// Ctrl+Break as SIGQUIT and the console's close, logoff and shutdown as SIGHUP.
inline constexpr int kExitInterrupted = 130;  // SIGINT, Ctrl+C
inline constexpr int kExitTerminated = 143;   // SIGTERM
inline constexpr int kExitHungUp = 129;       // SIGHUP, console closed
inline constexpr int kExitQuit = 131;         // SIGQUIT, Ctrl+Break

// Installs the handlers for the rest of the process.
void EndOnRequestRemovingUnfinishedFiles() noexcept;

}  // namespace velscan::files
