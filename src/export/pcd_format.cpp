// The scan's grid (export/scan_grid.hpp) as an organised PCD cloud, binary
// or text: WIDTH x HEIGHT points of the grid, row after row, with the
// fields of export/point_fields.hpp. A cell without return has NaN in its
// float fields and -1 in line and sample.
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "export/chunked_writer.hpp"
#include "export/export_format.hpp"
#include "export/point_fields.hpp"
#include "export/stream_failure.hpp"

namespace velscan::exporter {
namespace {

constexpr std::size_t kMaxAsciiPointChars = 6 * 16 + 2 * 11 + 8 + 32 + 4;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

static_assert(std::endian::native == std::endian::little, "points are copied as they lie");

struct Point {
    float x, y, z, distance, intensity, temperature;
    std::int32_t line, sample;
};
static_assert(sizeof(Point) == 32);

constexpr Point kNoReturn{kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, -1, -1};

// The table's name on the comment line; a control character (a line break
// in a file name) would end the comment and break the header.
std::string OneLine(std::string name) {
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    return name;
}

std::string Header(const ExportJob& job) {
    const ScanGrid& grid = job.Grid();
    std::string fields, sizes, types, counts;
    for (const std::string_view name : kFloatFieldNames) {
        fields.append(" ").append(name);
        types.append(" F");
    }
    for (const std::string_view name : kIntFieldNames) {
        fields.append(" ").append(name);
        types.append(" I");
    }
    for (std::size_t i = 0; i < kFloatFieldNames.size() + kIntFieldNames.size(); ++i) {
        sizes.append(" 4");
        counts.append(" 1");
    }
    if (job.Times()) {
        fields.append(" scalar_time scalar_lost");
        sizes.append(" 8 4");
        types.append(" F I");
        counts.append(" 1 1");
    }
    std::string header = "# .PCD v0.7 - velscan-export of " + OneLine(job.Source()) + "; units: " +
                         std::string(job.Points().UnitName()) + "; x forward, y left, z up\n";
    if (job.Times())
        header += "# scalar_time: seconds since the scan's start " + OneLine(job.Times()->start) +
                  "; scalar_lost: 1 on a line that lost samples (NaN and -1 without return)\n";
    header += "VERSION 0.7\nFIELDS" + fields + "\nSIZE" + sizes + "\nTYPE" + types + "\nCOUNT" + counts + "\n";
    header += "WIDTH " + std::to_string(grid.Width()) + "\nHEIGHT " + std::to_string(grid.Height()) + "\n";
    header += "VIEWPOINT 0 0 0 1 0 0 0\nPOINTS " + std::to_string(grid.Cells()) + "\n";
    header += job.Settings().ascii ? "DATA ascii\n" : "DATA binary\n";
    return header;
}

char* AppendFloat(char* out, float value, char separator) {
    if (std::isnan(value)) {
        std::memcpy(out, "nan", 3);
        out += 3;
    } else {
        out = std::to_chars(out, out + 16, value).ptr;
    }
    *out++ = separator;
    return out;
}

char* AppendText(char* out, const Point& p) {
    for (float value : {p.x, p.y, p.z, p.distance, p.intensity, p.temperature}) out = AppendFloat(out, value, ' ');
    out = std::to_chars(out, out + 11, p.line).ptr;
    *out++ = ' ';
    out = std::to_chars(out, out + 11, p.sample).ptr;
    *out++ = '\n';
    return out;
}

void WritePcd(std::FILE* out, const ExportJob& job) {
    const std::string header = Header(job);
    WriteAll(out, header.data(), header.size());

    const ScanGrid& grid = job.Grid();
    const bool ascii = job.Settings().ascii;
    ChunkedWriter chunks(out, kMaxAsciiPointChars);
    for (int y = 0; y < grid.Height(); ++y)
        for (int x = 0; x < grid.Width(); ++x) {
            const std::int32_t row = grid.RowAt(x, y);
            Point p = kNoReturn;
            if (row != ScanGrid::kNoReturn) {
                const ScanPoint s = job.Points().At(static_cast<std::size_t>(row));
                p = Point{static_cast<float>(s.x),        static_cast<float>(s.y), static_cast<float>(s.z),
                          static_cast<float>(s.distance), s.amplitude,             s.temperature,
                          s.line,                         s.sample};
            }
            char* cursor = chunks.Next();
            if (ascii) {
                cursor = AppendText(cursor, p);
            } else {
                std::memcpy(cursor, &p, sizeof p);  // little-endian host
                cursor += sizeof p;
            }
            if (const auto& times = job.Times()) {
                double seconds = std::numeric_limits<double>::quiet_NaN();
                std::int32_t lost = -1;
                if (row != ScanGrid::kNoReturn) {
                    seconds = times->SecondsOf(static_cast<std::size_t>(row));
                    lost = times->Lost(p.line) ? 1 : 0;
                }
                if (ascii) {
                    cursor[-1] = ' ';  // the line goes on
                    if (std::isnan(seconds)) {
                        std::memcpy(cursor, "nan", 3);
                        cursor += 3;
                    } else {
                        cursor = std::to_chars(cursor, cursor + 32, seconds).ptr;
                    }
                    *cursor++ = ' ';
                    cursor = std::to_chars(cursor, cursor + 2, lost).ptr;
                    *cursor++ = '\n';
                } else {
                    cursor = AppendBinaryTime(cursor, seconds, lost);
                }
            }
            chunks.Wrote(cursor);
        }
    chunks.Flush();
}

}  // namespace

extern const ExportFormat kPcdFormat;
const ExportFormat kPcdFormat{"--pcd", ".pcd",
                              "  --pcd PATH            the scan's grid as an organised PCD cloud, binary\n"
                              "                        (NaN without return)\n",
                              WritePcd};

}  // namespace velscan::exporter
