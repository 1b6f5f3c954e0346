// The scan as numpy arrays in one .npz: a zip of .npy members, stored (no
// compression), each member's CRC-32 from zlib, every time stamp 1980-01-01
// 00:00, so one table gives the same bytes on every run and every build.
//
// Per row of the table, in its order (shape (rows,)):
//   distance, amplitude, temperature   float32, the table's (distance in the
//                                      export's unit, inf beyond float32)
//   raw_range                          uint32, the range finder's count
//   mirror_angle, slow_axis_angle      float64, the recovered angles less the
//                                      offsets, radians (the mirror's is
//                                      cumulative: float32 would lose it)
//   line, sample                       int32, buffer line and place in it
//   time                               float64, seconds since the start
//                                      (float32 would lose microseconds)
//   lost                               bool, a line that lost samples
//                                      (time and lost: only with the times)
//   x, y, z                            float32, the point (NaN without one)
//   has_range                          bool, the row has a range
// The scan's grid, as PTX and PCD lay it out (shape (height, width), row y
// from the top, column x; NaN in a cell without return):
//   grid_x, grid_y, grid_z, grid_intensity, grid_distance   float32
// The scan's pose, which the points above do not include:
//   pose                               float64, shape (4, 4): takes a point
//                                      [x, y, z, 1] into the scan's frame
// And the table's metadata file, its bytes as read (empty without one):
//   metadata                           uint8, shape (bytes,)
#include <array>
#include <cmath>
#include <cstring>
#include <span>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include <zlib.h>

#include "export/export_format.hpp"
#include "export/side_by_side.hpp"
#include "export/stream_failure.hpp"

namespace velscan::exporter {
namespace {

constexpr std::uint16_t kDosDate = (0 << 9) | (1 << 5) | 1;  // 1980-01-01
constexpr std::uint16_t kDosTime = 0;
constexpr std::uint16_t kZipVersion = 20;
constexpr std::uint64_t kZipLimit = 0xFFFFFFFFu;  // beyond: a ZIP64 archive, which no scan needs
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
// Members from this size on have their CRC-32 summed in two halves at once.
constexpr std::size_t kBytesWorthTwoHalves = std::size_t{1} << 18;

// Bytes are gathered in strings: the value as it lies, little-endian
// (export/point_fields.hpp).
template <typename Value>
void Put(std::string& out, Value value) {
    char bytes[sizeof value];
    std::memcpy(bytes, &value, sizeof value);
    out.append(bytes, sizeof value);
}

// A .npy shape: "(5,)" or "(3, 4)".
std::string Shape(std::size_t first, std::optional<std::size_t> second = std::nullopt) {
    std::string shape = "(";
    shape += std::to_string(first);
    shape += second ? ", " + std::to_string(*second) + ")" : std::string(",)");
    return shape;
}

// numpy's bool: one byte, 0 or 1.
struct Flag {
    std::uint8_t set;
};
static_assert(sizeof(Flag) == 1);

template <typename Value>
constexpr const char* Descr() {
    if constexpr (std::is_same_v<Value, float>) return "<f4";
    else if constexpr (std::is_same_v<Value, double>) return "<f8";
    else if constexpr (std::is_same_v<Value, std::int32_t>) return "<i4";
    else if constexpr (std::is_same_v<Value, std::uint32_t>) return "<u4";
    else if constexpr (std::is_same_v<Value, Flag>) return "|b1";
    else return "|u1";
}

// The CRC-32 of `bytes` continued from `crc`. A large member's two halves
// are summed side by side, and zlib combines the two.
uLong Crc32(uLong crc, std::span<const std::byte> bytes) {
    const auto Sum = [](uLong from, std::span<const std::byte> part) {
        // zlib takes a null buffer (an empty member's) as a request for the
        // initial value, and at most 4 GiB a call; a member is less (Require).
        return part.empty() ? from
                            : crc32(from, reinterpret_cast<const Bytef*>(part.data()), static_cast<uInt>(part.size()));
    };
    // zlib's length of the second half is a long, 32 bits on Windows.
    const std::span<const std::byte> first = bytes.first(bytes.size() / 2);
    const std::span<const std::byte> second = bytes.subspan(first.size());
    if (bytes.size() < kBytesWorthTwoHalves ||
        second.size() > static_cast<std::size_t>(std::numeric_limits<z_off_t>::max()))
        return Sum(crc, bytes);
    uLong secondCrc = 0;
    SideBySide(true, [&] { crc = Sum(crc, first); }, [&] { secondCrc = Sum(0L, second); });
    return crc32_combine(crc, secondCrc, static_cast<z_off_t>(second.size()));
}

// The .npy header of version 1.0, padded with spaces to a multiple of 64
// bytes and ended by a line break.
std::string NpyHeader(const char* descr, const std::string& shape) {
    std::string dict = std::string("{'descr': '") + descr + "', 'fortran_order': False, 'shape': " + shape + ", }";
    const std::size_t unpadded = 10 + dict.size() + 1;
    dict.append((64 - unpadded % 64) % 64, ' ');
    dict += '\n';
    std::string header("\x93NUMPY\x01\x00", 8);
    header += static_cast<char>(dict.size() & 0xFF);
    header += static_cast<char>(dict.size() >> 8);
    return header + dict;
}

class NpzWriter {
public:
    explicit NpzWriter(std::FILE* out) : out_(out) {}

