#include "scanfile/line_figures.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>

#include "conversion/beam_geometry.hpp"
#include "scanfile/measurement_table.hpp"

namespace velscan {

namespace {

constexpr std::size_t kLowPercent = 5, kMedianPercent = 50, kHighPercent = 95;

struct DistancePoints {
    double low, median, high;
};

// The three nearest-rank points of `values` (not empty), reordering them:
// the median first, then the low point among the values below it and the
// high point among those above it, each selection on a smaller part.
DistancePoints SelectPoints(std::span<double> values) {
    const std::size_t n = values.size();
    const auto at = [&values](std::size_t index) { return values.begin() + static_cast<std::ptrdiff_t>(index); };
    const std::size_t low = NearestRankIndex(n, kLowPercent);
    const std::size_t median = NearestRankIndex(n, kMedianPercent);
    const std::size_t high = NearestRankIndex(n, kHighPercent);
    std::nth_element(values.begin(), at(median), values.end());
    if (low < median) std::nth_element(values.begin(), at(low), at(median));
    if (high > median) std::nth_element(at(median + 1), at(high), values.end());
    return {values[low], values[median], values[high]};
}

}  // namespace

LineFigures ComputeLineFigures(std::span<const Measurement> line, std::int32_t samplePeriodMicroseconds,
                               bool lostSamples, std::span<double> scratch) {
    if (scratch.size() < line.size()) throw std::invalid_argument("the scratch is smaller than the line");
    LineFigures figures;
    figures.lostSamples = lostSamples;
    if (line.empty()) return figures;

    // Without branches on the distance, whose rows with and without range
    // alternate unpredictably: every distance is stored, and the next store
    // moves on past those with a range. NaN (a range, by the table's rule)
    // compares false both ways, so it is counted but not selected: it has
    // no place in an order.
    std::size_t withoutRange = 0;
    std::size_t selected = 0;
    double amplitude = 0.0, temperature = 0.0;
    for (const Measurement& row : line) {
        const double d = row.distance;
        amplitude += row.amplitude;
        temperature += row.temperature;
        withoutRange += static_cast<std::size_t>(ShowsNoRange(d));
        scratch[selected] = d;
        selected += static_cast<std::size_t>((d >= 0.005) | (d <= -0.005));
    }
    const auto rows = static_cast<double>(line.size());
    figures.withRange = static_cast<double>(line.size() - withoutRange) / rows;
    figures.meanAmplitude = amplitude / rows;
    figures.meanTemperature = temperature / rows;
    if (selected > 0) {
        const DistancePoints points = SelectPoints(scratch.first(selected));
        figures.distanceP5 = points.low;
        figures.distanceMedian = points.median;
        figures.distanceP95 = points.high;
    }
    if (samplePeriodMicroseconds > 0 && line.size() >= 2) {
        const double turns = (line.back().angle1 - line.front().angle1) / kFullTurn;
        const double seconds = (rows - 1.0) * static_cast<double>(samplePeriodMicroseconds) / 1e6;
        figures.mirrorTurnsPerSecond = turns / seconds;
    }
    return figures;
}

const LineFigures& ScanLineFigures::Add(std::span<const Measurement> line, std::int32_t samplePeriodMicroseconds,
                                        bool lostSamples) {
    LineFigures& figures = count_ < lines_.size() ? lines_[count_++] : beyond_;
    // The store's scratch holds one full line; a longer span is cut to it.
    const std::span<const Measurement> rows = line.first(std::min(line.size(), scratch_.size()));
    figures = ComputeLineFigures(rows, samplePeriodMicroseconds, lostSamples, scratch_);
    return figures;
}

}  // namespace velscan
