#pragma once
// The point cloud as PLY: one vertex per row with a range, at the distance
// along the beam (conversion/beam_geometry.hpp) from the scanner at the origin.
// Per vertex: float x, y, z, distance, amplitude, temperature; int line,
// sample (the row's buffer line and its place in that line).

#include <cstddef>
#include <string>

#include "export/output_target.hpp"
#include "export/scan_angles.hpp"
#include "export/scan_table.hpp"

namespace velscan::exporter {

struct PlyFormat {
    bool ascii = false;
    bool metres = false;
    std::string source;  // named in a comment
};

// Returns the number of points written; throws OutputError.
std::size_t WritePly(OutputTarget& output, const ScanTable& table, const ScanAngles& angles,
                     const PlyFormat& format);

}  // namespace velscan::exporter
