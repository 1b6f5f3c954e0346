#pragma once
// What the simulated range finder looks at: a few shapes around the scanner,
// sizes in inches. The beam leaves the scanner's position in the direction
// given by the mirror angle (rotation in a vertical plane; 0 is horizontal)
// and the slow axis angle (rotation of that plane about the vertical axis).
//
// Scene file format (VELSCAN_SIM_SCENE), one item per line; `#` starts a
// comment, blank lines are ignored, numbers are decimal, reflectivity 0..1:
//   scanner  x y z                       scanner position (default 0 0 0)
//   box      x0 y0 z0 x1 y1 z1 refl      axis-aligned box between two corners;
//                                        from inside it is a room (its walls,
//                                        floor and ceiling are hit)
//   plane    nx ny nz d refl             the points p with n.p = d
//   cylinder x y z0 z1 radius refl       vertical cylinder with end caps
//   sphere   x y z radius refl

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace velscan::sim {

struct Vec3 {
    double x = 0.0, y = 0.0, z = 0.0;
};

struct SceneBox {
    Vec3 low, high;
    double reflectivity;
};
struct ScenePlane {
    Vec3 normal;  // unit length
    double offset;
    double reflectivity;
};
struct SceneCylinder {
    double x, y, z0, z1, radius;
    double reflectivity;
};
struct SceneSphere {
    Vec3 centre;
    double radius;
    double reflectivity;
};

struct BeamHit {
    double distance;      // inches from the scanner
    double reflectivity;  // 0..1
    double cosIncidence;  // |cos| of the angle between beam and surface normal
};

class SceneError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Scene {
public:
    Vec3 scanner;
    std::vector<SceneBox> boxes;
    std::vector<ScenePlane> planes;
    std::vector<SceneCylinder> cylinders;
    std::vector<SceneSphere> spheres;

    // Nearest surface along the beam, if any.
    std::optional<BeamHit> Cast(const Vec3& direction) const;
    // The beam for the two angles in radians (conversion/beam_geometry.hpp).
    std::optional<BeamHit> CastAtAngles(double mirrorAngle, double slowAxisAngle) const;

    // Distance from a point to the nearest surface of any shape (inches).
    double DistanceToSurface(const Vec3& point) const;
};

// A room of 650 by 500 by 180 inches with the scanner 60 inches above the
// floor, a table, a cabinet, a pillar and a ball; every surface lies within
// 450 inches of the scanner.
Scene BuiltInScene();

// Parses scene text; `name` names the source in error messages.
// Throws SceneError("scene file NAME, line N: ...") on the first error.
Scene ParseScene(std::string_view text, const std::string& name);
// Reads a regular file of at most kMaxSceneFileBytes; throws SceneError
// ("scene file PATH cannot be read") for anything else.
inline constexpr std::uintmax_t kMaxSceneFileBytes = std::uintmax_t{1} << 20;
Scene LoadSceneFile(const std::string& path);

}  // namespace velscan::sim
