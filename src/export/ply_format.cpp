// The point cloud as PLY, binary little-endian or text: one vertex per point
// of the shared view (export/scan_points.hpp), with the fields of
// export/point_fields.hpp.
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "export/chunked_writer.hpp"
#include "export/export_format.hpp"
#include "export/point_fields.hpp"
#include "export/stream_failure.hpp"

namespace velscan::exporter {
namespace {

constexpr std::size_t kMaxAsciiVertexChars = 6 * 16 + 2 * 11 + 8;

static_assert(std::endian::native == std::endian::little, "vertices are copied as they lie");

struct Vertex {
    float x, y, z, distance, amplitude, temperature;
    std::int32_t line, sample;
};
static_assert(sizeof(Vertex) == 32);

std::string Header(const ExportJob& job) {
    std::string header = "ply\n";
    header += job.Settings().ascii ? "format ascii 1.0\n" : "format binary_little_endian 1.0\n";
    header += "comment velscan-export of " + job.Source() + "\n";
    header += "comment units: " + std::string(job.Points().UnitName()) +
              "; x forward, y left, z up; scanner at the origin\n";
    header += "element vertex " + std::to_string(job.Points().Count()) + "\n";
    for (const std::string_view name : kFloatFieldNames) header += "property float " + std::string(name) + "\n";
    for (const std::string_view name : kIntFieldNames) header += "property int " + std::string(name) + "\n";
    header += "end_header\n";
    return header;
}

char* AppendFloat(char* out, float value, char separator) {
    out = std::to_chars(out, out + 16, value).ptr;
    *out++ = separator;
    return out;
}

char* AppendText(char* out, const Vertex& v) {
    for (float value : {v.x, v.y, v.z, v.distance, v.amplitude, v.temperature})
        out = AppendFloat(out, value, ' ');
    out = std::to_chars(out, out + 10, v.line).ptr;
    *out++ = ' ';
    out = std::to_chars(out, out + 10, v.sample).ptr;
    *out++ = '\n';
    return out;
}

void WritePly(std::FILE* out, const ExportJob& job) {
    const std::string header = Header(job);
    WriteAll(out, header.data(), header.size());

    const bool ascii = job.Settings().ascii;
    ChunkedWriter chunks(out, kMaxAsciiVertexChars);
    job.Points().ForEach([&](const ScanPoint& point) {
        const Vertex vertex{static_cast<float>(point.x),        static_cast<float>(point.y),
                            static_cast<float>(point.z),        static_cast<float>(point.distance),
                            point.amplitude,                    point.temperature,
                            point.line,                         point.sample};
        char* cursor = chunks.Next();
        if (ascii) {
            cursor = AppendText(cursor, vertex);
        } else {
            std::memcpy(cursor, &vertex, sizeof vertex);  // little-endian host
            cursor += sizeof vertex;
        }
        chunks.Wrote(cursor);
    });
    chunks.Flush();
}

}  // namespace

extern const ExportFormat kPlyFormat;
const ExportFormat kPlyFormat{"--ply", ".ply",
                              "  --ply PATH            point cloud, binary little-endian PLY\n",
                              WritePly};

}  // namespace velscan::exporter
