#include "acquisition/command_line.hpp"

#include <cstring>

#include "acquisition/exit_codes.hpp"
#include "conversion/decimal_value.hpp"
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

}  // namespace

CommandLine ParseCommandLine(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
    if (argc < 2) return ShowUsage{};
    // Alone, "--help" is a request for the usage, not an output file's name.
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) return ShowUsage{.asked = true};

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

    if (settings.lines < 0 || settings.lines > static_cast<std::int32_t>(kMaxLines)) {
        std::fputs("Error: lines must be from 0 to 200\n", err);
        return CommandLineError{kExitCommandLine};
    }
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

}  // namespace velscan
