#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <limits>
#include <optional>
#include <system_error>

#include "conversion/whole_file.hpp"
#include "platform/digest/sha256.hpp"
#include "platform/files/path_name.hpp"
#include "conversion/table_columns.hpp"
#include "export/exact_decimal.hpp"
#include "export/scan_table.hpp"
#include "export/side_by_side.hpp"
#include "scanfile/number_format.hpp"

namespace velscan::exporter {
namespace {

// Longer than any table velscan writes. A row is about 44 bytes, but its
// distance may take every digit of the largest double (a lookup file whose
// neighbouring entries nearly agree), and the other fields of a row never
// take 64 bytes together.
constexpr std::uintmax_t kMaxRowBytes = kMaxFixedChars + 1 + 64;
constexpr std::uintmax_t kMaxFileBytes = sizeof(kTableHeader) + std::uintmax_t{kMaxRows} * kMaxRowBytes;

class RowParser {
public:
    RowParser(const std::string& name, std::size_t lineNumber, std::string_view row)
        : name_(name), lineNumber_(lineNumber), cursor_(row.data()), end_(row.data() + row.size()) {}

    // The next field up to its tab, as text.
    std::string_view Field(std::size_t column) {
        const char* tab = cursor_;
        while (tab != end_ && *tab != '\t') ++tab;
        if (tab == end_) {
            if (cursor_ == end_) Fail(FieldCount(column));
            Fail("field " + std::to_string(column + 1) + " (" + std::string(kTableColumns[column]) +
                 ") is not followed by a tab");
        }
        const std::string_view field(cursor_, static_cast<std::size_t>(tab - cursor_));
        cursor_ = tab + 1;
        return field;
    }

    // A column the export keeps in single precision (amplitude,
    // temperature): a value beyond it would become infinite there. Distances
    // are kept in double precision, every finite one velscan can write;
    // the outputs decide what to do with one beyond single precision.
    double SinglePrecision(std::size_t column) {
        const char* const start = cursor_;
        const double value = Decimal(column);
        if (std::fabs(value) > std::numeric_limits<float>::max()) {
            cursor_ = start;
            NotANumber(column, Field(column));
        }
        return value;
    }

    double Decimal(std::size_t column) {
        double value = 0.0;
        if (const char* const digitsEnd = ReadExactFixed(cursor_, end_, value); FollowedByTab(digitsEnd)) {
            cursor_ = digitsEnd + 1;
            return value;
        }
        const std::string_view text = Field(column);
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value,
                                                  std::chars_format::fixed);
        if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
            !std::isfinite(value))
            NotANumber(column, text);
        return value;
    }

    unsigned long long Unsigned(std::size_t column, unsigned long long limit) {
        std::uint32_t shortValue = 0;
        if (const char* const digitsEnd = ReadShortUnsigned(cursor_, end_, shortValue);
            FollowedByTab(digitsEnd) && shortValue <= limit) {
            cursor_ = digitsEnd + 1;
            return shortValue;
        }
        const std::string_view text = Field(column);
        unsigned long long value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (text.empty() || error != std::errc() || end != text.data() + text.size() || value > limit)
            NotANumber(column, text);
        return value;
    }

    void End() {
        if (cursor_ == end_) return;
        std::size_t extra = 0;
        for (const char* p = cursor_; p != end_; ++p) extra += *p == '\t';
        Fail(std::to_string(8 + extra + (end_[-1] != '\t')) + " fields, expected 8");
    }

    [[noreturn]] void Fail(const std::string& what) const {
        throw TableError(name_ + ":" + std::to_string(lineNumber_) + ": " + what);
    }

private:
    // Whether a number read the short way ends its field.
    bool FollowedByTab(const char* digitsEnd) const {
        return digitsEnd != nullptr && digitsEnd != end_ && *digitsEnd == '\t';
    }

    std::string FieldCount(std::size_t fieldsFound) const {
        return std::to_string(fieldsFound) + " fields, expected 8";
    }
    [[noreturn]] void NotANumber(std::size_t column, std::string_view text) const {
        Fail("field " + std::to_string(column + 1) + " (" + std::string(kTableColumns[column]) +
             ") is not a valid value: '" + std::string(text.substr(0, 40)) + "'");
    }

    const std::string& name_;
    std::size_t lineNumber_;
    const char* cursor_;
    const char* end_;
};

