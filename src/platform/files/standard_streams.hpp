#pragma once
// Standard streams that the launcher left closed. A file opened while
// descriptor 0, 1 or 2 is free would take that number, and console lines
// would then land in the table, a capture, a trace or an export's output.

namespace velscan::files {

struct ClosedStandardStreams {
    bool input = false;
    bool output = false;
    bool error = false;
};

// Opens the null device on each of standard input, output and error that is
// closed, and says which were. Call first, before any file is opened.
ClosedStandardStreams OpenClosedStandardStreams() noexcept;

// A reader of standard output that has gone, or a file-size limit, makes a
// write fail instead of ending the program (SIGPIPE and SIGXFSZ ignored;
// Windows has neither signal).
void IgnoreWriteSignals() noexcept;

}  // namespace velscan::files
