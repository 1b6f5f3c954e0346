#include "export/position_quantizer.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace velscan::exporter {
namespace {

constexpr double kLevels = 65535.0;

// float32's rounding step at the largest magnitude of the box: the page keeps
// positions as float32, which adds up to half of it on each axis.
double FloatRounding(const Box& box) {
    double largest = 0.0;
    for (int axis = 0; axis < 3; ++axis)
        largest = std::max({largest, std::fabs(box.low[axis]), std::fabs(box.high[axis])});
    const auto f = static_cast<float>(largest);
    return static_cast<double>(std::nextafter(f, std::numeric_limits<float>::infinity()) - f);
}

}  // namespace

PositionQuantizer::PositionQuantizer(const Box& box, double bound) : box_(box) {
    double squared = 0.0;
    bool finite = true;
    for (int axis = 0; axis < 3; ++axis) {
        const double span = box.high[axis] - box.low[axis];
        finite = finite && std::isfinite(span) && span >= 0.0;
        step_[axis] = finite ? span / kLevels : 0.0;
        // Rounding to the nearest level moves by half a step at most, and
        // float32 by half its own step.
        const double axisError = step_[axis] / 2.0 + FloatRounding(box) / 2.0;
        squared += axisError * axisError;
    }
    quantized_ = finite && std::sqrt(squared) <= bound;
    if (!quantized_) step_ = {};
}

std::array<std::uint16_t, 3> PositionQuantizer::Encode(const std::array<double, 3>& position) const {
    std::array<std::uint16_t, 3> code{};
    for (int axis = 0; axis < 3; ++axis) {
        if (!(step_[axis] > 0.0)) continue;
        const double level = std::round((position[axis] - box_.low[axis]) / step_[axis]);
        code[axis] = static_cast<std::uint16_t>(std::clamp(level, 0.0, kLevels));
    }
    return code;
}

std::array<float, 3> PositionQuantizer::Decode(const std::array<std::uint16_t, 3>& code) const {
    std::array<float, 3> position{};
    for (int axis = 0; axis < 3; ++axis)
        position[axis] = static_cast<float>(box_.low[axis] + code[axis] * step_[axis]);
    return position;
}

}  // namespace velscan::exporter
