#pragma once
// Where the beam points for the scanner's two angles. The scanner sits at the
// origin; x points forward (both angles 0), y to the left, z up. The mirror
// angle turns the beam in a vertical plane (0 horizontal, growing upward);
// the slow-axis angle turns that plane about the vertical (z) axis, from x
// toward y. One definition, used by the simulated instrument and the export.

#include <cstdint>

namespace velscan {

// One turn in radians.
inline constexpr double kFullTurn = 6.283185307179586;

// Encoder counts per turn: encoder 1 on the mirror, encoder 2 on the slow axis.
inline constexpr std::uint32_t kMirrorEncoderCountsPerTurn = 4096;
inline constexpr std::uint32_t kSlowAxisEncoderCountsPerTurn = 200;

struct Direction3 {
    double x, y, z;
};

// Unit direction for the two angles in radians.
Direction3 BeamDirection(double mirrorAngle, double slowAxisAngle);

}  // namespace velscan
