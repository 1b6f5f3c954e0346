#pragma once
// The command line of velscan-export.

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace velscan::exporter {

inline constexpr char kUsage[] =
    "usage: velscan-export <table> [--png PATH] [--amplitude-png PATH] [--ply PATH] [options]\n"
    "  --png PATH            range picture: slow-axis angle across, mirror angle down,\n"
    "                        colour by distance (scale in inches), black without range\n"
    "  --amplitude-png PATH  the same panorama in grey levels of amplitude\n"
    "  --ply PATH            point cloud, binary little-endian PLY\n"
    "  --ascii               write the PLY as text\n"
    "  --metres              PLY coordinates and distance in metres (default inches)\n"
    "  --raw-angles          use the table's angles as they stand (no recovery\n"
    "                        between encoder steps)\n"
    "  --mirror-offset RAD   mirror angle of the horizontal beam (default 0)\n"
    "  --slow-offset RAD     slow-axis angle of the x axis (default 0)\n"
    "  --help                this text\n";

struct ExportOptions {
    std::string table;
    std::optional<std::string> png;
    std::optional<std::string> amplitudePng;
    std::optional<std::string> ply;
    bool ascii = false;
    bool metres = false;
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
