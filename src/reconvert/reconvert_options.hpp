#pragma once
// The command line of velscan-reconvert:
//   velscan-reconvert CAPTURE TABLE [--lookup PATH] [-s N] [-r N]

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace velscan::reconvert {

struct ReconvertOptions {
    std::string capture;
    std::string table;
    std::string lookup = "LOOKUPHS";  // in the working folder
    std::optional<std::int32_t> samplePeriod;  // -s, microseconds
    std::optional<std::int32_t> maxRange;      // -r, inches
};

struct UsageError {
    std::string message;  // empty: the usage alone was asked for
};
struct VersionRequested {};

std::variant<ReconvertOptions, UsageError, VersionRequested> ParseReconvertOptions(const std::vector<std::string>& arguments);

extern const char* const kReconvertUsage;

}  // namespace velscan::reconvert
