#pragma once
// A perceptually uniform colour map for distances, dark blue-violet through
// teal and green to yellow, and the colour of a pixel without range, which no
// distance gets.

#include <array>
#include <cstddef>
#include <cstdint>

namespace velscan::exporter {

struct Rgb {
    std::uint8_t r, g, b;
};

inline constexpr Rgb kNoRangeColour{0, 0, 0};

// 256 colours; entry 0 for the nearest distance, 255 for the farthest.
const std::array<Rgb, 256>& DistanceColours();

// The entry for a distance `d` on the scale from `low` to `low + span`; a
// value a rounding step outside the scale takes the nearer end.
std::size_t DistanceColourIndex(double d, double low, double span);

}  // namespace velscan::exporter
