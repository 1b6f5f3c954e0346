#pragma once
// The run's status line: when standard error is a terminal, one line redrawn
// in place with "\r" (mirror countdown, sampling rate and time left, rows
// saved), and the texts it shows.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstddef>
#include <optional>
#include <span>

#include "conversion/samples.hpp"
#include "platform/clock.hpp"
#include "scanfile/line_figures.hpp"

namespace velscan {

// A status text, without the "\r" framing; formed without allocating, so the
// line loop can show it.
struct StatusText {
    char text[128] = {};
};

StatusText FormatMirrorWaitStatus(std::int32_t secondsLeft);
// `elapsed`: time since sampling began; rate and time left are shown once a
// line is done, and always the keys that stop the recording.
// `lastWithRange`: the last line's fraction of rows with a range, shown as
// a whole percent (rounded down, so a line short of full range never shows
// 100 %); with it the keys' hint names q alone, so the line stays within 80
// columns.
StatusText FormatSamplingStatus(std::int32_t linesDone, std::int32_t linesAsked,
                                std::chrono::nanoseconds elapsed,
                                std::optional<double> lastWithRange = std::nullopt);
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

// Told after every recorded line (acquisition/line_loop.hpp): computes the
// line's figures into `figures` and redraws the sampling status with them.
// Allocates nothing.
class SamplingProgress {
public:
    SamplingProgress(StatusLine& status, const platform::Clock& clock, std::int32_t linesAsked,
                     std::int32_t samplePeriodMicroseconds, ScanLineFigures& figures)
        : status_(status), clock_(clock), linesAsked_(linesAsked), samplePeriod_(samplePeriodMicroseconds),
          figures_(figures), start_(clock.Now()) {}

    // Before the first line: no figures yet, the status of line 0.
    void Begin();
    void LineRecorded(std::int32_t linesRecorded, std::span<const Measurement, kSamplesPerLine> line,
                      bool lostSamples);

private:
    StatusLine& status_;
    const platform::Clock& clock_;
    std::int32_t linesAsked_;
    std::int32_t samplePeriod_;
    ScanLineFigures& figures_;
    std::chrono::nanoseconds start_;
};

}  // namespace velscan
