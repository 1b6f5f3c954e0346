#include "acquisition/progress.hpp"

#include <algorithm>
#include <cstring>

#include "conversion/samples.hpp"

namespace velscan {

StatusText FormatMirrorWaitStatus(std::int32_t secondsLeft) {
    StatusText status;
    std::snprintf(status.text, sizeof status.text, "Mirror run-up: %d s left",
                  static_cast<int>(secondsLeft));
    return status;
}

StatusText FormatSamplingStatus(std::int32_t linesDone, std::int32_t linesAsked,
                                std::chrono::nanoseconds elapsed, std::optional<double> lastWithRange) {
    StatusText status;
    const double seconds = std::chrono::duration<double>(elapsed).count();
    if (linesDone <= 0 || seconds <= 0.0) {
        std::snprintf(status.text, sizeof status.text, "Sampling: line %d of %d; q or Ctrl+C: stop",
                      static_cast<int>(linesDone), static_cast<int>(linesAsked));
        return status;
    }
    const double samples = static_cast<double>(linesDone) * static_cast<double>(kSamplesPerLine);
    const double perSecond = samples / seconds;
    const double secondsPerLine = seconds / static_cast<double>(linesDone);
    const double remaining = secondsPerLine * static_cast<double>(linesAsked - linesDone);
    const auto left = static_cast<long>(remaining + 0.5);
    if (lastWithRange) {
        const int percent = static_cast<int>(std::clamp(*lastWithRange, 0.0, 1.0) * 100.0);
        std::snprintf(status.text, sizeof status.text,
                      "Sampling: line %d of %d, %.0f samples/s, %ld:%02ld left, %d%% in range; q: stop",
                      static_cast<int>(linesDone), static_cast<int>(linesAsked), perSecond, left / 60,
                      left % 60, percent);
        return status;
    }
    std::snprintf(status.text, sizeof status.text,
                  "Sampling: line %d of %d, %.0f samples/s, %ld:%02ld left; q or Ctrl+C: stop",
                  static_cast<int>(linesDone), static_cast<int>(linesAsked), perSecond,
                  left / 60, left % 60);
    return status;
}

void SamplingProgress::Begin() {
    figures_.Clear();
    if (status_.Enabled()) status_.Show(FormatSamplingStatus(0, linesAsked_, {}));
}

void SamplingProgress::LineRecorded(std::int32_t linesRecorded, std::span<const Measurement, kSamplesPerLine> line,
                                    bool lostSamples) {
    const LineFigures& figures = figures_.Add(line, samplePeriod_, lostSamples);
    if (status_.Enabled())
        status_.Show(FormatSamplingStatus(linesRecorded, linesAsked_, clock_.Now() - start_, figures.withRange));
}

StatusText FormatSavingStatus(std::int64_t rowsTotal) {
    StatusText status;
    std::snprintf(status.text, sizeof status.text, "Saving %lld rows",
                  static_cast<long long>(rowsTotal));
    return status;
}

void StatusLine::Show(const StatusText& status) {
    if (!enabled_) return;
    // One write per redraw: standard error is unbuffered.
    char frame[3 * sizeof status.text + 2];
    std::size_t used = 0;
    frame[used++] = '\r';
    const std::size_t length = std::strlen(status.text);
    std::memcpy(frame + used, status.text, length);
    used += length;
    // Blank what a longer previous text left behind and go back to the text's end.
    for (std::size_t i = length; i < shownLength_; ++i) frame[used++] = ' ';
    for (std::size_t i = length; i < shownLength_; ++i) frame[used++] = '\b';
    std::fwrite(frame, 1, used, terminal_);
    std::fflush(terminal_);
    shownLength_ = length;
}

void StatusLine::Clear() {
    if (!enabled_ || shownLength_ == 0) return;
    char frame[sizeof StatusText{}.text + 2];
    std::size_t used = 0;
    frame[used++] = '\r';
    for (std::size_t i = 0; i < shownLength_; ++i) frame[used++] = ' ';
    frame[used++] = '\r';
    std::fwrite(frame, 1, used, terminal_);
    std::fflush(terminal_);
    shownLength_ = 0;
}

}  // namespace velscan
