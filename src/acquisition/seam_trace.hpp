#pragma once
// A trace of every serial port and card device call at the hardware seam
// (VELSCAN_TRACE; the clock's pauses are not in it): every serial port opened,
// set up, written and closed, and every card device opened, controlled and
// closed, one line each, written to a new text file as it happens. It shows
// what the range finder received, how its port was set up (DTR among it) and
// which controls the card was given (the motor register among them), with
// real hardware or the simulated instrument alike.
//
// Lines:
//   serial open <port number> | serial open failed <port number>
//   serial event mask <mask hex>
//   serial queue sizes <input bytes> <output bytes>
//   serial timeouts <read interval hex> <read multiplier> <read constant>
//                   <write multiplier> <write constant>   (milliseconds)
//   serial line settings <baud rate> 8N1 ok|refused   (no flow control)
//   serial dtr raised | serial dtr lowered
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
