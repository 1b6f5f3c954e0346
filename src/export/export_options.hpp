#pragma once
// The command line of velscan-export. The options that name an output come
// from the table of formats (export/export_format.hpp).

#include <string>
#include <variant>
#include <vector>

#include "export/export_format.hpp"

namespace velscan::exporter {

// The usage text: every format's option and lines, then the other options.
std::string UsageText();

// One output asked for; a format asked for twice keeps the later path.
struct RequestedOutput {
    const ExportFormat* format = nullptr;
    std::string path;
};

struct ExportOptions {
    std::string table;
    std::vector<RequestedOutput> outputs;  // in the order of the table of formats
    ExportSettings settings;
    bool rawAngles = false;
    double mirrorOffset = 0.0;
    double slowOffset = 0.0;
};

struct HelpRequested {};
struct UsageError {
    std::string message;
};

using ParsedCommandLine = std::variant<ExportOptions, HelpRequested, UsageError>;

ParsedCommandLine ParseExportCommandLine(const std::vector<std::string>& arguments);

}  // namespace velscan::exporter