    // A member holding `values` as they lie.
    template <typename Value>
    void Member(const std::string& name, const std::string& shape, std::span<const Value> values) {
        const std::string header = NpyHeader(Descr<Value>(), shape);
        Add(name + ".npy", header, std::as_bytes(values));
    }
    // A member of `count` values, value i from valueOf(i), made in one
    // buffer that every such member reuses; a long one in two halves at
    // once (valueOf only reads).
    template <typename Value, typename ValueOf>
    void Member(const std::string& name, const std::string& shape, std::size_t count, ValueOf valueOf) {
        if (scratch_.size() < count * sizeof(Value)) scratch_.resize(count * sizeof(Value));
        const auto Fill = [this, &valueOf](std::size_t begin, std::size_t end) {
            for (std::size_t i = begin; i < end; ++i) {
                const Value value = valueOf(i);
                std::memcpy(scratch_.data() + i * sizeof(Value), &value, sizeof(Value));
            }
        };
        SideBySide(count >= kRowsWorthAThread, [&] { Fill(0, count / 2); }, [&] { Fill(count / 2, count); });
        const std::string header = NpyHeader(Descr<Value>(), shape);
        Add(name + ".npy", header, std::as_bytes(std::span(scratch_.data(), count * sizeof(Value))));
    }

    // The central directory and its end.
    void Finish() {
        std::string directory;
        for (const Entry& entry : entries_) {
            Put<std::uint32_t>(directory, 0x02014b50);
            Put(directory, kZipVersion);  // made by (MS-DOS attributes)
            PutEntryFacts(directory, entry);
            Put<std::uint16_t>(directory, 0);  // comment
            Put<std::uint16_t>(directory, 0);  // disk
            Put<std::uint16_t>(directory, 0);  // internal attributes
            Put<std::uint32_t>(directory, 0);  // external attributes
            Put(directory, entry.offset);
            directory += entry.name;
        }
        Require(offset_ + directory.size() + 22);
        std::string end;
        Put<std::uint32_t>(end, 0x06054b50);
        Put<std::uint16_t>(end, 0);  // this disk
        Put<std::uint16_t>(end, 0);  // the directory's disk
        Put(end, static_cast<std::uint16_t>(entries_.size()));
        Put(end, static_cast<std::uint16_t>(entries_.size()));
        Put(end, static_cast<std::uint32_t>(directory.size()));
        Put(end, static_cast<std::uint32_t>(offset_));
        Put<std::uint16_t>(end, 0);  // comment
        WriteAll(out_, directory.data(), directory.size());
        WriteAll(out_, end.data(), end.size());
    }

private:
    struct Entry {
        std::string name;
        std::uint32_t crc, size, offset;
    };

