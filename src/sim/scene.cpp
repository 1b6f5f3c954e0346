#include "sim/scene.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "conversion/beam_geometry.hpp"
#include "conversion/printable_text.hpp"
#include "conversion/whole_file.hpp"

namespace velscan::sim {

namespace {

constexpr double kMinDistance = 1e-6;
constexpr double kInfinity = std::numeric_limits<double>::infinity();

double Component(const Vec3& v, int axis) { return axis == 0 ? v.x : (axis == 1 ? v.y : v.z); }
double Dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

struct Nearest {
    double distance = kInfinity;
    double reflectivity = 0.0;
    double cosIncidence = 0.0;
    void Offer(double t, double reflectivity_, double cosIncidence_) {
        if (t > kMinDistance && t < distance) {
            distance = t;
            reflectivity = reflectivity_;
            cosIncidence = cosIncidence_;
        }
    }
};

void CastBox(const SceneBox& box, const Vec3& o, const Vec3& d, Nearest& nearest) {
    double tNear = -kInfinity, tFar = kInfinity;
    int nearAxis = 0, farAxis = 0;
    for (int axis = 0; axis < 3; ++axis) {
        const double origin = Component(o, axis), dir = Component(d, axis);
        const double low = Component(box.low, axis), high = Component(box.high, axis);
        if (dir == 0.0) {
            if (origin < low || origin > high) return;
            continue;
        }
        double t1 = (low - origin) / dir, t2 = (high - origin) / dir;
        if (t1 > t2) std::swap(t1, t2);
        if (t1 > tNear) {
            tNear = t1;
            nearAxis = axis;
        }
        if (t2 < tFar) {
            tFar = t2;
            farAxis = axis;
        }
    }
    if (tNear > tFar) return;
    if (tNear > kMinDistance) {
        nearest.Offer(tNear, box.reflectivity, std::fabs(Component(d, nearAxis)));
    } else {
        nearest.Offer(tFar, box.reflectivity, std::fabs(Component(d, farAxis)));  // inside: a room
    }
}

void CastPlane(const ScenePlane& plane, const Vec3& o, const Vec3& d, Nearest& nearest) {
    const double denominator = Dot(plane.normal, d);
    if (denominator == 0.0) return;
    const double t = (plane.offset - Dot(plane.normal, o)) / denominator;
    nearest.Offer(t, plane.reflectivity, std::fabs(denominator));
}

void CastCylinder(const SceneCylinder& cylinder, const Vec3& o, const Vec3& d, Nearest& nearest) {
    const double px = o.x - cylinder.x, py = o.y - cylinder.y;
    const double a = d.x * d.x + d.y * d.y;
    if (a > 0.0) {
        const double b = 2.0 * (px * d.x + py * d.y);
        const double c = px * px + py * py - cylinder.radius * cylinder.radius;
        const double discriminant = b * b - 4.0 * a * c;
        if (discriminant >= 0.0) {
            const double root = std::sqrt(discriminant);
            for (double t : {(-b - root) / (2.0 * a), (-b + root) / (2.0 * a)}) {
                const double z = o.z + t * d.z;
                if (z < cylinder.z0 || z > cylinder.z1) continue;
                const double nx = (px + t * d.x) / cylinder.radius;
                const double ny = (py + t * d.y) / cylinder.radius;
                nearest.Offer(t, cylinder.reflectivity, std::fabs(nx * d.x + ny * d.y));
            }
        }
    }
    if (d.z != 0.0) {
        for (double zCap : {cylinder.z0, cylinder.z1}) {
            const double t = (zCap - o.z) / d.z;
            const double x = px + t * d.x, y = py + t * d.y;
            if (x * x + y * y <= cylinder.radius * cylinder.radius)
                nearest.Offer(t, cylinder.reflectivity, std::fabs(d.z));
        }
    }
}

void CastSphere(const SceneSphere& sphere, const Vec3& o, const Vec3& d, Nearest& nearest) {
    const Vec3 p{o.x - sphere.centre.x, o.y - sphere.centre.y, o.z - sphere.centre.z};
    const double b = Dot(p, d);
    const double c = Dot(p, p) - sphere.radius * sphere.radius;
    const double discriminant = b * b - c;
    if (discriminant < 0.0) return;
    const double root = std::sqrt(discriminant);
    for (double t : {-b - root, -b + root}) {
        const Vec3 n{(p.x + t * d.x) / sphere.radius, (p.y + t * d.y) / sphere.radius,
                     (p.z + t * d.z) / sphere.radius};
        nearest.Offer(t, sphere.reflectivity, std::fabs(Dot(n, d)));
    }
}

// Distance to the surface of a solid from its signed distance: `outside` the
// distances beyond each face (negative inside), combined the usual way.
double SurfaceFromSigned(double outsideA, double outsideB, double outsideC = -kInfinity) {
    const double a = std::max(outsideA, 0.0), b = std::max(outsideB, 0.0),
                 c = std::max(outsideC, 0.0);
    const double signedDistance =
        std::sqrt(a * a + b * b + c * c) + std::min(std::max({outsideA, outsideB, outsideC}), 0.0);
    return std::fabs(signedDistance);
}

double BoxSurfaceDistance(const SceneBox& box, const Vec3& p) {
    auto outside = [](double v, double low, double high) {
        return std::fabs(v - (low + high) / 2.0) - (high - low) / 2.0;
    };
    return SurfaceFromSigned(outside(p.x, box.low.x, box.high.x),
                             outside(p.y, box.low.y, box.high.y),
                             outside(p.z, box.low.z, box.high.z));
}

double CylinderSurfaceDistance(const SceneCylinder& cylinder, const Vec3& p) {
    const double radial = std::hypot(p.x - cylinder.x, p.y - cylinder.y) - cylinder.radius;
    const double axial =
        std::fabs(p.z - (cylinder.z0 + cylinder.z1) / 2.0) - (cylinder.z1 - cylinder.z0) / 2.0;
    return SurfaceFromSigned(radial, axial);
}

// --- parsing -------------------------------------------------------------

class LineError {
public:
    std::string message;
};

std::vector<std::string_view> Tokens(std::string_view line) {
    std::vector<std::string_view> tokens;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
        if (i > start) tokens.push_back(line.substr(start, i - start));
    }
    return tokens;
}

std::vector<double> Numbers(const std::vector<std::string_view>& tokens, std::size_t expected) {
    const std::string_view keyword = tokens.front();
    if (tokens.size() - 1 != expected) {
        throw LineError{"'" + PrintableText(keyword) + "' takes " + std::to_string(expected) +
                        " numbers, found " + std::to_string(tokens.size() - 1)};
    }
    std::vector<double> values;
    for (std::size_t i = 1; i < tokens.size(); ++i) {
        const std::string_view token = tokens[i];
        double value = 0.0;
        const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value);
        if (error != std::errc() || end != token.data() + token.size() || !std::isfinite(value))
            throw LineError{"'" + PrintableText(token) + "' is not a number"};
        values.push_back(value);
    }
    return values;
}

