#include "export/point_fields.hpp"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "export/export_format.hpp"

namespace velscan::exporter {
namespace {

template <typename Value>
char* AppendNumber(char* out, Value value) {
    if constexpr (std::is_floating_point_v<Value>) {
        if (std::isnan(value)) {
            std::memcpy(out, "nan", 3);
            return out + 3;
        }
    }
    return std::to_chars(out, out + 32, value).ptr;
}

template <typename Value>
Value Read(const PointRecord& record, const PointField& field) {
    Value value;
    std::memcpy(&value, reinterpret_cast<const char*>(&record) + field.offset, sizeof value);
    return value;
}

}  // namespace

PointRecord RecordOf(const ScanPoint& point, const PointTimes* times) {
    PointRecord record{static_cast<float>(point.x),        static_cast<float>(point.y),
                       static_cast<float>(point.z),        static_cast<float>(point.distance),
                       point.amplitude,                    point.temperature,
                       point.line,                         point.sample,
                       0.0,                                0};
    if (times != nullptr) {
        record.time = times->SecondsOf(static_cast<std::size_t>(point.line) * kSamplesPerLine +
                                       static_cast<std::size_t>(point.sample));
        record.lost = times->Lost(point.line) ? 1 : 0;
    }
    return record;
}

PointRecord NoReturnRecord() {
    constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
    return PointRecord{kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, -1, -1, std::numeric_limits<double>::quiet_NaN(), -1};
}

char* AppendBinaryRecord(char* out, const PointRecord& record, std::span<const PointField> fields) {
    const std::size_t bytes = RecordBytes(fields);
    std::memcpy(out, &record, bytes);  // the fields are packed in their order
    return out + bytes;
}

char* AppendTextRecord(char* out, const PointRecord& record, std::span<const PointField> fields) {
    for (const PointField& field : fields) {
        switch (field.type) {
            case FieldType::kFloat32: out = AppendNumber(out, Read<float>(record, field)); break;
            case FieldType::kInt32: out = AppendNumber(out, Read<std::int32_t>(record, field)); break;
            case FieldType::kFloat64: out = AppendNumber(out, Read<double>(record, field)); break;
        }
        *out++ = ' ';
    }
    out[-1] = '\n';
    return out;
}

std::string HeaderCommentText(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    return text;
}

}  // namespace velscan::exporter
