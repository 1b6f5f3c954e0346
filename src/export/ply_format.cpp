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

constexpr std::size_t kMaxAsciiVertexChars = 6 * 16 + 2 * 11 + 8 + 32 + 3;

static_assert(std::endian::native == std::endian::little, "vertices are copied as they lie");

struct Vertex {
    float x, y, z, distance, amplitude, temperature;
    std::int32_t line, sample;
};
static_assert(sizeof(Vertex) == 32);

// Text from the metadata file on a comment line: a control character would
// end the comment and break the header.
std::string OneLine(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    return text;
}

std::string Header(const ExportJob& job) {
    std::string header = "ply\n";
    header += job.Settings().ascii ? "format ascii 1.0\n" : "format binary_little_endian 1.0\n";
    header += "comment velscan-export of " + job.Source() + "\n";
    header += "comment units: " + std::string(job.Points().UnitName()) +
              "; x forward, y left, z up; scanner at the origin\n";
    if (job.Times())
        header += "comment scalar_time: seconds since the scan's start " + OneLine(job.Times()->start) +
                  "; scalar_lost: 1 on a line that lost samples\n";
    header += "element vertex " + std::to_string(job.Points().Count()) + "\n";
    for (const std::string_view name : kFloatFieldNames) header += "property float " + std::string(name) + "\n";
    for (const std::string_view name : kIntFieldNames) header += "property int " + std::string(name) + "\n";
    if (job.Times()) header += "property double scalar_time\nproperty int scalar_lost\n";
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
        if (const auto& times = job.Times()) {
            const double seconds = times->SecondsOf(static_cast<std::size_t>(point.line) * kSamplesPerLine +
                                                    static_cast<std::size_t>(point.sample));
            const std::int32_t lost = times->Lost(point.line) ? 1 : 0;
            if (ascii) {
                cursor[-1] = ' ';  // the line goes on
                cursor = std::to_chars(cursor, cursor + 32, seconds).ptr;
                *cursor++ = ' ';
                *cursor++ = static_cast<char>('0' + lost);
                *cursor++ = '\n';
            } else {
                cursor = AppendBinaryTime(cursor, seconds, lost);
            }
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
