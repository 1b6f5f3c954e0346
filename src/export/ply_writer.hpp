#pragma once
// The point cloud as PLY: one vertex per row with a range, at the distance
// along the beam (conversion/beam_geometry.hpp) from the scanner at the origin.
// Per vertex: float x, y, z, distance, amplitude, temperature; int line,
// sample (the row's buffer line and its place in that line).

#include <cstddef>
#include <string>

#include "export/export_outputs.hpp"
#include "export/scan_angles.hpp"
#include "export/scan_table.hpp"

namespace velscan::exporter {

struct PlyFormat {
    bool ascii = false;
    bool metres = false;
    std::string source;  // named in a comment
};

// Writes into the output's stream; returns the number of points written;
// throws OutputError.
std::size_t WritePly(files::OutputFile& output, const ScanTable& table, const ScanAngles& angles,
                     const PlyFormat& format);

}  // namespace velscan::exporter
