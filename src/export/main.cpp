// velscan-export: a velscan table to a range picture, an amplitude picture
// and a point cloud. Exit codes: 0 done, 2 usage error, 3 the table is not
// velscan's or an output could not be written (then no output is changed).
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "export/export_options.hpp"
#include "export/export_outputs.hpp"
#include "export/ply_writer.hpp"
#include "export/range_picture.hpp"
#include "export/scan_angles.hpp"
#include "export/scan_table.hpp"
#include "export/summary.hpp"
#include "platform/files/file_identity.hpp"

namespace velscan::exporter {
namespace {

constexpr int kExitUsage = 2;
constexpr int kExitFailed = 3;

int Usage(const std::string& problem) {
    std::fprintf(stderr, "velscan-export: %s\n%s", problem.c_str(), kUsage);
    return kExitUsage;
}

// No output may overwrite the table or another output. Paths are compared
// as files: an existing file by its identity, a new one by its resolved
// folder and name, links followed (dangling ones too).
std::string ClashingOutputs(const ExportOptions& options) {
    std::vector<std::string> outputs;
    for (const auto* path : {&options.png, &options.amplitudePng, &options.ply})
        if (*path) outputs.push_back(**path);
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        if (files::SameFile(outputs[i], options.table))
            return "the output " + outputs[i] + " is the table itself";
        for (std::size_t j = i + 1; j < outputs.size(); ++j)
            if (files::SameFile(outputs[i], outputs[j])) return "two outputs name the same file " + outputs[j];
    }
    return {};
}

int Export(const ExportOptions& options) {
    const ScanTable table = ReadTable(options.table);
    const ScanAngles angles =
        ExportAngles(table, options.rawAngles, options.mirrorOffset, options.slowOffset);

    // Every output is written and closed before any is put in place.
    ExportOutputs outputs;
    if (options.ply) {
        WritePly(outputs.Create(*options.ply), table, angles,
                 {options.ascii, options.metres, std::filesystem::path(options.table).filename().string()});
    }
    if (options.png || options.amplitudePng) {
        const PanoramaLayout layout = ChoosePanorama(table, angles);
        if (options.png) {
            WritePng(outputs.Create(*options.png), RangePicture(table, angles, layout));
        }
        if (options.amplitudePng) {
            WritePng(outputs.Create(*options.amplitudePng), AmplitudePicture(table, angles, layout));
        }
    }
    outputs.Commit();

    const std::string summary = Summary(table, angles);
    std::fputs(summary.c_str(), stdout);
    return std::fflush(stdout) == 0 ? 0 : kExitFailed;
}

int Main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const ParsedCommandLine parsed = ParseExportCommandLine(arguments);
    if (std::holds_alternative<HelpRequested>(parsed)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (const auto* error = std::get_if<UsageError>(&parsed)) return Usage(error->message);
    const auto& options = std::get<ExportOptions>(parsed);
    if (const std::string clash = ClashingOutputs(options); !clash.empty()) return Usage(clash);
    try {
        return Export(options);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "velscan-export: not enough memory\n");
    } catch (const std::exception& error) {  // TableError, OutputError and the like
        std::fprintf(stderr, "velscan-export: %s\n", error.what());
    }
    return kExitFailed;
}

}  // namespace
}  // namespace velscan::exporter

int main(int argc, char** argv) { return velscan::exporter::Main(argc, argv); }
