#include "export/scan_pose.hpp"

#include <charconv>

namespace velscan::exporter {

std::array<std::array<double, 3>, 3> ScanPose::Axes() const {
    const auto [w, x, y, z] = orientation;
    return {{{1.0 - 2.0 * (y * y + z * z), 2.0 * (x * y + w * z), 2.0 * (x * z - w * y)},
             {2.0 * (x * y - w * z), 1.0 - 2.0 * (x * x + z * z), 2.0 * (y * z + w * x)},
             {2.0 * (x * z + w * y), 2.0 * (y * z - w * x), 1.0 - 2.0 * (x * x + y * y)}}};
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
