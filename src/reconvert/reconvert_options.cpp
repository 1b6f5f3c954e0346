#include "reconvert/reconvert_options.hpp"

#include "conversion/decimal_value.hpp"
#include "conversion/printable_text.hpp"

namespace velscan::reconvert {

const char* const kReconvertUsage =
    "usage: velscan-reconvert CAPTURE TABLE [--lookup PATH] [-s PERIOD] [-r RANGE]\n"
    "  Converts a capture of raw records (TABLE.capture, or VELSCAN_CAPTURE) into a\n"
    "  table again, with the settings and calibration value of CAPTURE.json and the\n"
    "  lookup file PATH (default LOOKUPHS in the working folder). A scan cut short\n"
    "  by a crash gives the table of its complete lines. -s and -r, as velscan's, are\n"
    "  needed when the capture has no metadata file, and override it when given.\n"
    "  --version prints the program's version.\n";

std::variant<ReconvertOptions, UsageError, VersionRequested> ParseReconvertOptions(const std::vector<std::string>& arguments) {
    ReconvertOptions options;
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& word = arguments[i];
        if (word == "--help" || word == "-h") return UsageError{};
        if (word == "--version") return VersionRequested{};
        const bool takesValue = word == "--lookup" || word == "-s" || word == "-r";
        if (takesValue) {
            if (i + 1 == arguments.size()) return UsageError{"option " + PrintableText(word) + " needs a value"};
            const std::string& value = arguments[++i];
            if (word == "--lookup") options.lookup = value;
            // The same reading of a number as velscan's own options.
            if (word == "-s") options.samplePeriod = ParseDecimalValue(value.c_str());
            if (word == "-r") options.maxRange = ParseDecimalValue(value.c_str());
            continue;
        }
        if (word.size() > 1 && word[0] == '-') return UsageError{"unknown option " + PrintableText(word)};
        positional.push_back(word);
    }
    if (positional.size() != 2) return UsageError{"a capture and a table must be named"};
    options.capture = positional[0];
    options.table = positional[1];
    return options;
}

}  // namespace velscan::reconvert
