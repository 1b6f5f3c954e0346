#pragma once
// The scan's pose: where the scanner stood and how it was turned in the
// frame the scan is registered in. The points stay in the scanner's own frame
// (x forward, y left, z up); the formats that carry a pose (the PTX's
// position, axes and transform, the PCD's viewpoint, a PLY comment) write
// this one value. A scan on its own is at the identity: the scanner at the
// origin, its axes the frame's.

#include <array>
#include <string>

#include "export/scan_points.hpp"
#include "scanfile/site_pose.hpp"

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
    // rotation). Parts within rounding of 0 or 1 are those exactly, so that a
    // quarter turn writes its axes as whole numbers.
    std::array<std::array<double, 3>, 3> Axes() const;
};

// A pose as given (metres, a rotation matrix) in the points' unit: its
// position scaled, its rotation as a unit quaternion with w >= 0.
ScanPose PoseInUnit(const SitePose& pose, LengthUnit unit);

// Numbers of a pose as text, apart by one space, each as short as reads back
// the same double ("0", "1", "0.5").
std::string PoseNumbers(const double* values, std::size_t count);

}  // namespace velscan::exporter
