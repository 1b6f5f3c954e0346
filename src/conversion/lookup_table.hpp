#pragma once
// The distance calibration read from the lookup file.

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace velscan {

inline constexpr int kLookupColumns = 63;
inline constexpr int kLookupRows = 256;
inline constexpr int kCorrectionCoefficients = 9;
inline constexpr double kMaxSampleRateOffset = 20.0;

// The lookup file the run loads, relative to the working directory.
inline constexpr const char* kLookupFileName = "LOOKUPHS";

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
// Returns 1 when the text was read, 0 when its first row is refused (more than
// 63 numbers, or a token that is not a number). `warnings` receives the old
// version warning; null keeps it quiet.
int ParseLookupText(std::string_view text, LookupTable& table, double& offset,
                    std::FILE* warnings);

// Reads the file at `fileName` into `table`; 0 when it cannot be opened for
// reading (table unchanged, offset 0) or its first row is refused.
int LoadLookupFile(const std::string& fileName, LookupTable& table, double& offset,
                   std::FILE* warnings);

// Reads the file into the program-wide table, warnings on standard error.
int ReadLookupFile(const std::string& fileName, double& offset);

}  // namespace velscan
