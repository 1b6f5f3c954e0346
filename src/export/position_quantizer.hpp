#pragma once
// The viewer's positions in few bytes: 16 bits per axis over the cloud's
// bounding box, as long as that moves no point by more than a bound;
// otherwise the positions stay float32 (as in the PLY).

#include <array>
#include <cstdint>

namespace velscan::exporter {

struct Box {
    std::array<double, 3> low, high;
};

class PositionQuantizer {
public:
    // `box` holds every position; `bound` is the farthest a point may move.
    PositionQuantizer(const Box& box, double bound);

    // 16 bits per axis, or float32 when 16 bits would move a point too far.
    bool Quantized() const { return quantized_; }
    const std::array<double, 3>& Origin() const { return box_.low; }
    const std::array<double, 3>& Step() const { return step_; }

    std::array<std::uint16_t, 3> Encode(const std::array<double, 3>& position) const;
    // The position the page rebuilds: origin + q * step per axis, as float32.
    std::array<float, 3> Decode(const std::array<std::uint16_t, 3>& code) const;

private:
    Box box_;
    std::array<double, 3> step_{};
    bool quantized_ = false;
};

}  // namespace velscan::exporter
