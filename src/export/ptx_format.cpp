// The scan's grid (export/scan_grid.hpp) as PTX text: one scan, its ten
// header lines (columns, rows, the scanner's position, its three axes, the
// 4x4 transform, all from the scan's pose; the points are in the scanner's
// frame),
// then one line "x y z intensity" per cell, column after column, each column
// from the grid's top row down. A cell without return reads "0 0 0 0", the
// zero position PTX readers take for no return. Intensity is the amplitude
// scaled from 0..255 to 0..1, the range PTX readers expect.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <vector>

#include "export/chunked_writer.hpp"
#include "export/export_format.hpp"
#include "export/stream_failure.hpp"

namespace velscan::exporter {
namespace {

constexpr std::size_t kMaxCellChars = 4 * 16 + 1;
constexpr float kFullAmplitude = 255.0f;

// The pose as PTX writes it: the position, the scanner's axes, then the
// transform, its rows the axes and the position (a row vector times it
// gives the point in the scan's frame).
std::string Header(const ExportJob& job) {
    const ScanGrid& grid = job.Grid();
    const ScanPose& pose = job.Pose();
    const auto axes = pose.Axes();
    std::string header = std::to_string(grid.Width()) + "\n" + std::to_string(grid.Height()) + "\n";
    header += PoseNumbers(pose.position.data(), 3) + "\n";
    for (const auto& axis : axes) header += PoseNumbers(axis.data(), 3) + "\n";
    for (const auto& axis : axes) header += PoseNumbers(axis.data(), 3) + " 0\n";
    return header + PoseNumbers(pose.position.data(), 3) + " 1\n";
}

char* AppendFloat(char* out, float value, char separator) {
    out = std::to_chars(out, out + 16, value).ptr;
    *out++ = separator;
    return out;
}

// Amplitude as intensity in 0..1; a value that is not a number reads 0.
float Intensity(float amplitude) {
    if (!(amplitude > 0.0f)) return 0.0f;
    return std::min(amplitude, kFullAmplitude) / kFullAmplitude;
}

void WritePtx(std::FILE* out, const ExportJob& job) {
    const std::string header = Header(job);
    WriteAll(out, header.data(), header.size());

    const ScanGrid& grid = job.Grid();
    ChunkedWriter chunks(out, kMaxCellChars);
    for (int x = 0; x < grid.Width(); ++x)
        for (int y = 0; y < grid.Height(); ++y) {
            const std::int32_t row = grid.RowAt(x, y);
            char* cursor = chunks.Next();
            if (row == ScanGrid::kNoReturn) {
                static constexpr char kNoReturnLine[] = "0 0 0 0\n";
                cursor = std::copy(kNoReturnLine, kNoReturnLine + sizeof kNoReturnLine - 1, cursor);
            } else {
                const ScanPoint point = job.Points().At(static_cast<std::size_t>(row));
                cursor = AppendFloat(cursor, static_cast<float>(point.x), ' ');
                cursor = AppendFloat(cursor, static_cast<float>(point.y), ' ');
                cursor = AppendFloat(cursor, static_cast<float>(point.z), ' ');
                cursor = AppendFloat(cursor, Intensity(point.amplitude), '\n');
            }
            chunks.Wrote(cursor);
        }
    chunks.Flush();
}

}  // namespace

extern const ExportFormat kPtxFormat;
const ExportFormat kPtxFormat{"--ptx", ".ptx",
                              "  --ptx PATH            the scan's grid as PTX text (0 0 0 0 without return)\n",
                              WritePtx};

}  // namespace velscan::exporter
