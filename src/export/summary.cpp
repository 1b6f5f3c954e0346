#include "export/summary.hpp"

#include <algorithm>
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

}  // namespace

std::vector<SummaryLine> SummaryLines(const ScanTable& table, const ScanAngles& angles,
                                      const std::vector<SummaryLine>& applied) {
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
    lines.insert(lines.end(), applied.begin(), applied.end());
    return lines;
}

std::string SummaryText(const std::vector<SummaryLine>& lines) {
    std::string text;
    for (const SummaryLine& line : lines) text += line.key + ": " + line.value + "\n";
    return text;
}

}  // namespace velscan::exporter
