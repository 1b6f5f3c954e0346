#pragma once
// The line loop of the run: reads buffer lines of 5000 raw samples from the
// card, converts each into the next 5000 records of the measurement array and
// polls the keyboard (and Ctrl+C) once per line for the stop request.

#include <bitset>
#include <cstdint>
#include <span>

#include "conversion/samples.hpp"
#include "platform/console.hpp"

namespace velscan {

enum class LineLoopEnd {
    Completed,            // the countdown ran out, or q / Ctrl+C stopped the loop
                          // (a stop that cut a line short abandons that line)
    ReadFailed,           // VexaReadSamples gave 0
    FirstSampleInvalid,   // the first measurement of a line was invalid
};

struct LineLoopResult {
    LineLoopEnd end = LineLoopEnd::Completed;
    std::int32_t linesRecorded = 0;   // lines converted into the measurements, a failing one not
    std::int32_t countdown = 0;       // its final value (-1 after a complete run)
    // Recorded lines whose read reported a card buffer overflow or whose last
    // sample asked for a sampling restart: samples were lost next to them.
    std::int32_t linesWithLostSamples = 0;
    // Which recorded lines those are, by 0-based index.
    std::bitset<kMaxLines> lostSamplesAt;
};

// Told after every recorded line, with the line's records and whether
// samples were lost next to it; must not allocate.
class LineObserver {
public:
    virtual void LineRecorded(std::int32_t linesRecorded, std::span<const Measurement, kSamplesPerLine> line,
                              bool lostSamples) = 0;

protected:
    ~LineObserver() = default;
};

// Records up to `lines` lines (at most the capacity of `measurements`) on the
// open board `board`, through `rawLine`, polling `console` for the stop key
// after every line. Allocates nothing.
LineLoopResult RecordLines(std::uint32_t board, std::int32_t lines,
                           std::span<RawSample, kSamplesPerLine> rawLine,
                           std::span<Measurement> measurements, platform::Console& console,
                           LineObserver& observer);

// True when a stop was asked for since the last call: a waiting keystroke on
// `console` (exactly one is read) that is the lower-case q, or a Ctrl+C.
bool StopRequested(platform::Console& console);

}  // namespace velscan
