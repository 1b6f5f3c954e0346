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
// the program waits for Enter), or asked for by a first argument "-h", "-?",
// "/?" or "--help". The version: a first argument "--version". These five
// are the only first arguments that do not name the output file.
struct ShowUsage {
    bool asked = false;  // asked for: the usage, and the program ends at once
};
struct ShowVersion {};
struct CommandLineError {
    int exitCode;  // 2
};
using CommandLine = std::variant<ShowUsage, ShowVersion, RunSettings, CommandLineError>;

// The motor numbers and power levels the card accepts.
inline constexpr std::int32_t kFirstMotor = 1;
inline constexpr std::int32_t kLastMotor = 2;
inline constexpr std::int32_t kMaxMotorPower = 255;
// The sample periods the card accepts (microseconds).
inline constexpr std::uint32_t kMinSamplePeriodUs = 20;
inline constexpr std::uint32_t kMaxSamplePeriodUs = 9999999;

// Parses argv. Complaints (unknown option, missing value, lines, motor,
// power or sample period out of range) are printed to `out` /
// `err` as documented, each followed by what was expected and what was given.
CommandLine ParseCommandLine(int argc, const char* const* argv, std::FILE* out, std::FILE* err);

// The nine usage lines.
void PrintUsage(std::FILE* out);

// "velscan VERSION", one line.
void PrintVersion(std::FILE* out);

}  // namespace velscan
