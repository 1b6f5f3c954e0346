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

std::string Span(const std::string& axis, const std::vector<double>& angles) {
    if (angles.empty()) return axis + "no samples\n";
    const auto [low, high] = std::minmax_element(angles.begin(), angles.end());
    const double span = *high - *low;
    std::string line = axis + Format("%.4f to %.4f rad", *low, *high, 0.0);
    line += Format(", span %.4f rad (%.1f degrees", span, span * kDegreesPerRadian, 0.0);
    if (span >= kFullTurn) line += Format(", %.1f turns", span / kFullTurn, 0.0, 0.0);
    return line + ")\n";
}

}  // namespace

std::string Summary(const ScanTable& table, const ScanAngles& angles) {
    std::vector<double> distances;
    distances.reserve(table.Rows());
    for (const double d : table.distance)
        if (HasRange(d)) distances.push_back(d);
    std::string text = "rows read: " + std::to_string(table.Rows()) + "\n";
    text += "points (rows with range): " + std::to_string(distances.size()) + "\n";
    text += "rows without range: " + std::to_string(table.Rows() - distances.size()) + "\n";
    if (distances.empty()) {
        text += "distance: none\n";
    } else {
        const auto middle = distances.begin() + static_cast<std::ptrdiff_t>(distances.size() / 2);
        std::nth_element(distances.begin(), middle, distances.end());
        const double median = *middle;
        const auto [low, high] = std::minmax_element(distances.begin(), distances.end());
        text += Format("distance (inches): min %.2f, median %.2f, max %.2f\n", *low, median, *high);
    }
    text += Span("mirror angle: ", angles.mirror);
    text += Span("slow-axis angle: ", angles.slowAxis);
    return text;
}

}  // namespace velscan::exporter
