#include "export/export_options.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <optional>

#include "conversion/printable_text.hpp"
#include "platform/files/path_name.hpp"
#include "scanfile/program_version.hpp"

namespace velscan::exporter {
namespace {

// What is written when no output option is given.
struct DefaultOutput {
    std::string_view option;
    std::string_view what;
};
constexpr DefaultOutput kDefaultOutputs[] = {{"--png", "the range picture"}, {"--html", "the viewer"}};

constexpr char kDefaultOutputsHelp[] =
    "With no output option, the range picture and the viewer are written beside the\n"
    "table, named as the table with .png and .html for its extension.\n";

constexpr char kOtherOptions[] =
    "  --ascii               write the PLY and the PCD as text\n"
    "  --metres              point coordinates and distance in metres (default inches)\n"
    "  --raw-angles          use the table's angles as they stand (no recovery\n"
    "                        between encoder steps)\n"
    "  --mirror-offset RAD   mirror angle of the horizontal beam (default: the\n"
    "                        profile's, else 0)\n"
    "  --slow-offset RAD     slow-axis angle of the x axis (default: the profile's,\n"
    "                        else 0)\n"
    "  --profile PATH        the instrument profile to take the offsets from\n"
    "                        (default: the one the table's metadata file records)\n"
    "  --pose X,Y,Z,HEADING  the scan's pose in the site: metres and degrees about z,\n"
    "                        or 16 numbers, a 4x4 matrix row by row (default: the\n"
    "                        one the table's metadata file records)\n"
    "  --help                this text\n"
    "  --version             the program's version\n";

std::optional<double> Radians(const std::string& text) {
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::size_t PlaceInTable(const ExportFormat* format) {
    const auto formats = ExportFormats();
    return static_cast<std::size_t>(std::find(formats.begin(), formats.end(), format) - formats.begin());
}

void Request(std::vector<RequestedOutput>& outputs, const ExportFormat* format, const std::string& path) {
    const auto same = std::find_if(outputs.begin(), outputs.end(),
                                   [&](const RequestedOutput& output) { return output.format == format; });
    if (same != outputs.end()) {
        same->path = path;
        return;
    }
    const auto later = std::find_if(outputs.begin(), outputs.end(), [&](const RequestedOutput& output) {
        return PlaceInTable(output.format) > PlaceInTable(format);
    });
    outputs.insert(later, RequestedOutput{format, path});
}

void RequestDefaults(ExportOptions& options) {
    for (const DefaultOutput& output : kDefaultOutputs) {
        const ExportFormat* format = FormatOfOption(output.option);
        std::filesystem::path path = files::PathOf(options.table);
        path.replace_extension(files::PathOf(format->extension));
        Request(options.outputs, format, files::NameOf(path));
    }
    options.outputsByDefault = true;
}

}  // namespace

std::string DefaultOutputLines(const ExportOptions& options) {
    std::string lines;
    if (!options.outputsByDefault) return lines;
    for (const RequestedOutput& output : options.outputs)
        for (const DefaultOutput& byDefault : kDefaultOutputs)
            if (output.format->option == byDefault.option)
                lines += "Wrote " + std::string(byDefault.what) + " to " + PrintableText(output.path) + "\n";
    return lines;
}

std::string UsageText() {
    std::string usage = "usage: velscan-export <table>";
    for (const ExportFormat* format : ExportFormats())
        usage += " [" + std::string(format->option) + " PATH]";
    usage += " [options]\n";
    for (const ExportFormat* format : ExportFormats()) usage += format->help;
    return usage + kOtherOptions + kDefaultOutputsHelp;
}

std::string VersionLine() { return std::string("velscan-export ") + ProgramVersion() + "\n"; }

ParsedCommandLine ParseExportCommandLine(const std::vector<std::string>& arguments) {
    ExportOptions options;
    bool haveTable = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const auto value = [&]() -> const std::string* {
            return i + 1 < arguments.size() ? &arguments[++i] : nullptr;
        };
        if (argument == "--help" || argument == "-h") return HelpRequested{};
        if (argument == "--version") return VersionRequested{};
        if (argument == "--ascii") {
            options.settings.ascii = true;
        } else if (argument == "--metres") {
            options.settings.unit = LengthUnit::kMetres;
        } else if (argument == "--raw-angles") {
            options.rawAngles = true;
        } else if (const ExportFormat* format = FormatOfOption(argument)) {
            const std::string* path = value();
            if (!path || path->empty()) return UsageError{"option " + argument + " needs a path"};
            Request(options.outputs, format, *path);
        } else if (argument == "--mirror-offset" || argument == "--slow-offset") {
            const std::string* text = value();
            const auto radians = text ? Radians(*text) : std::nullopt;
            if (!radians) return UsageError{"option " + argument + " needs a number of radians"};
            (argument == "--mirror-offset" ? options.mirrorOffset : options.slowOffset) = *radians;
        } else if (argument == "--profile") {
            const std::string* path = value();
            if (!path || path->empty()) return UsageError{"option --profile needs a path"};
            options.profile = *path;
        } else if (argument == "--pose") {
            const std::string* text = value();
            if (!text) return UsageError{"option --pose needs a pose: X,Y,Z,HEADING or 16 numbers"};
            std::string problem;
            options.pose = ParsePose(*text, problem);
            if (!options.pose) return UsageError{"option --pose: the pose " + problem};
        } else if (argument.size() > 1 && argument[0] == '-') {
            return UsageError{"unknown option " + argument};
        } else if (haveTable) {
            return UsageError{"more than one table given: " + argument};
        } else {
            options.table = argument;
            haveTable = true;
        }
    }
    if (!haveTable) return UsageError{"no table given"};
    if (options.outputs.empty()) RequestDefaults(options);
    return options;
}

}  // namespace velscan::exporter
