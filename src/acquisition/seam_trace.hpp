#pragma once
// A trace of everything the program does at the hardware seam (VELSCAN_TRACE):
// every serial port opened, written and closed, and every card device opened,
// controlled and closed, one line each, appended to a text file as it
// happens. It shows what the range finder received and which controls the
// card was given (the motor register among them), with real hardware or the
// simulated instrument alike.
//
// Lines:
//   serial open <port number> | serial open failed <port number>
//   serial purge <flags hex>
//   serial write <bytes, with \n, \r, \\ and \xHH escapes>
//   serial close
//   card open | card open failed
//   card control <code hex> <input bytes hex, or -> ok|failed
//   card close

#include <string>

#include "platform/backend.hpp"

namespace velscan {

inline constexpr const char* kTraceCreateError = "VELSCAN_TRACE: can't create the file ";

// Wraps the openers of `backend` so that their ports and devices write the
// trace to `path` (created or emptied here). False with one complete
// "Error: ...\n" line in `error` when the file cannot be created.
bool TraceBackend(platform::Backend& backend, const std::string& path, std::string& error);

}  // namespace velscan
