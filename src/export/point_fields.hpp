#pragma once
// The one description of a point as the point formats with fields (PLY,
// PCD) store it: the list of its fields, each with its name, its type and
// where it lies in the record made from a point. The headers of both formats
// and their binary and text records are laid out from this list alone; a
// format with fields adds its type names, not a copy of the fields.
//
// The fields: float x, y, z, distance, amplitude, temperature; int line,
// sample; then, where the scan's times are known, double time and int lost.
// Amplitude is named "intensity" and the others carry the "scalar_" prefix,
// the names point-cloud tools load as scalar fields.

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace velscan::exporter {

struct ScanPoint;
struct PointTimes;

// A point's values, its fields packed in their order: the first
// RecordBytes(fields) bytes are the binary record, as both formats store it
// (little-endian, as the host).
struct PointRecord {
    float x, y, z, distance, intensity, temperature;
    std::int32_t line, sample;
    double time;        // seconds since the scan's start
    std::int32_t lost;  // 1 on a line that lost samples
};

enum class FieldType { kFloat32, kInt32, kFloat64 };

struct PointField {
    std::string_view name;
    FieldType type;
    std::size_t offset;  // of its value in PointRecord
};

constexpr std::size_t FieldBytes(FieldType type) {
    return type == FieldType::kFloat64 ? 8 : 4;
}

inline constexpr std::array<PointField, 10> kPointFields = {{
    {"x", FieldType::kFloat32, offsetof(PointRecord, x)},
    {"y", FieldType::kFloat32, offsetof(PointRecord, y)},
    {"z", FieldType::kFloat32, offsetof(PointRecord, z)},
    {"scalar_distance", FieldType::kFloat32, offsetof(PointRecord, distance)},
    {"intensity", FieldType::kFloat32, offsetof(PointRecord, intensity)},
    {"scalar_temperature", FieldType::kFloat32, offsetof(PointRecord, temperature)},
    {"scalar_line", FieldType::kInt32, offsetof(PointRecord, line)},
    {"scalar_sample", FieldType::kInt32, offsetof(PointRecord, sample)},
    {"scalar_time", FieldType::kFloat64, offsetof(PointRecord, time)},
    {"scalar_lost", FieldType::kInt32, offsetof(PointRecord, lost)},
}};
// The fields every point has; the rest only with the scan's times.
inline constexpr std::size_t kFieldsOfEveryPoint = 8;

// The binary record is one copy of the record's first bytes: the fields must
// follow each other without a gap, in the record's order.
constexpr bool FieldsArePacked() {
    std::size_t next = 0;
    for (const PointField& field : kPointFields) {
        if (field.offset != next) return false;
        next += FieldBytes(field.type);
    }
    return next <= sizeof(PointRecord);
}
static_assert(FieldsArePacked(), "the binary record is the record's first bytes");
static_assert(std::endian::native == std::endian::little, "records are copied as they lie");

// The fields of the points of an export: with or without the time fields.
constexpr std::span<const PointField> PointFields(bool withTimes) {
    return std::span<const PointField>(kPointFields).first(withTimes ? kPointFields.size() : kFieldsOfEveryPoint);
}

constexpr std::size_t RecordBytes(std::span<const PointField> fields) {
    std::size_t bytes = 0;
    for (const PointField& field : fields) bytes += FieldBytes(field.type);
    return bytes;
}

// The most characters one record takes as text, line break included.
inline constexpr std::size_t kMaxTextRecordChars = 6 * 17 + 3 * 12 + 25;

// The record of a point with a return: the time fields from `times` when
// given (the row's place in the table times the sample period).
PointRecord RecordOf(const ScanPoint& point, const PointTimes* times);
// The record of a cell without return: NaN in every floating field, -1 in
// the integer ones.
PointRecord NoReturnRecord();

// Appends the record's binary bytes, or its text line ("nan" for NaN,
// fields apart by one space), and returns the end.
char* AppendBinaryRecord(char* out, const PointRecord& record, std::span<const PointField> fields);
char* AppendTextRecord(char* out, const PointRecord& record, std::span<const PointField> fields);

// Text from the table's name or its metadata file on a header's comment
// line: a control byte (a line break in a file name) would end the comment
// and break the header, so each stands as '?'.
std::string HeaderCommentText(std::string text);

}  // namespace velscan::exporter
