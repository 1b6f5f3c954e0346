#pragma once
// The command line of velscan-export. The options that name an output come
// from the table of formats (export/export_format.hpp).

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "export/export_format.hpp"
#include "scanfile/site_pose.hpp"

namespace velscan::exporter {

// The usage text: every format's option and lines, then the other options.
std::string UsageText();

// "velscan-export VERSION", the build's version, one line.
std::string VersionLine();

// One output asked for; a format asked for twice keeps the later path.
struct RequestedOutput {
    const ExportFormat* format = nullptr;
    std::string path;
};

struct ExportOptions {
    std::string table;
    // In the order of the table of formats. With no output option, the range
    // picture and the viewer beside the table: its name with the formats'
    // extensions in place of its own ("scan.txt": "scan.png", "scan.html").
    std::vector<RequestedOutput> outputs;
    bool outputsByDefault = false;  // no output option was given
    ExportSettings settings;
    bool rawAngles = false;
    // Typed offsets override a profile's; absent: the profile's, else 0.
    std::optional<double> mirrorOffset;
    std::optional<double> slowOffset;
    std::string profile;            // --profile; empty: the one the metadata file records
    std::optional<SitePose> pose;   // --pose; absent: the one the metadata file records
};

struct HelpRequested {};
struct VersionRequested {};
struct UsageError {
    std::string message;
};

using ParsedCommandLine = std::variant<ExportOptions, HelpRequested, VersionRequested, UsageError>;

ParsedCommandLine ParseExportCommandLine(const std::vector<std::string>& arguments);

// "Wrote the viewer to scan.html", a line for each output written by default.
std::string DefaultOutputLines(const ExportOptions& options);

}  // namespace velscan::exporter
