// velscan-export: a velscan table to the outputs of the table of formats
// (pictures, point cloud) and a summary on standard output. Exit codes: 0
// done; 2 usage error; 3 the table is not velscan's or an output could not be
// written (then no output is changed); 4 every output was written and put in
// place, but standard output could not take the summary (closed, full, or its
// reader gone); 5 an output replaced could not be put back after a later one
// failed (the message says which file now stands where); 129, 130, 131 and
// 143 a request to end (SIGHUP, SIGINT, SIGQUIT, SIGTERM), every unfinished
// file removed.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "conversion/printable_text.hpp"
#include "conversion/whole_file.hpp"
#include "export/export_format.hpp"
#include "export/export_options.hpp"
#include "export/export_setup.hpp"
#include "export/scan_angles.hpp"
#include "export/scan_metadata.hpp"
#include "export/scan_table.hpp"
#include "export/summary.hpp"
#include "export/export_outputs.hpp"
#include "export/export_table.hpp"
#include "platform/files/file_identity.hpp"
#include "platform/files/console_window.hpp"
#include "platform/files/forced_end.hpp"
#include "platform/files/path_name.hpp"
#include "platform/files/standard_streams.hpp"
#include "scanfile/file_names.hpp"

namespace velscan::exporter {
namespace {

constexpr int kExitUsage = 2;
constexpr int kExitFailed = 3;
constexpr int kExitStandardOutputFailed = 4;
constexpr int kExitOutputsChanged = 5;

// Messages carry names and bytes from the command line and the table:
// control bytes are shown escaped.
void Error(const std::string& message) {
    std::fprintf(stderr, "velscan-export: %s\n", PrintableText(message).c_str());
}

int Usage(const std::string& problem) {
    Error(problem);
    std::fputs(UsageText().c_str(), stderr);
    return kExitUsage;
}

// No output may overwrite the table, its metadata file (TABLE.json, the
// scan's only record of how it was made) or another output. Paths are
// compared as files: an existing file by its identity, a new one by its
// resolved folder and name, links followed (dangling ones too).
std::string ClashingOutputs(const ExportOptions& options) {
    const auto& outputs = options.outputs;
    const std::string metadataFile = MetadataFileName(options.table);
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        if (files::SameFile(outputs[i].path, options.table))
            return "the output " + outputs[i].path + " is the table itself";
        if (files::SameFile(outputs[i].path, metadataFile))
            return "the output " + outputs[i].path + " is the table's metadata file";
        for (std::size_t j = i + 1; j < outputs.size(); ++j)
            if (files::SameFile(outputs[i].path, outputs[j].path))
                return "two outputs name the same file " + outputs[j].path;
    }
    return {};
}

// Standard output is written last, once every output is in place.
int PrintToStandardOutput(const std::string& text, const files::ClosedStandardStreams& closed, const char* what) {
    if (closed.output) {
        Error(std::string("Error: standard output is closed; ") + what + " was not written");
        return kExitStandardOutputFailed;
    }
    std::fputs(text.c_str(), stdout);
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return 0;
    Error(std::string("Error: writing ") + what + " to standard output failed: " + std::strerror(errno));
    return kExitStandardOutputFailed;
}

void Warn(const std::string& warning) {
    if (!warning.empty()) Error(warning);
}

int Export(const ExportOptions& options, const files::ClosedStandardStreams& closed) {
    const ExportedTable exported = ExportTable(options, Warn, WarnOnStandardError);
    return PrintToStandardOutput(Summary(exported.table, exported.angles, exported.settings.applied, exported.figures) +
                                     DefaultOutputLines(options),
                                 closed, "the summary");
}

int Main(int argc, char** argv) {
    const files::ClosedStandardStreams closed = files::OpenClosedStandardStreams();
    files::IgnoreWriteSignals();
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const ParsedCommandLine parsed = ParseExportCommandLine(arguments);
    if (std::holds_alternative<HelpRequested>(parsed))
        return PrintToStandardOutput(UsageText(), closed, "the usage text");
    if (std::holds_alternative<VersionRequested>(parsed))
        return PrintToStandardOutput(VersionLine(), closed, "the version");
    if (const auto* error = std::get_if<UsageError>(&parsed)) return Usage(error->message);
    const auto& options = std::get<ExportOptions>(parsed);
    if (const std::string clash = ClashingOutputs(options); !clash.empty()) return Usage(clash);
    // From here a request to end removes every unfinished output.
    files::EndOnRequestRemovingUnfinishedFiles();
    try {
        return Export(options, closed);
    } catch (const OutputsChangedError& error) {
        Error(error.what());
        return kExitOutputsChanged;
    } catch (const std::bad_alloc&) {
        Error("not enough memory");
    } catch (const std::exception& error) {  // TableError, OutputError and the like
        Error(error.what());
    }
    return kExitFailed;
}

}  // namespace
}  // namespace velscan::exporter

// A table dropped on the program in the Explorer: its window stays open after
// a failure until a key is pressed.
int main(int argc, char** argv) {
    return velscan::files::HoldConsoleWindowAfterFailure(velscan::exporter::Main(argc, argv));
}
