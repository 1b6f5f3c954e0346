#pragma once
// The command line: argument 1 is the output file, then option/value pairs.

#include <cstdint>
#include <cstdio>
#include <string>
#include <variant>

#include "conversion/samples.hpp"
#include "laserlink/range_finder_protocol.hpp"

namespace velscan {

struct RunSettings {
    std::string outputFileName;
    std::int32_t portNumber = 1;      // -c
    std::int32_t boardNumber = 1;     // -b
    std::int32_t samplePeriod = kDefaultSamplePeriodUs;   // -s, microseconds
    std::int32_t lines = static_cast<std::int32_t>(kMaxLines);  // -l, lines of kSamplesPerLine
    std::int32_t maxRange = kDefaultMaxRangeInches;      // -r, inches
    std::int32_t motorNumber = 1;     // -m
    std::int32_t motorPower = 255;    // -p
};

// What the command line asks for. The usage text: after no arguments (then
// the program waits for Enter), or asked for with "--help" as the only one.
struct ShowUsage {
    bool asked = false;  // "--help": the usage, and the program ends at once
};
struct CommandLineError {
    int exitCode;  // 2
};
using CommandLine = std::variant<ShowUsage, RunSettings, CommandLineError>;

// Parses argv. Complaints (unknown option, missing value, lines out of range)
// are printed to `out` / `err` as documented.
CommandLine ParseCommandLine(int argc, const char* const* argv, std::FILE* out, std::FILE* err);

// The nine usage lines.
void PrintUsage(std::FILE* out);

}  // namespace velscan
