#pragma once
// The scan's pose: where the scanner stood and how it was turned in the
// frame the scan is registered in. The points stay in the scanner's own frame
// (x forward, y left, z up); the formats that carry a pose (the PTX's
// position, axes and transform, the PCD's viewpoint, a PLY comment) write
// this one value. A scan on its own is at the identity: the scanner at the
// origin, its axes the frame's.

#include <array>
#include <string>

namespace velscan::exporter {

struct ScanPose {
    std::array<double, 3> position{0.0, 0.0, 0.0};
    // A unit quaternion w, x, y, z that turns the scanner's frame into the
    // scan's.
    std::array<double, 4> orientation{1.0, 0.0, 0.0, 0.0};

    bool IsIdentity() const {
        return position == std::array<double, 3>{0.0, 0.0, 0.0} &&
               orientation == std::array<double, 4>{1.0, 0.0, 0.0, 0.0};
    }
    // The scanner's x, y and z axes in the scan's frame (the columns of the
    // rotation).
    std::array<std::array<double, 3>, 3> Axes() const;
};

// Numbers of a pose as text, apart by one space, each as short as reads back
// the same double ("0", "1", "0.5").
std::string PoseNumbers(const double* values, std::size_t count);

}  // namespace velscan::exporter
