#pragma once
// The scan's pose in the site, as it is given (VELSCAN_POSE, velscan-export's
// --pose) and recorded in the table's metadata file: a rigid transform that
// takes a point of the scanner's frame (x forward, y left, z up) to the
// site's frame. One text syntax, numbers apart by commas:
//
//   X,Y,Z,HEADING   the scanner's position in metres and its heading in
//                   degrees about z (counter-clockwise seen from above: a
//                   heading of 90 turns the scanner's x onto the site's y)
//   16 numbers      the 4x4 matrix row by row: rotation in the upper left,
//                   the position in metres in the fourth column, the bottom
//                   row 0,0,0,1
//
// A matrix is refused unless it is a rotation (orthonormal, determinant +1,
// within kRigidTolerance) plus a translation, with that bottom row.

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace velscan {

inline constexpr double kRigidTolerance = 1e-6;

struct SitePose {
    std::string given;  // the text as given
    // Row by row, metres; a point p of the scanner's frame goes to M * (p, 1).
    std::array<double, 16> matrix{};
};

// The pose of `text`, or nullopt and `problem` in words that follow "the
// pose" ("needs 4 or 16 numbers apart by commas, not 3").
std::optional<SitePose> ParsePose(std::string_view text, std::string& problem);

// Why a matrix (row by row) is not a rigid transform, in words that follow
// "the pose"; empty when it is one.
std::string RigidProblem(const std::array<double, 16>& matrix);

}  // namespace velscan
