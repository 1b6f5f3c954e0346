#include "export/summary.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "conversion/beam_geometry.hpp"

namespace velscan::exporter {
namespace {

constexpr double kDegreesPerRadian = 57.29577951308232;

// As long as the numbers need: a huge distance takes hundreds of digits.
std::string Format(const char* format, double a, double b, double c) {
    const int length = std::snprintf(nullptr, 0, format, a, b, c);
    if (length <= 0) return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), format, a, b, c);
    text.pop_back();
    return text;
}

SummaryLine Span(const std::string& axis, const std::vector<double>& angles) {
    if (angles.empty()) return {axis, "no samples"};
    const auto [low, high] = std::minmax_element(angles.begin(), angles.end());
    const double span = *high - *low;
    std::string value = Format("%.4f to %.4f rad", *low, *high, 0.0);
    value += Format(", span %.4f rad (%.1f degrees", span, span * kDegreesPerRadian, 0.0);
    if (span >= kFullTurn) value += Format(", %.1f turns", span / kFullTurn, 0.0, 0.0);
    return {axis, value + ")"};
}

constexpr std::size_t kWeakestLines = 3;

// "17 (41.2 %), 3 (55.0 %)": the lines short of a range in every row with the
// least rows with a range, fewest first (the earlier line of two equal ones),
// percentages rounded down so that no line short of full range reads 100.0.
std::string WeakestLines(std::span<const LineFigures> figures) {
    std::vector<std::size_t> short_;
    for (std::size_t line = 0; line < figures.size(); ++line)
        if (figures[line].withRange < 1.0) short_.push_back(line);
    if (short_.empty()) return "none: every row of every line has a range";
    const std::size_t shown = std::min(kWeakestLines, short_.size());
    std::partial_sort(short_.begin(), short_.begin() + static_cast<std::ptrdiff_t>(shown), short_.end(),
                      [&figures](std::size_t a, std::size_t b) {
                          return figures[a].withRange < figures[b].withRange ||
                                 (figures[a].withRange == figures[b].withRange && a < b);
                      });
    std::string text;
    for (std::size_t i = 0; i < shown; ++i) {
        const double tenths = std::floor(figures[short_[i]].withRange * 1000.0) / 10.0;
        if (i > 0) text += ", ";
        text += std::to_string(short_[i]) + Format(" (%.1f %%)", tenths, 0.0, 0.0);
    }
    return text;
}

std::string LinesThatLostSamples(std::span<const LineFigures> figures) {
    std::string text;
    for (std::size_t line = 0; line < figures.size(); ++line) {
        if (!figures[line].lostSamples) continue;
        if (!text.empty()) text += ", ";
        text += std::to_string(line);
    }
    return text.empty() ? "none" : text;
}

}  // namespace

std::vector<SummaryLine> SummaryLines(const ScanTable& table, const ScanAngles& angles,
                                      const std::vector<SummaryLine>& applied,
                                      std::span<const LineFigures> lineFigures) {
    std::vector<double> distances;
    distances.reserve(table.Rows());
    for (const double d : table.distance)
        if (HasRange(d)) distances.push_back(d);
    std::vector<SummaryLine> lines{{"rows read", std::to_string(table.Rows())},
                                   {"points (rows with range)", std::to_string(distances.size())},
                                   {"rows without range", std::to_string(table.Rows() - distances.size())}};
    if (distances.empty()) {
        lines.push_back({"distance", "none"});
    } else {
        const auto middle = distances.begin() + static_cast<std::ptrdiff_t>(distances.size() / 2);
        std::nth_element(distances.begin(), middle, distances.end());
        const double median = *middle;
        const auto [low, high] = std::minmax_element(distances.begin(), distances.end());
        lines.push_back({"distance (inches)", Format("min %.2f, median %.2f, max %.2f", *low, median, *high)});
    }
    lines.push_back(Span("mirror angle", angles.mirror));
    lines.push_back(Span("slow-axis angle", angles.slowAxis));
    if (!lineFigures.empty()) {
        lines.push_back({"lines with least range", WeakestLines(lineFigures)});
        lines.push_back({"lines that lost samples", LinesThatLostSamples(lineFigures)});
    }
    lines.insert(lines.end(), applied.begin(), applied.end());
    return lines;
}

std::string SummaryText(const std::vector<SummaryLine>& lines) {
    std::string text;
    for (const SummaryLine& line : lines) text += line.key + ": " + line.value + "\n";
    return text;
}

}  // namespace velscan::exporter