    // What the local header and the central directory both say of a
    // member, from the version needed to the extra field's length.
    static void PutEntryFacts(std::string& out, const Entry& entry) {
        Put(out, kZipVersion);  // needed
        Put<std::uint16_t>(out, 0);  // flags
        Put<std::uint16_t>(out, 0);  // stored
        Put(out, kDosTime);
        Put(out, kDosDate);
        Put(out, entry.crc);
        Put(out, entry.size);
        Put(out, entry.size);
        Put(out, static_cast<std::uint16_t>(entry.name.size()));
        Put<std::uint16_t>(out, 0);  // extra field
    }

    static void Require(std::uint64_t end) {
        if (end > kZipLimit) throw StreamFailure("the arrays pass the 4 GiB a zip without ZIP64 holds");
    }

    void Add(const std::string& name, const std::string& header, std::span<const std::byte> values) {
        const std::uint64_t size = header.size() + values.size();
        Require(offset_ + 30 + name.size() + size);
        const uLong crc = Crc32(Crc32(0L, std::as_bytes(std::span(header))), values);
        const Entry entry{name, static_cast<std::uint32_t>(crc), static_cast<std::uint32_t>(size),
                          static_cast<std::uint32_t>(offset_)};
        std::string local;
        Put<std::uint32_t>(local, 0x04034b50);
        PutEntryFacts(local, entry);
        local += name;
        local += header;
        WriteAll(out_, local.data(), local.size());
        WriteAll(out_, values.data(), values.size());
        offset_ += 30 + name.size() + size;
        entries_.push_back(entry);
    }

