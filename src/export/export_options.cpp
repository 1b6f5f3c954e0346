#include "export/export_options.hpp"

#include <charconv>
#include <cmath>

namespace velscan::exporter {
namespace {

std::optional<double> Radians(const std::string& text) {
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(value))
        return std::nullopt;
    return value;
}

}  // namespace

ParsedCommandLine ParseExportCommandLine(const std::vector<std::string>& arguments) {
    ExportOptions options;
    bool haveTable = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const auto value = [&]() -> const std::string* {
            return i + 1 < arguments.size() ? &arguments[++i] : nullptr;
        };
        if (argument == "--help" || argument == "-h") return HelpRequested{};
        if (argument == "--ascii") {
            options.ascii = true;
        } else if (argument == "--metres") {
            options.metres = true;
        } else if (argument == "--raw-angles") {
            options.rawAngles = true;
        } else if (argument == "--png" || argument == "--amplitude-png" || argument == "--ply") {
            const std::string* path = value();
            if (!path || path->empty()) return UsageError{"option " + argument + " needs a path"};
            (argument == "--png" ? options.png
                                 : argument == "--ply" ? options.ply : options.amplitudePng) = *path;
        } else if (argument == "--mirror-offset" || argument == "--slow-offset") {
            const std::string* text = value();
            const auto radians = text ? Radians(*text) : std::nullopt;
            if (!radians) return UsageError{"option " + argument + " needs a number of radians"};
            (argument == "--mirror-offset" ? options.mirrorOffset : options.slowOffset) = *radians;
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
    return options;
}

}  // namespace velscan::exporter
