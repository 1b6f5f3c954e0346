#pragma once
// The angles each row is exported with: recovered between encoder steps (or
// the table's own with raw angles), less the instrument's zero positions.

#include <cstddef>
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

}  // namespace velscan::exporter
