#include "acquisition/command_line.hpp"

#include <array>
#include <string_view>

#include "acquisition/exit_codes.hpp"
#include "conversion/decimal_value.hpp"
#include "scanfile/program_version.hpp"
#include "conversion/samples.hpp"

namespace velscan {
namespace {

// The setting an option letter selects; null for an unknown letter.
std::int32_t* SettingForLetter(RunSettings& settings, char letter) {
    switch (letter) {
        case 'b': return &settings.boardNumber;
        case 'c': return &settings.portNumber;
        case 'l': return &settings.lines;
        case 'm': return &settings.motorNumber;
        case 'p': return &settings.motorPower;
        case 'r': return &settings.maxRange;
        case 's': return &settings.samplePeriod;
        default: return nullptr;
    }
}

// First arguments that ask for the usage rather than name an output file.
constexpr std::array<std::string_view, 4> kHelpRequests{"-h", "-?", "/?", "--help"};
constexpr std::string_view kVersionRequest = "--version";

bool IsHelpRequest(std::string_view argument) {
    for (const std::string_view request : kHelpRequests)
        if (argument == request) return true;
    return false;
}

// Values the card would refuse are refused here, before any file or device
// is touched: a motor the card refuses would leave the mirror standing while
// the run records.
bool CheckRanges(const RunSettings& settings, std::FILE* err) {
    if (settings.lines < 0 || settings.lines > static_cast<std::int32_t>(kMaxLines)) {
        std::fputs("Error: lines must be from 0 to 200\n", err);
        return false;
    }
    if (settings.motorNumber < kFirstMotor || settings.motorNumber > kLastMotor) {
        std::fprintf(err, "Error: motor must be %d or %d, not %d\n", static_cast<int>(kFirstMotor),
                     static_cast<int>(kLastMotor), static_cast<int>(settings.motorNumber));
        return false;
    }
    if (settings.motorPower < 0 || settings.motorPower > kMaxMotorPower) {
        std::fprintf(err, "Error: motor power must be from 0 to %d, not %d\n",
                     static_cast<int>(kMaxMotorPower), static_cast<int>(settings.motorPower));
        return false;
    }
    return true;
}

}  // namespace

CommandLine ParseCommandLine(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
    if (argc < 2) return ShowUsage{};
    // A request for help or the version is never an output file's name,
    // whatever follows it.
    if (IsHelpRequest(argv[1])) return ShowUsage{.asked = true};
    if (argv[1] == kVersionRequest) return ShowVersion{};

    RunSettings settings;
    settings.outputFileName = argv[1];

    for (int index = 2; index < argc; index += 2) {
        const char* option = argv[index];
        // Only the second character names the option; an argument shorter
        // than two characters names none.
        const char letter = option[0] == '\0' ? '\0' : option[1];
        std::int32_t* setting = SettingForLetter(settings, letter);
        if (setting == nullptr) {
            if (letter == '\0') {
                std::fputs("unknown argument: -\n", out);
            } else {
                std::fprintf(out, "unknown argument: -%c\n", letter);
            }
            std::fputs("type velscan without any parameters for help", out);
            std::fflush(out);
            return CommandLineError{kExitCommandLine};
        }
        if (index + 1 >= argc) {
            std::fprintf(err, "Error: option -%c needs a value\n", letter);
            return CommandLineError{kExitCommandLine};
        }
        *setting = ParseDecimalValue(argv[index + 1]);
    }

    if (!CheckRanges(settings, err)) return CommandLineError{kExitCommandLine};
    return settings;
}

void PrintUsage(std::FILE* out) {
    std::fputs("usage: velscan <Laserfile><options>\n", out);
    std::fputs("Available options are: \n", out);
    std::fputs("-c <comm port number for Laser> where the default is 1.\n", out);
    std::fputs("-b <VEXA board number> where the default is 1.\n", out);
    std::fputs("-s <sample period> where the default is 20us.\n", out);
    std::fputs(
        "-l <lines - numbers of buffer> where the default is 200 which means 1000000 "
        "samples (15M).\n",
        out);
    std::fputs("-r <max range> where the default is 650 inches.\n", out);
    std::fputs("-m <motor number> where the default is 1.\n", out);
    std::fputs("-p <motor power level> where the default is 255 which means the highest speed\n",
               out);
}

void PrintVersion(std::FILE* out) { std::fprintf(out, "velscan %s\n", ProgramVersion()); }

}  // namespace velscan
