#pragma once
// The angles each row is exported with: recovered between encoder steps (or
// the table's own with raw angles), less the instrument's zero positions.

#include <cmath>
#include <cstddef>
#include <limits>
#include <string>
#include <vector>

#include "export/scan_table.hpp"

namespace velscan::exporter {

struct ScanAngles {
    std::vector<double> mirror;    // radians, cumulative
    std::vector<double> slowAxis;  // radians
    std::size_t runs = 0;          // runs of contiguous samples (0 with raw angles)
};

ScanAngles ExportAngles(const ScanTable& table, bool rawAngles, double mirrorOffset,
                        double slowOffset);

// Throws TableError naming the first line of `tableName` whose angle, less
// its offset, is not a finite number (a huge angle and a huge offset).
void RequireFiniteAngles(const ScanAngles& angles, const std::string& tableName);

// Rows with a range become points; a distance of 0.00 means none.
inline bool HasRange(double distance) { return distance != 0.0; }

// The point formats store distances and positions as 32-bit floats. A table
// may hold a larger distance (a lookup file whose neighbouring entries nearly
// agree gives one of hundreds of digits): such a row has a range but no
// point, in every unit, and the range picture puts it at an end of its scale.
inline constexpr double kLargestPointDistance = std::numeric_limits<float>::max();  // inches
inline bool BeyondPointRange(double distance) { return std::fabs(distance) > kLargestPointDistance; }
inline bool HasPoint(double distance) { return HasRange(distance) && !BeyondPointRange(distance); }

// Rows whose distance is beyond what a point holds.
std::size_t RowsBeyondPointRange(const ScanTable& table);
// "2 rows with range have a distance beyond 3.4e38 inches ...", for the
// warning and the headers of the formats that leave them out.
std::string BeyondPointRangeReport(std::size_t rows);

}  // namespace velscan::exporter
