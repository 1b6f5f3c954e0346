#include "conversion/lookup_table.hpp"

#include <memory>
#include <optional>
#include <string>

#include "conversion/lookup_scanner.hpp"
#include "conversion/whole_file.hpp"

namespace velscan {

namespace {

constexpr const char* kOldVersionWarning =
    "Older version of lookup file. Using 0 for sample rate offset. May\n"
    "result in slightly different distance readings at high sample rates.\n";

// The next single-precision number; nullopt at the end, at a token that is not
// a number, and at one beyond single precision's range.
std::optional<float> NextFloat(LookupScanner& scanner, ScanResult& result) {
    std::string_view token;
    result = scanner.Next(token);
    if (result != ScanResult::Number) return std::nullopt;
    const std::optional<float> value = DecimalToFloat(token);
    if (!value) result = ScanResult::NotNumber;
    return value;
}

// Reads `count` single-precision numbers into `destination`; false at the first
// read that finds no number (the end, or a token that is not one).
bool ReadFloats(LookupScanner& scanner, float* destination, int count) {
    for (int i = 0; i < count; ++i) {
        ScanResult result;
        const std::optional<float> value = NextFloat(scanner, result);
        if (!value) return false;
        destination[i] = *value;
    }
    return true;
}

enum class FirstRow { Read, FileEnded, NotNumber, TooManyColumns };

// Item 1: the first line that holds numbers. After each number only spaces are
// skipped; a line end or the end of the text closes the row, anything else
// (a tab, a lone carriage return) keeps it open into the next line.
FirstRow ReadFirstRow(LookupScanner& scanner, LookupTable& table, int& columns) {
    columns = 0;
    for (;;) {
        ScanResult result;
        const std::optional<float> value = NextFloat(scanner, result);
        if (result == ScanResult::End) return FirstRow::FileEnded;
        if (!value) return FirstRow::NotNumber;
        if (columns == kLookupColumns) return FirstRow::TooManyColumns;  // a 64th column
        table.columnDistance[static_cast<std::size_t>(columns)] = *value;
        ++columns;
        scanner.SkipSpaces();
        if (scanner.AtLineEnd()) return FirstRow::Read;
    }
}

// Items 2 to 5 after a first row of `columns` numbers. A read that finds no
// number ends the load there: what follows keeps 0 and the offset stays 0.
// True when the older version's warning was given.
bool ReadRest(LookupScanner& scanner, LookupTable& table, int columns, double& offset,
              MessageSink* warnings) {
    if (!ReadFloats(scanner, table.columnTemperature.data(), columns)) return false;
    if (!ReadFloats(scanner, table.coefficient.data(), kCorrectionCoefficients)) return false;
    for (auto& row : table.rangeTable) {
        if (!ReadFloats(scanner, row.data(), columns)) return false;
    }
    std::string_view token;
    if (scanner.Next(token) != ScanResult::Number) return false;
    const double value = DecimalToDouble(token);
    if (value >= -kMaxSampleRateOffset && value <= kMaxSampleRateOffset) {
        offset = value;
        return false;
    }
    // Beyond +-20 (an overflow to infinity included): older files kept no
    // offset here.
    if (warnings != nullptr) warnings->Print(MessageStream::Error, kOldVersionWarning);
    return true;
}

int Refuse(std::string* reason, const char* why) {
    if (reason != nullptr) *reason = why;
    return 0;
}

}  // namespace

int ParseLookupText(std::string_view text, LookupTable& table, double& offset,
                    MessageSink* warnings, std::string* reason, bool* olderVersion) {
    offset = 0.0;
    if (olderVersion != nullptr) *olderVersion = false;
    // A fresh table, so that a narrower file never leaves the wider columns of
    // an earlier load behind, and a refused file leaves the target as it was.
    const auto fresh = std::make_unique<LookupTable>();
    LookupScanner scanner(text);
    int columns = 0;
    switch (ReadFirstRow(scanner, *fresh, columns)) {
    case FirstRow::NotNumber:
        return Refuse(reason, "its first row holds a token that is not a number");
    case FirstRow::TooManyColumns:
        return Refuse(reason, "its first row holds more than 63 numbers");
    case FirstRow::FileEnded:
        // Nothing at all to calibrate with; a first row left open by a tab
        // before the end keeps what it read.
        if (columns == 0) return Refuse(reason, "it holds no numbers");
        break;
    case FirstRow::Read:
        if (ReadRest(scanner, *fresh, columns, offset, warnings) && olderVersion != nullptr)
            *olderVersion = true;
        break;
    }
    table = *fresh;
    return 1;
}

int LoadLookupFile(const std::string& fileName, LookupTable& table, double& offset,
                   MessageSink* warnings, std::string* reason, bool* olderVersion) {
    offset = 0.0;
    if (olderVersion != nullptr) *olderVersion = false;
    std::string text;
    if (!ReadWholeFile(fileName, text, kMaxLookupFileBytes, reason)) return 0;
    return ParseLookupText(text, table, offset, warnings, reason, olderVersion);
}

LookupTable& ProgramLookupTable() {
    static LookupTable table;
    return table;
}

LookupReading ReadLookupFile(const std::string& fileName, double& offset) {
    LookupReading reading;
    reading.status = LoadLookupFile(fileName, ProgramLookupTable(), offset, &CurrentMessageSink(),
                                    &reading.failure, &reading.olderVersion);
    if (reading.status != 0) reading.failure.clear();
    return reading;
}

}  // namespace velscan
