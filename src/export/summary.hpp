#pragma once
// The short report on standard output: rows, points, rows without range,
// distances, and the span each axis covered.

#include <string>

#include "export/scan_angles.hpp"
#include "export/scan_table.hpp"

namespace velscan::exporter {

std::string Summary(const ScanTable& table, const ScanAngles& angles);

}  // namespace velscan::exporter