    std::FILE* out_;
    std::vector<char> scratch_;
    std::vector<Entry> entries_;
    std::uint64_t offset_ = 0;
};

void WriteNpz(std::FILE* out, const ExportJob& job) {
    const ScanTable& table = job.Table();
    const ScanAngles& angles = job.Angles();
    const ScanGrid& grid = job.Grid();  // and the points, side by side
    const ScanPoints& points = job.Points();
    const std::size_t rows = table.Rows();
    const std::string shape = Shape(rows);
    const double scale = points.Unit() == LengthUnit::kMetres ? kMetresPerInch : 1.0;
    NpzWriter npz(out);

    npz.Member<float>("distance", shape, rows, [&](std::size_t row) {
        // A distance beyond a float's range (export/scan_angles.hpp) is infinite there.
        const double distance = table.distance[row] * scale;
        return std::fabs(distance) <= std::numeric_limits<float>::max()
                   ? static_cast<float>(distance)
                   : std::copysign(std::numeric_limits<float>::infinity(), static_cast<float>(distance > 0 ? 1 : -1));
    });
    npz.Member<std::uint32_t>("raw_range", shape, rows, [&](std::size_t row) {
        return row < table.rawRange.size() ? table.rawRange[row] : 0u;  // a table made in memory may have none
    });
    npz.Member("amplitude", shape, std::span<const float>(table.amplitude));
    npz.Member("temperature", shape, std::span<const float>(table.temperature));
    npz.Member("mirror_angle", shape, std::span<const double>(angles.mirror));
    npz.Member("slow_axis_angle", shape, std::span<const double>(angles.slowAxis));
    npz.Member<std::int32_t>("line", shape, rows,
                             [](std::size_t row) { return static_cast<std::int32_t>(row / kSamplesPerLine); });
    npz.Member<std::int32_t>("sample", shape, rows,
                             [](std::size_t row) { return static_cast<std::int32_t>(row % kSamplesPerLine); });
    if (const std::optional<PointTimes>& times = job.Times()) {
        npz.Member<double>("time", shape, rows, [&](std::size_t row) { return times->SecondsOf(row); });
        std::vector<bool> lostLines(rows / kSamplesPerLine + 1);
        for (std::size_t line = 0; line < lostLines.size(); ++line)
            lostLines[line] = times->Lost(static_cast<std::int32_t>(line));
        npz.Member<Flag>("lost", shape, rows,
                         [&](std::size_t row) { return Flag{lostLines[row / kSamplesPerLine] ? std::uint8_t{1} : std::uint8_t{0}}; });
    }
    for (std::size_t axis = 0; axis < 3; ++axis) {
        static constexpr const char* kNames[] = {"x", "y", "z"};
        npz.Member<float>(kNames[axis], shape, rows, [&](std::size_t row) {
            if (!HasPoint(table.distance[row])) return kNaN;
            const ScanPoint point = points.At(row);
            return static_cast<float>(axis == 0 ? point.x : axis == 1 ? point.y : point.z);
        });
    }
    npz.Member<Flag>("has_range", shape, rows, [&](std::size_t row) {
        return Flag{HasRange(table.distance[row]) ? std::uint8_t{1} : std::uint8_t{0}};
    });

    const auto width = static_cast<std::size_t>(grid.Width());
    const std::string gridShape = Shape(static_cast<std::size_t>(grid.Height()), width);
    // One pass over the cells for the five arrays: the rows of neighbouring
    // cells lie far apart in the table.
    static constexpr const char* kGridNames[] = {"grid_x", "grid_y", "grid_z", "grid_intensity", "grid_distance"};
    std::array<std::vector<float>, 5> cells;
    for (std::vector<float>& values : cells) values.resize(grid.Cells());
    for (std::size_t cell = 0; cell < grid.Cells(); ++cell) {
        const std::int32_t row = grid.RowAt(static_cast<int>(cell % width), static_cast<int>(cell / width));
        if (row == ScanGrid::kNoReturn) {
            for (std::vector<float>& values : cells) values[cell] = kNaN;
            continue;
        }
        const ScanPoint point = points.At(static_cast<std::size_t>(row));
        cells[0][cell] = static_cast<float>(point.x);
        cells[1][cell] = static_cast<float>(point.y);
        cells[2][cell] = static_cast<float>(point.z);
        cells[3][cell] = point.amplitude;
        cells[4][cell] = static_cast<float>(point.distance);
    }
    for (std::size_t field = 0; field < cells.size(); ++field)
        npz.Member(kGridNames[field], gridShape, std::span<const float>(cells[field]));

    // The scan's pose beside the points, which stay in the scanner's frame:
    // the 4 x 4 matrix that takes a point [x, y, z, 1] into the scan's frame
    // (its columns the scanner's axes, then its position).
    const ScanPose& pose = job.Pose();
    const auto axes = pose.Axes();
    std::array<double, 16> matrix{};
    for (std::size_t row = 0; row < 3; ++row) {
        for (std::size_t column = 0; column < 3; ++column) matrix[row * 4 + column] = axes[column][row];
        matrix[row * 4 + 3] = pose.position[row];
    }
    matrix[15] = 1.0;
    npz.Member("pose", Shape(4, 4), std::span<const double>(matrix));

    const std::string& metadata = job.Record().metadataText;
    npz.Member<std::uint8_t>("metadata", Shape(metadata.size()), metadata.size(),
                             [&](std::size_t i) { return static_cast<std::uint8_t>(metadata[i]); });
    npz.Finish();
}

}  // namespace

extern const ExportFormat kNpzFormat;
const ExportFormat kNpzFormat{"--npz", ".npz",
                              "  --npz PATH            numpy arrays: each row's fields, the grid's and the\n"
                              "                        metadata, in one .npz\n",
                              WriteNpz};

}  // namespace velscan::exporter
