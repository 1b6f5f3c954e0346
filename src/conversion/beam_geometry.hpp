#pragma once
// Where the beam points for the scanner's two angles. The scanner sits at the
// origin; x points forward (both angles 0), y to the left, z up. The mirror
// angle turns the beam in a vertical plane (0 horizontal, growing upward);
// the slow-axis angle turns that plane about the vertical (z) axis, from x
// toward y. One definition, used by the simulated instrument and the export.

namespace velscan {

struct Direction3 {
    double x, y, z;
};

// Unit direction for the two angles in radians.
Direction3 BeamDirection(double mirrorAngle, double slowAxisAngle);

}  // namespace velscan
