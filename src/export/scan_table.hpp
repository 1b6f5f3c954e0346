#pragma once
// A velscan table read into memory, one vector per column the export uses.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/samples.hpp"

namespace velscan::exporter {

// The most rows a velscan table holds: kMaxLines lines of kSamplesPerLine
// rows, the rows following the lines in order.
inline constexpr std::size_t kMaxRows = kMeasurementCapacity;

struct ScanTable {
    std::vector<double> distance;  // inches; 0 for a sample without range
    std::vector<std::uint32_t> rawRange;  // the range finder's count, bits
    std::vector<float> amplitude;
    std::vector<float> temperature;  // degrees Fahrenheit
    std::vector<double> angle1;      // mirror, radians, cumulative
    std::vector<double> angle2;      // slow axis, radians

    std::size_t Rows() const { return distance.size(); }

    // Adds the rows of `more` after these.
    void Append(const ScanTable& more) {
        const auto add = [](auto& to, const auto& from) { to.insert(to.end(), from.begin(), from.end()); };
        add(distance, more.distance);
        add(rawRange, more.rawRange);
        add(amplitude, more.amplitude);
        add(temperature, more.temperature);
        add(angle1, more.angle1);
        add(angle2, more.angle2);
    }
};

// A file that is not a velscan table; the message reads "file:line: what was wrong".
class TableError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Parses the text of a table; `name` names it in error messages.
ScanTable ParseTable(std::string_view text, const std::string& name);

// Reads the whole file in one go and parses it. `sha256`, when given,
// receives the digest of the bytes read (for the stale-table check).
ScanTable ReadTable(const std::string& path, std::string* sha256 = nullptr);

}  // namespace velscan::exporter
