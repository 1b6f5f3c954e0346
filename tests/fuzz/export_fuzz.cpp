// Fuzz entry point for velscan-export: the first line of the input holds the
// export's options, split at spaces as on a command line; the rest is read as
// a table. A table that parses goes through every format of the table of
// formats, written into the null device. Checked: the reader and the angle
// check fail only with a TableError; no writer fails on a stream that takes
// everything; the summary has its six whole lines; the points are rows, and
// each fits the 32-bit floats the point formats store.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cmath>
#include <limits>
#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "export/export_format.hpp"
#include "export/export_options.hpp"
#include "export/export_outputs.hpp"
#include "export/scan_angles.hpp"
#include "export/scan_table.hpp"
#include "export/summary.hpp"

namespace {

using namespace velscan::exporter;

void Require(bool condition) {
    if (!condition) std::abort();
}

std::FILE* NullDevice() {
    static const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(VELSCAN_NULL_DEVICE, "wb"),
                                                                       &std::fclose);
    Require(file != nullptr);
    return file.get();
}

ExportOptions OptionsOf(std::string_view line) {
    std::vector<std::string> arguments{"fuzz"};
    for (std::size_t start = 0; start <= line.size();) {
        const std::size_t space = std::min(line.find(' ', start), line.size());
        if (space > start) arguments.emplace_back(line.substr(start, space - start));
        start = space + 1;
    }
    const ParsedCommandLine parsed = ParseExportCommandLine(arguments);
    if (const auto* options = std::get_if<ExportOptions>(&parsed)) return *options;
    return ExportOptions{};
}

void ExportAll(const ScanTable& table, const ExportOptions& options) {
    const ScanAngles angles = ExportAngles(table, options.rawAngles, options.mirrorOffset.value_or(0.0),
                                          options.slowOffset.value_or(0.0));
    try {
        RequireFiniteAngles(angles, "fuzz");
    } catch (const TableError&) {
        return;
    }
    const ExportJob job(table, angles, options.settings, "fuzz", {}, {},
                        options.pose ? PoseInUnit(*options.pose, options.settings.unit) : ScanPose{});
    Require(job.Points().Count() <= table.Rows());
    job.Points().ForEach([](const ScanPoint& p) {
        for (const double value : {p.x, p.y, p.z, p.distance})
            Require(std::fabs(value) <= std::numeric_limits<float>::max());
    });
    for (const ExportFormat* format : ExportFormats()) {
        try {
            format->write(NullDevice(), job);
        } catch (const OutputError&) {
            // A format this build cannot write (pictures without libpng).
        }
    }
    const std::string summary = Summary(table, angles);
    std::size_t lines = 0;
    for (const char c : summary) lines += c == '\n';
    Require(lines == 6 && summary.back() == '\n');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t newline = input.find('\n');
    if (newline == std::string_view::npos) return 0;
    const ExportOptions options = OptionsOf(input.substr(0, newline));
    ScanTable table;
    try {
        table = ParseTable(input.substr(newline + 1), "fuzz");
    } catch (const TableError&) {
        return 0;
    }
    ExportAll(table, options);
    return 0;
}
