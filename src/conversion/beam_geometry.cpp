#include "conversion/beam_geometry.hpp"

#include <cmath>

namespace velscan {

Direction3 BeamDirection(double mirrorAngle, double slowAxisAngle) {
    const double c1 = std::cos(mirrorAngle);
    return {c1 * std::cos(slowAxisAngle), c1 * std::sin(slowAxisAngle), std::sin(mirrorAngle)};
}

}  // namespace velscan
