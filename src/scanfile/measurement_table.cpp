#include "scanfile/measurement_table.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>
#include <optional>
#include <string_view>
#include <vector>

#include "conversion/table_columns.hpp"
#include "platform/digest/sha256.hpp"
#include "platform/files/content.hpp"
#include "scanfile/number_format.hpp"

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

// The SHA-256 of the bytes as a text-mode stream stores them: where the
// platform's line end is not "\n", each "\n" is hashed as that line end.
class LandedBytesDigest {
public:
    void Update(const char* data, std::size_t size) {
        if (files::kTextLineEnd == std::string_view("\n")) {
            hash_.Update(std::as_bytes(std::span(data, size)));
            return;
        }
        const char* const end = data + size;
        while (data != end) {
            const char* const lineEnd = std::find(data, end, '\n');
            hash_.Update(std::as_bytes(std::span(data, lineEnd)));
            if (lineEnd == end) break;
            hash_.Update(std::as_bytes(std::span(files::kTextLineEnd.data(), files::kTextLineEnd.size())));
            data = lineEnd + 1;
        }
    }
    std::string FinishHex() { return hash_.FinishHex(); }

private:
    platform::Sha256 hash_;
};

}  // namespace

std::uint64_t RowsWithoutRange(std::span<const Measurement> rows) {
    std::uint64_t without = 0;
    for (const Measurement& row : rows) without += ShowsNoRange(row.distance) ? 1 : 0;
    return without;
}

const char* WriteFailureReason(WriteResult result) {
    switch (result) {
    case WriteResult::WriteFailed:
        return "Can't write the measurement file";
    case WriteResult::CloseFailed:
        return "Can't close the file";
    case WriteResult::Written:
        break;
    }
    return nullptr;
}

const char* WriteFailureLine(WriteResult result) {
    static const std::string writeFailed = std::string("Error: ") + WriteFailureReason(WriteResult::WriteFailed) + "\n";
    static const std::string closeFailed = std::string("Error: ") + WriteFailureReason(WriteResult::CloseFailed) + "\n";
    switch (result) {
    case WriteResult::WriteFailed:
        return writeFailed.c_str();
    case WriteResult::CloseFailed:
        return closeFailed.c_str();
    case WriteResult::Written:
        break;
    }
    return nullptr;
}

WriteResult WriteMeasurementRows(std::int32_t lines, std::span<const Measurement> measurements,
                                 OutputStream stream, TableFigures* figures) {
    const std::size_t rows = RowCount(lines, measurements.size());
    std::optional<LandedBytesDigest> digest;
    if (figures != nullptr) {
        *figures = TableFigures{.rows = rows, .rowsWithoutRange = RowsWithoutRange(measurements.first(rows)), .sha256 = {}};
        digest.emplace();
    }
    // Each chunk is hashed as it goes to the stream.
    const auto write = [&stream, &digest](const char* data, std::size_t size) {
        if (digest) digest->Update(data, size);
        return stream.Write(data, size);
    };

    std::vector<char> buffer(kChunkBytes);
    char* const begin = buffer.data();
    char* const flushPoint = begin + (kChunkBytes - kMaxRowChars);

    std::memcpy(begin, kTableHeader, sizeof(kTableHeader) - 1);
    char* cursor = begin + (sizeof(kTableHeader) - 1);
    bool written = true;
    for (std::size_t row = 0; row < rows; ++row) {
        if (cursor > flushPoint) {
            written = write(begin, static_cast<std::size_t>(cursor - begin));
            cursor = begin;
            if (!written) break;
        }
        cursor = AppendRow(cursor, measurements[row]);
    }
    if (written) written = write(begin, static_cast<std::size_t>(cursor - begin));

    if (!written) {
        // An incomplete table must not pass for a complete one.
        (void)stream.Close();
        return WriteResult::WriteFailed;
    }
    if (!stream.Close()) return WriteResult::CloseFailed;
    if (digest) figures->sha256 = digest->FinishHex();
    return WriteResult::Written;
}

}  // namespace velscan

namespace velscan {

std::string MeasurementRowsText(std::span<const Measurement> rows) {
    std::string text(kTableHeader, sizeof(kTableHeader) - 1);
    text.resize(text.size() + rows.size() * kMaxRowChars);
    char* cursor = text.data() + (sizeof(kTableHeader) - 1);
    for (const Measurement& row : rows) cursor = AppendRow(cursor, row);
    text.resize(static_cast<std::size_t>(cursor - text.data()));
    return text;
}

}  // namespace velscan
