#pragma once
// A perceptually uniform colour map for distances, dark blue-violet through
// teal and green to yellow, and the colour of a pixel without range, which no
// distance gets.

#include <array>
#include <cstdint>

namespace velscan::exporter {

struct Rgb {
    std::uint8_t r, g, b;
};

inline constexpr Rgb kNoRangeColour{0, 0, 0};

// 256 colours; entry 0 for the nearest distance, 255 for the farthest.
const std::array<Rgb, 256>& DistanceColours();

}  // namespace velscan::exporter
