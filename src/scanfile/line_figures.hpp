#pragma once
// The figures of one recorded line, by which the operator (and a program
// reading the metadata) judges it: how much of it had a range, how far it
// reached, how strong and how warm the returns were, whether the mirror kept
// its speed and whether samples were lost next to it. velscan computes them
// after every line, velscan-reconvert for every line it converts, both with
// the one function below; the table's metadata file lists them.
//
// Every figure can be recomputed from the table's rows of the line (rows
// line*5000 ... line*5000+4999) and the sample period:
//   withRange       rows whose distance, written with two decimals, is not 0
//                   (the rule of the metadata's rowsWithoutRange and of
//                   velscan-export), divided by the line's rows
//   distance p5, median, p95
//                   nearest rank over the distances of the rows with a
//                   range: the value at 1-based rank ceil(p * n / 100) of the
//                   n distances in ascending order (p = 5, 50, 95); none
//                   when the line has no range
//   meanAmplitude   mean of the amplitudes of all the line's rows
//   meanTemperature mean of the temperatures (degrees F) of all its rows
//   mirrorTurnsPerSecond
//                   (angle1 of the last row - angle1 of the first) / 2 pi,
//                   divided by (rows - 1) * sample period: the mirror's mean
//                   speed over the line; none without a sample period or
//                   with fewer than two rows
//   lostSamples     the run reported samples lost next to the line

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "conversion/samples.hpp"

namespace velscan {

struct LineFigures {
    double withRange = 0.0;  // fraction 0..1
    std::optional<double> distanceP5, distanceMedian, distanceP95;  // inches
    double meanAmplitude = 0.0;
    double meanTemperature = 0.0;  // degrees Fahrenheit
    std::optional<double> mirrorTurnsPerSecond;
    bool lostSamples = false;
};

// The 0-based index of the nearest-rank `percent` point (1..100) among
// `count` (> 0) values in ascending order: ceil(percent * count / 100) - 1.
constexpr std::size_t NearestRankIndex(std::size_t count, std::size_t percent) {
    const std::size_t rank = (percent * count + 99) / 100;
    return rank == 0 ? 0 : rank - 1;
}

// The figures of the rows of one line (normally its 5000 records). Allocates
// nothing: the distance points are selected in `scratch`, which must hold at
// least as many values as the line has rows (std::invalid_argument
// otherwise). `samplePeriodMicroseconds` is the period the line was sampled
// at; 0 or less when not known.
LineFigures ComputeLineFigures(std::span<const Measurement> line, std::int32_t samplePeriodMicroseconds,
                               bool lostSamples, std::span<double> scratch);

// The figures of a scan's lines as they are recorded: room for every line a
// run records, made once, with the scratch the selection needs, so adding a
// line allocates nothing.
class ScanLineFigures {
public:
    void Clear() { count_ = 0; }
    // Computes and keeps the figures of the next line; a line beyond
    // kMaxLines is computed but not kept.
    const LineFigures& Add(std::span<const Measurement> line, std::int32_t samplePeriodMicroseconds,
                           bool lostSamples);
    std::span<const LineFigures> Lines() const { return std::span(lines_).first(count_); }

private:
    std::array<LineFigures, kMaxLines> lines_{};
    std::array<double, kSamplesPerLine> scratch_{};
    LineFigures beyond_{};
    std::size_t count_ = 0;
};

}  // namespace velscan
