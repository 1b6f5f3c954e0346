#pragma once
// The run's status line: when standard error is a terminal, one line redrawn
// in place with "\r" (mirror countdown, sampling rate and time left, rows
// saved), and the texts it shows.

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
// line is done, and always the keys that stop the recording.
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

}  // namespace velscan
