#pragma once
// The run's console: the documented lines on standard output and standard
// error, and, when standard error is a terminal, one status line redrawn in
// place with "\r" (mirror countdown, sampling rate and time left, rows saved)
// that is erased before every documented line. When the status line is off,
// the streams carry the documented lines and nothing else.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstddef>

namespace velscan {

// A status text, without the "\r" framing; formed without allocating, so the
// line loop can show it.
struct StatusText {
    char text[128] = {};
};

StatusText FormatMirrorWaitStatus(std::int32_t secondsLeft);
// `elapsed`: time since sampling began; rate and time left are shown once a
// line is done.
StatusText FormatSamplingStatus(std::int32_t linesDone, std::int32_t linesAsked,
                                std::chrono::nanoseconds elapsed);
StatusText FormatSavingStatus(std::int64_t rowsTotal);

// A line of text on a terminal, redrawn in place.
class StatusLine {
public:
    StatusLine(std::FILE* terminal, bool enabled) : terminal_(terminal), enabled_(enabled) {}
    StatusLine(const StatusLine&) = delete;
    StatusLine& operator=(const StatusLine&) = delete;
    ~StatusLine() { Clear(); }

    bool Enabled() const { return enabled_; }
    // Replaces the line's text (nothing when disabled).
    void Show(const StatusText& text);
    // Blanks the line and leaves the cursor at its start (nothing when not shown).
    void Clear();

private:
    std::FILE* terminal_;
    bool enabled_;
    std::size_t shownLength_ = 0;
};

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