double Reflectivity(double value) {
    if (value < 0.0 || value > 1.0) throw LineError{"reflectivity must lie from 0 to 1"};
    return value;
}

double Positive(double value, const char* what) {
    if (!(value > 0.0)) throw LineError{std::string(what) + " must be greater than 0"};
    return value;
}

void ParseLine(const std::vector<std::string_view>& tokens, Scene& scene) {
    const std::string_view keyword = tokens.front();
    if (keyword == "scanner") {
        const auto v = Numbers(tokens, 3);
        scene.scanner = {v[0], v[1], v[2]};
    } else if (keyword == "box") {
        const auto v = Numbers(tokens, 7);
        SceneBox box{{std::min(v[0], v[3]), std::min(v[1], v[4]), std::min(v[2], v[5])},
                     {std::max(v[0], v[3]), std::max(v[1], v[4]), std::max(v[2], v[5])},
                     Reflectivity(v[6])};
        if (box.low.x == box.high.x || box.low.y == box.high.y || box.low.z == box.high.z)
            throw LineError{"a box needs a non-zero size along every axis"};
        scene.boxes.push_back(box);
    } else if (keyword == "plane") {
        const auto v = Numbers(tokens, 5);
        const double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        if (length == 0.0) throw LineError{"a plane needs a non-zero normal"};
        scene.planes.push_back(
            {{v[0] / length, v[1] / length, v[2] / length}, v[3] / length, Reflectivity(v[4])});
    } else if (keyword == "cylinder") {
        const auto v = Numbers(tokens, 6);
        if (!(v[2] < v[3])) throw LineError{"a cylinder needs z0 below z1"};
        scene.cylinders.push_back(
            {v[0], v[1], v[2], v[3], Positive(v[4], "radius"), Reflectivity(v[5])});
    } else if (keyword == "sphere") {
        const auto v = Numbers(tokens, 5);
        scene.spheres.push_back(
            {{v[0], v[1], v[2]}, Positive(v[3], "radius"), Reflectivity(v[4])});
    } else {
        throw LineError{"unknown item '" + PrintableText(keyword) +
                        "' (expected scanner, box, plane, cylinder or sphere)"};
    }
}

}  // namespace

