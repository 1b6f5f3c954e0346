#include "export/colour_map.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

namespace velscan::exporter {
namespace {

// The five anchor colours of the viridis map (sRGB). Between them the map
// runs in the OKLab space and is re-spaced so that equal steps of the map are
// equal steps of perceived colour difference, with lightness rising throughout.
constexpr Rgb kAnchors[] = {
    {0x44, 0x01, 0x54}, {0x3b, 0x52, 0x8b}, {0x21, 0x91, 0x8c}, {0x5e, 0xc9, 0x62}, {0xfd, 0xe7, 0x25}};

struct Lab {
    double l, a, b;
};

double ToLinear(double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); }
double ToGamma(double c) {
    return c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 1.0 / 2.4) - 0.055;
}

// OKLab from linear sRGB and back (published matrices).
Lab FromRgb(const Rgb& colour) {
    const double r = ToLinear(colour.r / 255.0), g = ToLinear(colour.g / 255.0),
                 b = ToLinear(colour.b / 255.0);
    const double l = std::cbrt(0.4122214708 * r + 0.5363325363 * g + 0.0514459929 * b);
    const double m = std::cbrt(0.2119034982 * r + 0.6806995451 * g + 0.1073969566 * b);
    const double s = std::cbrt(0.0883024619 * r + 0.2817188376 * g + 0.6299787005 * b);
    return {0.2104542553 * l + 0.7936177850 * m - 0.0040720468 * s,
            1.9779984951 * l - 2.4285922050 * m + 0.4505937099 * s,
            0.0259040371 * l + 0.7827717662 * m - 0.8086757660 * s};
}

Rgb ToRgb(const Lab& lab) {
    const double l = lab.l + 0.3963377774 * lab.a + 0.2158037573 * lab.b;
    const double m = lab.l - 0.1055613458 * lab.a - 0.0638541728 * lab.b;
    const double s = lab.l - 0.0894841775 * lab.a - 1.2914855480 * lab.b;
    const double l3 = l * l * l, m3 = m * m * m, s3 = s * s * s;
    const double rgb[3] = {4.0767416621 * l3 - 3.3077115913 * m3 + 0.2309699292 * s3,
                           -1.2684380046 * l3 + 2.6097574011 * m3 - 0.3413193965 * s3,
                           -0.0041960863 * l3 - 0.7034186147 * m3 + 1.7076147010 * s3};
    std::uint8_t out[3];
    for (int i = 0; i < 3; ++i)
        out[i] = static_cast<std::uint8_t>(
            std::lround(255.0 * std::clamp(ToGamma(std::clamp(rgb[i], 0.0, 1.0)), 0.0, 1.0)));
    return {out[0], out[1], out[2]};
}

Lab Mix(const Lab& p, const Lab& q, double t) {
    return {p.l + (q.l - p.l) * t, p.a + (q.a - p.a) * t, p.b + (q.b - p.b) * t};
}

double Difference(const Lab& p, const Lab& q) {
    return std::sqrt((p.l - q.l) * (p.l - q.l) + (p.a - q.a) * (p.a - q.a) + (p.b - q.b) * (p.b - q.b));
}

std::array<Rgb, 256> MakeMap() {
    // The path through the anchors, finely sampled, then walked at equal
    // colour differences.
    constexpr int kFine = 64;
    std::vector<Lab> path;
    for (std::size_t i = 0; i + 1 < std::size(kAnchors); ++i) {
        const Lab p = FromRgb(kAnchors[i]), q = FromRgb(kAnchors[i + 1]);
        for (int k = 0; k < kFine; ++k) path.push_back(Mix(p, q, static_cast<double>(k) / kFine));
    }
    path.push_back(FromRgb(kAnchors[std::size(kAnchors) - 1]));
    std::vector<double> along(path.size(), 0.0);
    for (std::size_t i = 1; i < path.size(); ++i)
        along[i] = along[i - 1] + Difference(path[i - 1], path[i]);

    std::array<Rgb, 256> map{};
    std::size_t segment = 0;
    for (std::size_t entry = 0; entry < map.size(); ++entry) {
        const double wanted = along.back() * static_cast<double>(entry) / (map.size() - 1);
        while (segment + 2 < path.size() && along[segment + 1] < wanted) ++segment;
        const double span = along[segment + 1] - along[segment];
        const double t = span > 0.0 ? std::clamp((wanted - along[segment]) / span, 0.0, 1.0) : 0.0;
        map[entry] = ToRgb(Mix(path[segment], path[segment + 1], t));
    }
    return map;
}

}  // namespace

const std::array<Rgb, 256>& DistanceColours() {
    static const std::array<Rgb, 256> map = MakeMap();
    return map;
}

std::size_t DistanceColourIndex(double d, double low, double span) {
    if (!(span > 0.0)) return 0;
    const double place = (d - low) / span * 255.0;
    if (!(place > 0.0)) return 0;
    return static_cast<std::size_t>(std::lround(std::min(place, 255.0)));
}

}  // namespace velscan::exporter
