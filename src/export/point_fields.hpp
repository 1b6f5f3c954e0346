#pragma once
// The fields of every point, in the order the point formats with fields
// (PLY, PCD) write them: float x, y, z, distance, amplitude, temperature;
// int line, sample. Amplitude is named "intensity" and the others carry the
// "scalar_" prefix, the names point-cloud tools load as scalar fields.

#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace velscan::exporter {

inline constexpr std::array<std::string_view, 6> kFloatFieldNames = {
    "x", "y", "z", "scalar_distance", "intensity", "scalar_temperature"};
inline constexpr std::array<std::string_view, 2> kIntFieldNames = {"scalar_line", "scalar_sample"};

// The binary time fields of a point, as both point formats store them: its
// seconds since the start (double), then its lost mark (32-bit integer).
inline char* AppendBinaryTime(char* cursor, double seconds, std::int32_t lost) {
    std::memcpy(cursor, &seconds, sizeof seconds);
    cursor += sizeof seconds;
    std::memcpy(cursor, &lost, sizeof lost);
    return cursor + sizeof lost;
}

}  // namespace velscan::exporter
