#include "export/scan_pose.hpp"

#include <charconv>
#include <cmath>

namespace velscan::exporter {

namespace {

// A few units in the last place of 1: what the products of a quaternion's
// parts leave of an exact 0 or 1.
constexpr double kRounding = 1e-15;

double Snapped(double value) {
    for (const double whole : {0.0, 1.0, -1.0})
        if (std::fabs(value - whole) <= kRounding) return whole;
    return value;
}

}  // namespace

std::array<std::array<double, 3>, 3> ScanPose::Axes() const {
    const auto [w, x, y, z] = orientation;
    std::array<std::array<double, 3>, 3> axes{
        {{1.0 - 2.0 * (y * y + z * z), 2.0 * (x * y + w * z), 2.0 * (x * z - w * y)},
         {2.0 * (x * y - w * z), 1.0 - 2.0 * (x * x + z * z), 2.0 * (y * z + w * x)},
         {2.0 * (x * z + w * y), 2.0 * (y * z - w * x), 1.0 - 2.0 * (x * x + y * y)}}};
    for (auto& axis : axes)
        for (double& part : axis) part = Snapped(part);
    return axes;
}

ScanPose PoseInUnit(const SitePose& pose, LengthUnit unit) {
    const auto& m = pose.matrix;
    const auto r = [&m](int row, int column) { return m[static_cast<std::size_t>(4 * row + column)]; };
    const double scale = unit == LengthUnit::kMetres ? 1.0 : 1.0 / kMetresPerInch;
    ScanPose result;
    result.position = {r(0, 3) * scale, r(1, 3) * scale, r(2, 3) * scale};
    // The quaternion from the largest of its parts, for accuracy at any angle.
    double w, x, y, z;
    const double trace = r(0, 0) + r(1, 1) + r(2, 2);
    if (trace > 0.0) {
        const double s = 2.0 * std::sqrt(1.0 + trace);
        w = s / 4.0, x = (r(2, 1) - r(1, 2)) / s, y = (r(0, 2) - r(2, 0)) / s, z = (r(1, 0) - r(0, 1)) / s;
    } else if (r(0, 0) > r(1, 1) && r(0, 0) > r(2, 2)) {
        const double s = 2.0 * std::sqrt(1.0 + r(0, 0) - r(1, 1) - r(2, 2));
        w = (r(2, 1) - r(1, 2)) / s, x = s / 4.0, y = (r(0, 1) + r(1, 0)) / s, z = (r(0, 2) + r(2, 0)) / s;
    } else if (r(1, 1) > r(2, 2)) {
        const double s = 2.0 * std::sqrt(1.0 + r(1, 1) - r(0, 0) - r(2, 2));
        w = (r(0, 2) - r(2, 0)) / s, x = (r(0, 1) + r(1, 0)) / s, y = s / 4.0, z = (r(1, 2) + r(2, 1)) / s;
    } else {
        const double s = 2.0 * std::sqrt(1.0 + r(2, 2) - r(0, 0) - r(1, 1));
        w = (r(1, 0) - r(0, 1)) / s, x = (r(0, 2) + r(2, 0)) / s, y = (r(1, 2) + r(2, 1)) / s, z = s / 4.0;
    }
    const double norm = std::sqrt(w * w + x * x + y * y + z * z) * (w < 0.0 ? -1.0 : 1.0);
    result.orientation = {w / norm, x / norm, y / norm, z / norm};
    return result;
}

std::string PoseNumbers(const double* values, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        char number[32];
        // A zero is written "0" whatever its sign.
        const double value = values[i] == 0.0 ? 0.0 : values[i];
        if (i > 0) text += ' ';
        text.append(number, std::to_chars(number, number + sizeof number, value).ptr);
    }
    return text;
}

}  // namespace velscan::exporter
