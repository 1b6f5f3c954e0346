#include "scanfile/site_pose.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>
#include <vector>

namespace velscan {

namespace {

std::string_view Trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

// Every comma-separated number of `text`; nullopt on a word that is not a
// finite number.
std::optional<std::vector<double>> Numbers(std::string_view text, std::string& problem) {
    std::vector<double> numbers;
    for (;;) {
        const std::size_t comma = text.find(',');
        const std::string_view word = Trimmed(text.substr(0, comma));
        double value = 0.0;
        const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
        if (word.empty() || error != std::errc() || end != word.data() + word.size() || !std::isfinite(value)) {
            problem = "has \"" + std::string(word) + "\" where a finite number belongs";
            return std::nullopt;
        }
        numbers.push_back(value);
        if (comma == std::string_view::npos) return numbers;
        text.remove_prefix(comma + 1);
    }
}

// Cosine and sine of a heading in degrees, exact at whole quarter turns so
// that a heading of 90 gives axes of exact zeros and ones.
std::array<double, 2> CosSin(double degrees) {
    const double turns = std::fmod(degrees, 360.0);
    if (std::fmod(turns, 90.0) == 0.0) {
        switch ((static_cast<int>(turns / 90.0) + 4) % 4) {
            case 0: return {1.0, 0.0};
            case 1: return {0.0, 1.0};
            case 2: return {-1.0, 0.0};
            default: return {0.0, -1.0};
        }
    }
    const double radians = degrees * std::numbers::pi / 180.0;
    return {std::cos(radians), std::sin(radians)};
}

}  // namespace

std::optional<SitePose> ParsePose(std::string_view text, std::string& problem) {
    const std::optional<std::vector<double>> numbers = Numbers(text, problem);
    if (!numbers) return std::nullopt;
    SitePose pose;
    pose.given = std::string(text);
    if (numbers->size() == 4) {
        const auto [x, y, z, heading] = std::array<double, 4>{(*numbers)[0], (*numbers)[1], (*numbers)[2],
                                                              (*numbers)[3]};
        const auto [c, s] = CosSin(heading);
        pose.matrix = {c, -s, 0.0, x,  //
                       s, c, 0.0, y,   //
                       0.0, 0.0, 1.0, z, 0.0, 0.0, 0.0, 1.0};
        return pose;
    }
    if (numbers->size() != 16) {
        problem = "needs 4 numbers (x,y,z,heading) or 16 (a 4x4 matrix row by row) apart by commas, not " +
                  std::to_string(numbers->size());
        return std::nullopt;
    }
    std::copy(numbers->begin(), numbers->end(), pose.matrix.begin());
    problem = RigidProblem(pose.matrix);
    if (!problem.empty()) return std::nullopt;
    return pose;
}

std::string RigidProblem(const std::array<double, 16>& m) {
    for (const double value : m)
        if (!std::isfinite(value)) return "has a number that is not finite";
    const auto near = [](double a, double b) { return std::fabs(a - b) <= kRigidTolerance; };
    if (!near(m[12], 0.0) || !near(m[13], 0.0) || !near(m[14], 0.0) || !near(m[15], 1.0))
        return "matrix's bottom row is not 0,0,0,1";
    // The rotation's columns: unit length and at right angles to each other.
    for (int i = 0; i < 3; ++i)
        for (int j = i; j < 3; ++j) {
            const double dot = m[i] * m[j] + m[4 + i] * m[4 + j] + m[8 + i] * m[8 + j];
            if (!near(dot, i == j ? 1.0 : 0.0))
                return "matrix is not a rotation and a translation (its upper-left 3x3 is not orthonormal)";
        }
    const double determinant = m[0] * (m[5] * m[10] - m[6] * m[9]) - m[1] * (m[4] * m[10] - m[6] * m[8]) +
                               m[2] * (m[4] * m[9] - m[5] * m[8]);
    if (!near(determinant, 1.0)) return "matrix is a reflection, not a rotation (its determinant is -1)";
    return {};
}

}  // namespace velscan
