#pragma once
// The scan as points, the one view every point format writes: a point for
// each row with a range a 32-bit float holds (export/scan_angles.hpp), at its distance along the beam
// (conversion/beam_geometry.hpp) from the scanner at the origin, in the
// unit asked for, with the row's buffer line and its place in that line.
// Each position is computed once, when the view is made, and read by every
// format that writes points.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "conversion/beam_geometry.hpp"
#include "export/scan_angles.hpp"
#include "export/scan_table.hpp"

namespace velscan::exporter {

enum class LengthUnit { kInches, kMetres };

// The table's unit in the other one.
inline constexpr double kMetresPerInch = 0.0254;

struct ScanPoint {
    double x, y, z;   // in the view's unit
    double distance;  // in the view's unit
    float amplitude;
    float temperature;       // degrees Fahrenheit, as in the table
    std::int32_t line;       // buffer line of the row
    std::int32_t sample;     // place of the row in its line
};

class ScanPoints {
public:
    ScanPoints(const ScanTable& table, const ScanAngles& angles, LengthUnit unit);

    std::size_t Count() const { return count_; }
    LengthUnit Unit() const { return unit_; }
    std::string_view UnitName() const;  // "inches" or "metres"

    // The point of a row with a range a point holds.
    ScanPoint At(std::size_t row) const {
        const Position& p = positions_[row];
        return ScanPoint{p.x, p.y, p.z, table_.distance[row] * scale_,
                         table_.amplitude[row], table_.temperature[row],
                         static_cast<std::int32_t>(row / kSamplesPerLine),
                         static_cast<std::int32_t>(row % kSamplesPerLine)};
    }

    // Calls visit(const ScanPoint&) for every point, in the table's order.
    template <typename Visit>
    void ForEach(Visit&& visit) const {
        for (std::size_t row = 0; row < table_.Rows(); ++row)
            if (HasPoint(table_.distance[row])) visit(At(row));
    }

private:
    struct Position {
        double x, y, z;
    };

    // Places the points of rows [begin, end) and returns how many there are.
    std::size_t Place(const ScanAngles& angles, std::size_t begin, std::size_t end);

    const ScanTable& table_;
    LengthUnit unit_;
    double scale_;
    std::size_t count_ = 0;
    std::vector<Position> positions_;  // of every row; a row without range has none
};

}  // namespace velscan::exporter