// One line without its line end (LF or CR LF).
std::string_view NextLine(std::string_view& text) {
    const std::size_t newline = text.find('\n');
    std::string_view line = text.substr(0, newline);
    text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

// Tables from this size on are read in two halves at once.
constexpr std::size_t kBytesWorthTwoHalves = std::size_t{1} << 20;

void Reserve(ScanTable& table, std::size_t rows) {
    table.distance.reserve(rows);
    table.rawRange.reserve(rows);
    table.amplitude.reserve(rows);
    table.temperature.reserve(rows);
    table.angle1.reserve(rows);
    table.angle2.reserve(rows);
}

// Reads the rows of `text` into `table`; `lineNumber` is the line before the
// first, for the messages.
void ParseRows(std::string_view text, const std::string& name, std::size_t lineNumber, ScanTable& table) {
    while (!text.empty()) {
        ++lineNumber;
        const std::string_view line = NextLine(text);
        RowParser row(name, lineNumber, line);
        if (line.empty()) row.Fail("empty line, expected 8 fields");
        if (table.Rows() == kMaxRows)
            row.Fail("more than " + std::to_string(kMaxRows) + " rows, more than velscan records");
        table.distance.push_back(row.Decimal(0));
        table.rawRange.push_back(static_cast<std::uint32_t>(row.Unsigned(1, 0xFFFFFFFFull)));
        table.amplitude.push_back(static_cast<float>(row.SinglePrecision(2)));
        table.temperature.push_back(static_cast<float>(row.SinglePrecision(3)));
        table.angle1.push_back(row.Decimal(4));
        table.angle2.push_back(row.Decimal(5));
        row.Unsigned(6, 1);
        row.Unsigned(7, 1);
        row.End();
    }
}

// The rows of a large table read as two halves side by side, split after a
// line end so each half holds whole lines. Empty when the table has a fault:
// the caller reads it again in one pass for the message on its first faulty
// line, whose number only that pass knows.
std::optional<ScanTable> ParseRowsInTwoHalves(std::string_view rows, const std::string& name,
                                              std::size_t estimate) {
    const std::size_t split = rows.find('\n', rows.size() / 2);
    if (split == std::string_view::npos) return std::nullopt;
    ScanTable first, second;
    Reserve(first, estimate);
    Reserve(second, estimate / 2 + 1);
    try {
        SideBySide(true, [&] { ParseRows(rows.substr(0, split + 1), name, 1, first); },
                   [&] { ParseRows(rows.substr(split + 1), name, 1, second); });
    } catch (const TableError&) {
        return std::nullopt;
    }
    if (first.Rows() + second.Rows() > kMaxRows) return std::nullopt;
    first.Append(second);
    return first;
}

}  // namespace

ScanTable ParseTable(std::string_view text, const std::string& name) {
    if (text.empty()) throw TableError(name + ":1: empty file, not a velscan table");
    const std::string_view header = NextLine(text);
    if (header != std::string_view(kTableHeader))
        throw TableError(name + ":1: not a velscan table: the header line differs from velscan's "
                                "(eight column titles, each followed by a tab)");

    const std::size_t estimate = std::min(kMaxRows, text.size() / 40 + 1);
    if (text.size() >= kBytesWorthTwoHalves)
        if (std::optional<ScanTable> table = ParseRowsInTwoHalves(text, name, estimate)) return std::move(*table);
    ScanTable table;
    Reserve(table, estimate);
    ParseRows(text, name, 1, table);
    return table;
}

ScanTable ReadTable(const std::string& path, std::string* sha256) {
    std::error_code error;
    const auto status = std::filesystem::status(files::PathOf(path), error);
    if (error || !std::filesystem::exists(status))
        throw TableError(path + ":1: cannot be read: no such file");
    if (std::filesystem::is_directory(status))
        throw TableError(path + ":1: is a directory, not a velscan table");
    if (!std::filesystem::is_regular_file(status))
        throw TableError(path + ":1: is not a regular file, not a velscan table");
    const std::uintmax_t size = std::filesystem::file_size(files::PathOf(path), error);
    if (error || size > kMaxFileBytes)
        throw TableError(path + ":1: too large for a velscan table");

    std::string text;
    text.reserve(static_cast<std::size_t>(size));  // one allocation for the whole file
    if (!ReadWholeFile(path, text, kMaxFileBytes)) throw TableError(path + ":1: read failed");
    ScanTable table;
    // The digest of a large table takes as long as a third of its reading.
    const auto parse = [&] { table = ParseTable(text, path); };
    const auto hash = [&] {
        if (sha256 != nullptr) *sha256 = platform::Sha256Hex(std::as_bytes(std::span(text.data(), text.size())));
    };
    SideBySide(sha256 != nullptr && text.size() >= kBytesWorthTwoHalves, parse, hash);
    return table;
}

}  // namespace velscan::exporter
