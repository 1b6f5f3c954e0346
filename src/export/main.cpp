// velscan-export: a velscan table to a range picture, an amplitude picture
// and a point cloud. Exit codes: 0 done, 2 usage error, 3 the table is not
// velscan's or an output could not be written (then no output is changed).
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "export/export_options.hpp"
#include "export/output_target.hpp"
#include "export/ply_writer.hpp"
#include "export/range_picture.hpp"
#include "export/scan_angles.hpp"
#include "export/scan_table.hpp"
#include "export/summary.hpp"

namespace velscan::exporter {
namespace {

constexpr int kExitUsage = 2;
constexpr int kExitFailed = 3;

int Usage(const std::string& problem) {
    std::fprintf(stderr, "velscan-export: %s\n%s", problem.c_str(), kUsage);
    return kExitUsage;
}

std::filesystem::path Resolved(const std::string& path) {
    std::error_code error;
    const auto resolved = std::filesystem::weakly_canonical(path, error);
    return error ? std::filesystem::absolute(path) : resolved;
}

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    if (std::filesystem::equivalent(a, b, error)) return true;
    return Resolved(a) == Resolved(b);
}

// No output may overwrite the table or another output.
std::string ClashingOutputs(const ExportOptions& options) {
    std::vector<std::string> outputs;
    for (const auto* path : {&options.png, &options.amplitudePng, &options.ply})
        if (*path) outputs.push_back(**path);
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        if (SameFile(outputs[i], options.table))
            return "the output " + outputs[i] + " is the table itself";
        for (std::size_t j = i + 1; j < outputs.size(); ++j)
            if (SameFile(outputs[i], outputs[j])) return "two outputs name the same file " + outputs[j];
    }
    return {};
}

int Export(const ExportOptions& options) {
    const ScanTable table = ReadTable(options.table);
    const ScanAngles angles =
        ExportAngles(table, options.rawAngles, options.mirrorOffset, options.slowOffset);

    // Every output is written completely before any is put in place.
    std::vector<std::unique_ptr<OutputTarget>> outputs;
    if (options.ply) {
        outputs.push_back(std::make_unique<OutputTarget>(*options.ply));
        WritePly(*outputs.back(), table, angles,
                 {options.ascii, options.metres, std::filesystem::path(options.table).filename().string()});
    }
    if (options.png || options.amplitudePng) {
        const PanoramaLayout layout = ChoosePanorama(table, angles);
        if (options.png) {
            outputs.push_back(std::make_unique<OutputTarget>(*options.png));
            WritePng(*outputs.back(), RangePicture(table, angles, layout));
        }
        if (options.amplitudePng) {
            outputs.push_back(std::make_unique<OutputTarget>(*options.amplitudePng));
            WritePng(*outputs.back(), AmplitudePicture(table, angles, layout));
        }
    }
    for (const auto& output : outputs) output->Commit();

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
