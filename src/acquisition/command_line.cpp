#include "acquisition/command_line.hpp"

#include <array>
#include <string_view>

#include "acquisition/exit_codes.hpp"
#include "conversion/decimal_value.hpp"
#include "conversion/printable_text.hpp"
#include "platform/terminal.hpp"
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

// An argument that reads as one of the seven options: a dash and a known letter.
bool LooksLikeOption(std::string_view argument) {
    if (argument.size() != 2 || argument[0] != '-') return false;
    RunSettings scratch;
    return SettingForLetter(scratch, argument[1]) != nullptr;
}

constexpr const char* kOptionList = "-b, -c, -l, -m, -p, -r or -s";

// The line that follows the documented two when an option is not known: what
// was expected in its place, what was given, and, when the table's name was
// an option, that the name comes first. The documented lines end without a
// line end on standard output; on a terminal this line starts a new one.
void ExplainUnknownOption(std::string_view firstArgument, std::string_view option, std::FILE* out,
                          std::FILE* err) {
    if (platform::IsTerminal(out) && platform::IsTerminal(err)) std::fputc('\n', err);
    const std::string given = PrintableText(option);
    if (option.starts_with("--")) {
        std::fprintf(err,
                     "Error: \"%s\" is not an option: an option is one dash and one letter "
                     "(%s), then its value\n",
                     given.c_str(), kOptionList);
    } else {
        std::fprintf(err, "Error: expected an option (%s) followed by its value, not \"%s\"\n",
                     kOptionList, given.c_str());
    }
    if (LooksLikeOption(firstArgument)) {
        std::fprintf(err,
                     "Error: the table's name comes first, then the options "
                     "(velscan scan.txt -l 10); \"%s\" was taken as the table's name\n",
                     PrintableText(firstArgument).c_str());
    }
}

bool IsHelpRequest(std::string_view argument) {
    for (const std::string_view request : kHelpRequests)
        if (argument == request) return true;
    return false;
}

// Values the card would refuse are refused here, before any file or device
// is touched: a motor the card refuses would leave the mirror standing while
// the run records; a sample period it refuses would end the run only after
// the card and the range finder were opened. Every maximum range is taken,
// as the card takes it (one of 0 or below gives an averaging count of 0).
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
    const auto period = static_cast<std::uint32_t>(settings.samplePeriod);
    if (period < kMinSamplePeriodUs || period > kMaxSamplePeriodUs) {
        // The message the card's refusal gives, then why.
        std::fputs("Error: Failed to set sample and range\n", err);
        std::fprintf(err, "Error: the sample period (-s) must be from %u to %u microseconds, not %d\n",
                     static_cast<unsigned>(kMinSamplePeriodUs), static_cast<unsigned>(kMaxSamplePeriodUs),
                     static_cast<int>(settings.samplePeriod));
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
            ExplainUnknownOption(argv[1], option, out, err);
            return CommandLineError{kExitCommandLine};
        }
        if (index + 1 >= argc) {
            std::fprintf(err, "Error: option -%c needs a value\n", letter);
            if (LooksLikeOption(argv[1]))
                std::fprintf(err,
                             "Error: the table's name comes first, then the options; "
                             "\"%s\" was taken as the table's name\n",
                             PrintableText(argv[1]).c_str());
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
