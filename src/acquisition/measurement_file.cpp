#include "acquisition/measurement_file.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>
#include <vector>

#include "acquisition/number_format.hpp"
#include "conversion/table_columns.hpp"

namespace velscan {
namespace {

// Rows are formatted into one large buffer that goes to the stream in a
// single write whenever it is nearly full.
constexpr std::size_t kChunkBytes = std::size_t{1} << 20;

// The longest row: the line break, five decimal fields, the raw range and two
// index digits, each field with its tab.
constexpr std::size_t kMaxRowChars = 1 + 5 * (kMaxFixedChars + 1) + (kMaxUnsignedChars + 1) + 2 * 2;
static_assert(kMaxRowChars + sizeof(kTableHeader) < kChunkBytes);

char* AppendField(char* out) {
    *out++ = '\t';
    return out;
}

char* AppendIndexBit(char* out, std::uint16_t status, int bit) {
    *out++ = static_cast<char>('0' + ((status >> bit) & 1));
    return AppendField(out);
}

// "\n" then the eight fields, each followed by a tab.
char* AppendRow(char* out, const Measurement& m) {
    *out++ = '\n';
    out = AppendField(FormatFixed<2>(out, m.distance));
    out = AppendField(FormatUnsigned(out, m.rawRange));  // "%.0f" of an unsigned count
    out = AppendField(FormatFixed<1>(out, m.amplitude));
    out = AppendField(FormatFixed<1>(out, m.temperature));
    out = AppendField(FormatFixed<4>(out, m.angle1));
    out = AppendField(FormatFixed<4>(out, m.angle2));
    out = AppendIndexBit(out, m.status, 2);
    return AppendIndexBit(out, m.status, 3);
}

std::size_t RowCount(std::int32_t lines, std::size_t available) {
    const std::int64_t requested = std::int64_t{lines} * static_cast<std::int64_t>(kSamplesPerLine);
    if (requested <= 0) return 0;
    return std::min(static_cast<std::size_t>(requested), available);
}

}  // namespace

const char* WriteFailureLine(WriteResult result) {
    switch (result) {
    case WriteResult::WriteFailed:
        return "Error: Can't write the measurement file\n";
    case WriteResult::CloseFailed:
        return "Error: Can't close the file\n";
    case WriteResult::Written:
        break;
    }
    return nullptr;
}

std::span<Measurement, kMeasurementCapacity> MeasurementArray() {
    // Zero at program start and never released.
    static std::array<Measurement, kMeasurementCapacity> measurements{};
    return measurements;
}

WriteResult WriteMeasurementRows(std::int32_t lines, std::span<const Measurement> measurements,
                                 OutputStream stream) {
    const std::size_t rows = RowCount(lines, measurements.size());

    std::vector<char> buffer(kChunkBytes);
    char* const begin = buffer.data();
    char* const flushPoint = begin + (kChunkBytes - kMaxRowChars);

    std::memcpy(begin, kTableHeader, sizeof(kTableHeader) - 1);
    char* cursor = begin + (sizeof(kTableHeader) - 1);
    bool written = true;
    for (std::size_t row = 0; row < rows; ++row) {
        if (cursor > flushPoint) {
            written = stream.Write(begin, static_cast<std::size_t>(cursor - begin));
            cursor = begin;
            if (!written) break;
        }
        cursor = AppendRow(cursor, measurements[row]);
    }
    if (written) written = stream.Write(begin, static_cast<std::size_t>(cursor - begin));

    if (!written) {
        // An incomplete table must not pass for a complete one.
        (void)stream.Close();
        return WriteResult::WriteFailed;
    }
    return stream.Close() ? WriteResult::Written : WriteResult::CloseFailed;
}

WriteResult WriteMeasurementFile(std::int32_t lines, OutputStream stream) {
    return WriteMeasurementRows(lines, MeasurementArray(), std::move(stream));
}

}  // namespace velscan
