#pragma once
// The short report on standard output: rows, points, rows without range,
// distances, and the span each axis covered. Its lines are data, a key and a
// value each: the program prints them as "key: value", the viewer's panel
// shows them as they are.

#include <string>
#include <vector>

#include "export/scan_angles.hpp"
#include "export/scan_table.hpp"

namespace velscan::exporter {

struct SummaryLine {
    std::string key;
    std::string value;
};

// `applied`: the lines of what the scan is placed with, after the rest.
std::vector<SummaryLine> SummaryLines(const ScanTable& table, const ScanAngles& angles,
                                      const std::vector<SummaryLine>& applied = {});

// The lines as printed: "key: value", each ending in a line break.
std::string SummaryText(const std::vector<SummaryLine>& lines);

inline std::string Summary(const ScanTable& table, const ScanAngles& angles,
                           const std::vector<SummaryLine>& applied = {}) {
    return SummaryText(SummaryLines(table, angles, applied));
}

}  // namespace velscan::exporter
