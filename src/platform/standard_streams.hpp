#pragma once
// Standard streams that the launcher left closed. A file opened while
// descriptor 0, 1 or 2 is free would take that number, and console lines
// would then land in the table, a capture or a trace.

namespace velscan::platform {

// Opens the null device on each of standard input, output and error that is
// closed. Call first, before any file is opened.
void OpenClosedStandardStreams() noexcept;

}  // namespace velscan::platform
