#include "export/ply_writer.hpp"

#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <vector>

#include "conversion/beam_geometry.hpp"

namespace velscan::exporter {
namespace {

constexpr double kMetresPerInch = 0.0254;
constexpr std::size_t kChunkBytes = std::size_t{1} << 20;
constexpr std::size_t kMaxAsciiVertexChars = 6 * 16 + 2 * 11 + 8;

static_assert(std::endian::native == std::endian::little, "vertices are copied as they lie");

struct Vertex {
    float x, y, z, distance, amplitude, temperature;
    std::int32_t line, sample;
};
static_assert(sizeof(Vertex) == 32);

std::string Header(std::size_t points, const PlyFormat& format) {
    std::string header = "ply\n";
    header += format.ascii ? "format ascii 1.0\n" : "format binary_little_endian 1.0\n";
    header += "comment velscan-export of " + format.source + "\n";
    header += std::string("comment units: ") + (format.metres ? "metres" : "inches") +
              "; x forward, y left, z up; scanner at the origin\n";
    header += "element vertex " + std::to_string(points) + "\n";
    for (const char* name : {"x", "y", "z", "distance", "amplitude", "temperature"})
        header += std::string("property float ") + name + "\n";
    header += "property int line\nproperty int sample\nend_header\n";
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

}  // namespace

std::size_t WritePly(OutputTarget& output, const ScanTable& table, const ScanAngles& angles,
                     const PlyFormat& format) {
    std::size_t points = 0;
    for (const double d : table.distance) points += HasRange(d) ? 1 : 0;
    const std::string header = Header(points, format);
    output.Write(header.data(), header.size());

    const double scale = format.metres ? kMetresPerInch : 1.0;
    std::vector<char> buffer(kChunkBytes);
    char* const begin = buffer.data();
    char* const flushPoint = begin + kChunkBytes - kMaxAsciiVertexChars;
    char* cursor = begin;
    for (std::size_t row = 0; row < table.Rows(); ++row) {
        if (!HasRange(table.distance[row])) continue;
        const double distance = table.distance[row] * scale;
        const Direction3 d = BeamDirection(angles.mirror[row], angles.slowAxis[row]);
        const Vertex vertex{static_cast<float>(distance * d.x),
                            static_cast<float>(distance * d.y),
                            static_cast<float>(distance * d.z),
                            static_cast<float>(distance),
                            table.amplitude[row],
                            table.temperature[row],
                            static_cast<std::int32_t>(row / kSamplesPerLine),
                            static_cast<std::int32_t>(row % kSamplesPerLine)};
        if (format.ascii) {
            cursor = AppendText(cursor, vertex);
        } else {
            std::memcpy(cursor, &vertex, sizeof vertex);  // little-endian host
            cursor += sizeof vertex;
        }
        if (cursor >= flushPoint) {
            output.Write(begin, static_cast<std::size_t>(cursor - begin));
            cursor = begin;
        }
    }
    output.Write(begin, static_cast<std::size_t>(cursor - begin));
    return points;
}

}  // namespace velscan::exporter
