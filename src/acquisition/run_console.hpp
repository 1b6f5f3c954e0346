#pragma once
// The run's console: the documented lines on standard output and standard
// error, and, when standard error is a terminal, the status line (see
// progress.hpp), erased before every documented line. When the status line is
// off, the streams carry the documented lines and nothing else.

#include <cstdio>
#include <string>

#include "acquisition/progress.hpp"

namespace velscan {

class RunConsole {
public:
    // The status line goes to `err`, when enabled.
    RunConsole(std::FILE* out, std::FILE* err, bool statusLine)
        : out_(out), err_(err), status_(err, statusLine) {}

    // A documented line for standard error / standard output. Standard output
    // is flushed after each line so the two streams keep their order when they
    // share a file.
    void Error(const char* text);
    void Output(const char* text);
    // printf-style forms of Error.
    void ErrorFormat(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;

    StatusLine& Status() { return status_; }

private:
    std::FILE* out_;
    std::FILE* err_;
    StatusLine status_;
};

}  // namespace velscan
