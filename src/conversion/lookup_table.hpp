#pragma once
// The distance calibration read from the lookup file.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "conversion/message_sink.hpp"

namespace velscan {

inline constexpr int kLookupColumns = 63;
inline constexpr int kLookupRows = 256;
inline constexpr int kCorrectionCoefficients = 9;
inline constexpr double kMaxSampleRateOffset = 20.0;

// The lookup file the run loads, relative to the working directory.
inline constexpr const char* kLookupFileName = "LOOKUPHS";

// A sensible upper bound: the lookup file is about 110 kB.
inline constexpr std::uintmax_t kMaxLookupFileBytes = std::uintmax_t{1} << 20;

// Every entry is single precision, as the file's values are held.
struct LookupTable {
    std::array<float, kLookupColumns> columnDistance{};
    std::array<float, kLookupColumns> columnTemperature{};
    std::array<float, kCorrectionCoefficients> coefficient{};
    std::array<std::array<float, kLookupColumns>, kLookupRows> rangeTable{};
};

// The program-wide table the distance computation reads; all zero at start.
LookupTable& ProgramLookupTable();

// Parses lookup file text into `table` (replaced only on success) and `offset`.
// Returns 1 when the text was read, 0 when it holds no number at all (a table
// of zeros only fails later, at sampling, and blames the card) or its first row
// is refused (more than 63 numbers, or a token that is not a number).
// `warnings` receives the old version warning; null keeps it quiet. `reason`,
// when given, receives why a text was refused.
// `olderVersion`, when given, is set when the older version's warning was given.
int ParseLookupText(std::string_view text, LookupTable& table, double& offset,
                    MessageSink* warnings, std::string* reason = nullptr,
                    bool* olderVersion = nullptr);

// Reads the file at `fileName` into `table`; 0 when it cannot be opened for
// reading (table unchanged, offset 0) or its text is refused.
int LoadLookupFile(const std::string& fileName, LookupTable& table, double& offset,
                   MessageSink* warnings, std::string* reason = nullptr,
                   bool* olderVersion = nullptr);

// What a read of the lookup file into the program-wide table came to.
struct LookupReading {
    int status = 0;  // 1 read, 0 refused or not readable
    // Why it returned 0, in words that follow the file's name ("no such file
    // or directory"); empty after a read.
    std::string failure;
    // The file is of the older version (its sample rate offset missing or out
    // of range, so 0 is used): the "Older version" warning was printed.
    bool olderVersion = false;
};

// Reads the file into the program-wide table, warnings to the current message
// sink.
LookupReading ReadLookupFile(const std::string& fileName, double& offset);

}  // namespace velscan
