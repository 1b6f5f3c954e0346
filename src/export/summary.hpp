#pragma once
// The short report on standard output: rows, points, rows without range,
// distances, and the span each axis covered. Its lines are data, a key and a
// value each: the program prints them as "key: value", the viewer's panel
// shows them as they are.

#include <span>
#include <string>
#include <vector>

#include "export/scan_angles.hpp"
#include "export/scan_table.hpp"
#include "scanfile/line_figures.hpp"

namespace velscan::exporter {

struct SummaryLine {
    std::string key;
    std::string value;
};

// `applied`: the lines of what the scan is placed with, after the rest.
// With the figures of the table's lines (from its metadata file), two lines
// more, before those, name the weakest: the (up to) three lines with the
// least rows with a range, and the lines that lost samples, numbered from 0
// as the metadata numbers them.
std::vector<SummaryLine> SummaryLines(const ScanTable& table, const ScanAngles& angles,
                                      const std::vector<SummaryLine>& applied = {},
                                      std::span<const LineFigures> lineFigures = {});

// The lines as printed: "key: value", each ending in a line break.
std::string SummaryText(const std::vector<SummaryLine>& lines);

inline std::string Summary(const ScanTable& table, const ScanAngles& angles,
                           const std::vector<SummaryLine>& applied = {},
                           std::span<const LineFigures> lineFigures = {}) {
    return SummaryText(SummaryLines(table, angles, applied, lineFigures));
}

}  // namespace velscan::exporter
