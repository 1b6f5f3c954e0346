#include "acquisition/line_loop.hpp"

#include "cardlib/vexa.hpp"
#include "platform/interrupt.hpp"

namespace velscan {

namespace {

constexpr int kStopKey = 'q';
constexpr auto kRead = static_cast<std::int32_t>(kSamplesPerLine);

}  // namespace

bool StopRequested(platform::Console& console) {
    // One keystroke per line at most, so keys typed ahead are read one per line.
    if (console.KeyWaiting() && console.ReadKey() == kStopKey) return true;
    platform::HonourForcedEnd();
    return platform::InterruptRequested();
}

LineLoopResult RecordLines(std::uint32_t board, std::int32_t lines,
                           std::span<RawSample, kSamplesPerLine> rawLine,
                           std::span<Measurement> measurements, platform::Console& console,
                           LineObserver& observer) {
    LineLoopResult result;
    const auto capacity = static_cast<std::int32_t>(measurements.size() / kSamplesPerLine);
    std::int32_t countdown = lines;
    std::int32_t k = 0;
    for (;;) {
        // The comparison comes first and the countdown is lowered whatever it
        // gave, so a complete run leaves it at -1.
        const bool linesLeft = countdown > 0;
        --countdown;
        if (!linesLeft || k >= capacity) break;

        std::int32_t delivered = 0;
        const int read = VexaReadSamples(board, rawLine.data(), kRead, delivered, 1);
        if (read == 0) {
            // A stop request cut a long line short: the line is abandoned and
            // the run ends as after q following the line before it.
            if (platform::InterruptRequested()) {
                ++countdown;
                break;
            }
            result.end = LineLoopEnd::ReadFailed;
            break;
        }
        // Status bit 0 on the line's last sample: the card asks for its
        // sampling to be restarted. The line in the buffer is kept.
        const bool restart =
            (rawLine[kSamplesPerLine - 1].statusWord & kStatusRestartBit) != 0;
        if (restart) {
            VexaClearSampleBuffer(board);
            VexaSamplingEnable(board);
        }

        Measurement* line = measurements.data() + kSamplesPerLine * static_cast<std::size_t>(k);
        VexaConvertSamples(board, rawLine.data(), line, kRead);
        if (line[0].invalid != 0) {
            result.end = LineLoopEnd::FirstSampleInvalid;
            break;
        }
        const bool lost = read == 2 || restart;
        if (lost) {
            ++result.linesWithLostSamples;
            if (static_cast<std::size_t>(k) < result.lostSamplesAt.size())
                result.lostSamplesAt.set(static_cast<std::size_t>(k));
        }
        ++k;
        observer.LineRecorded(k, std::span<const Measurement, kSamplesPerLine>(line, kSamplesPerLine), lost);

        if (StopRequested(console)) break;
    }
    result.linesRecorded = k;
    result.countdown = countdown;
    return result;
}

}  // namespace velscan