std::optional<BeamHit> Scene::Cast(const Vec3& direction) const {
    Nearest nearest;
    for (const SceneBox& box : boxes) CastBox(box, scanner, direction, nearest);
    for (const ScenePlane& plane : planes) CastPlane(plane, scanner, direction, nearest);
    for (const SceneCylinder& cylinder : cylinders)
        CastCylinder(cylinder, scanner, direction, nearest);
    for (const SceneSphere& sphere : spheres) CastSphere(sphere, scanner, direction, nearest);
    if (nearest.distance == kInfinity) return std::nullopt;
    return BeamHit{nearest.distance, nearest.reflectivity, nearest.cosIncidence};
}

std::optional<BeamHit> Scene::CastAtAngles(double mirrorAngle, double slowAxisAngle) const {
    const Direction3 d = BeamDirection(mirrorAngle, slowAxisAngle);
    return Cast({d.x, d.y, d.z});
}

double Scene::DistanceToSurface(const Vec3& p) const {
    double nearest = kInfinity;
    for (const SceneBox& box : boxes) nearest = std::min(nearest, BoxSurfaceDistance(box, p));
    for (const ScenePlane& plane : planes)
        nearest = std::min(nearest, std::fabs(Dot(plane.normal, p) - plane.offset));
    for (const SceneCylinder& cylinder : cylinders)
        nearest = std::min(nearest, CylinderSurfaceDistance(cylinder, p));
    for (const SceneSphere& sphere : spheres) {
        const Vec3 r{p.x - sphere.centre.x, p.y - sphere.centre.y, p.z - sphere.centre.z};
        nearest = std::min(nearest, std::fabs(std::sqrt(Dot(r, r)) - sphere.radius));
    }
    return nearest;
}

Scene BuiltInScene() {
    Scene scene;
    // The room: walls, floor (60 inches below the scanner) and ceiling.
    scene.boxes.push_back({{-300.0, -250.0, -60.0}, {350.0, 250.0, 120.0}, 0.55});
    // A table, a cabinet against the wall.
    scene.boxes.push_back({{100.0, -50.0, -60.0}, {160.0, 40.0, -30.0}, 0.8});
    scene.boxes.push_back({{-280.0, 150.0, -60.0}, {-220.0, 240.0, 20.0}, 0.35});
    // A pillar and a ball.
    scene.cylinders.push_back({200.0, 150.0, -60.0, 120.0, 15.0, 0.7});
    scene.spheres.push_back({{-100.0, -150.0, -40.0}, 20.0, 0.9});
    return scene;
}

Scene ParseScene(std::string_view text, const std::string& name) {
    Scene scene;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (const std::size_t hash = line.find('#'); hash != std::string_view::npos)
            line = line.substr(0, hash);
        const auto tokens = Tokens(line);
        if (tokens.empty()) continue;
        try {
            ParseLine(tokens, scene);
        } catch (const LineError& error) {
            throw SceneError("scene file " + PrintableText(name) + ", line " + std::to_string(lineNumber) +
                             ": " + error.message);
        }
    }
    return scene;
}

Scene LoadSceneFile(const std::string& path) {
    std::string text;
    if (!ReadWholeFile(path, text, kMaxSceneFileBytes))
        throw SceneError("scene file " + PrintableText(path) + " cannot be read");
    return ParseScene(text, path);
}

}  // namespace velscan::sim
