// velscan-export on a full table of 1,000,000 rows (200 lines), synthesised
// in velscan's format with the encoder behaviour of the simulated instrument:
// reading and checking the table, recovering the angles, and the whole export
// to each output on its own and to every output together, and the viewer's
// page size.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "conversion/beam_geometry.hpp"
#include "conversion/table_columns.hpp"
#include "export/export_format.hpp"
#include "export/write_outputs.hpp"
#include "export/scan_angles.hpp"
#include "export/scan_table.hpp"

namespace {

using namespace velscan::exporter;
namespace fs = std::filesystem;

std::string FullTable() {
    std::string text = velscan::kTableHeader;
    char row[160];
    for (std::size_t i = 0; i < kMaxRows; ++i) {
        const auto count1 = static_cast<std::uint32_t>(std::floor(95232.3 + 1.6384 * static_cast<double>(i)));
        const auto count2 = static_cast<std::uint32_t>(std::floor(92.6 + 0.0001 * static_cast<double>(i)));
        const double mirror = count1 * (velscan::kFullTurn / velscan::kMirrorEncoderCountsPerTurn);
        const double distance = 60.0 + 390.0 * std::fabs(std::sin(mirror));
        const int length = std::snprintf(row, sizeof row, "\n%.2f\t%u\t%.1f\t%.1f\t%.4f\t%.4f\t%d\t%d\t",
                                         distance, static_cast<unsigned>(distance * 7.2), 80.0 + (i % 97),
                                         69.8, mirror, count2 * (velscan::kFullTurn / velscan::kSlowAxisEncoderCountsPerTurn), 0, 0);
        text.append(row, static_cast<std::size_t>(length));
    }
    return text;
}

const std::string& Table() {
    static const std::string text = FullTable();
    return text;
}

const fs::path& TableFile() {
    static const fs::path path = [] {
        const fs::path file = fs::temp_directory_path() / "velscan-export-bench.txt";
        std::FILE* out = std::fopen(file.string().c_str(), "wb");
        std::fwrite(Table().data(), 1, Table().size(), out);
        std::fclose(out);
        return file;
    }();
    return path;
}

void BM_ParseFullTable(benchmark::State& state) {
    Table();  // made once, outside the timing
    for (auto _ : state) benchmark::DoNotOptimize(ParseTable(Table(), "bench").Rows());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Table().size()));
}
BENCHMARK(BM_ParseFullTable)->Unit(benchmark::kMillisecond);

void BM_RecoverAnglesFullTable(benchmark::State& state) {
    const ScanTable table = ParseTable(Table(), "bench");
    for (auto _ : state) benchmark::DoNotOptimize(ExportAngles(table, false, 0.0, 0.0).runs);
}
BENCHMARK(BM_RecoverAnglesFullTable)->Unit(benchmark::kMillisecond);

// The program's work from the table file to the given outputs in place:
// reading the table, recovering its angles and writing every output.
void ExportFullTable(benchmark::State& state, const std::vector<std::pair<const char*, const char*>>& wanted) {
    const fs::path directory = TableFile().parent_path();  // written once, outside the timing
    std::vector<RequestedOutput> outputs;
    for (const auto& [option, name] : wanted) outputs.push_back({FormatOfOption(option), (directory / name).string()});
    for (auto _ : state) {
        std::string sha256;
        const ScanTable table = ReadTable(TableFile().string(), &sha256);
        const ScanAngles angles = ExportAngles(table, false, 0.0, 0.0);
        const ExportJob job(table, angles, {}, "bench", {}, {}, {}, WarnOnStandardError, {}, TableRecord{sha256, {}, {}});
        WriteOutputs(outputs, job);
    }
    for (const RequestedOutput& output : outputs) fs::remove(output.path);
}

// Each output on its own (goal: at most 1 s each).
void BM_ExportFullTableToPly(benchmark::State& state) {
    ExportFullTable(state, {{"--ply", "velscan-export-bench.ply"}});
}
BENCHMARK(BM_ExportFullTableToPly)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ExportFullTableToRangePng(benchmark::State& state) {
    ExportFullTable(state, {{"--png", "velscan-export-bench.png"}});
}
BENCHMARK(BM_ExportFullTableToRangePng)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ExportFullTableToAmplitudePng(benchmark::State& state) {
    ExportFullTable(state, {{"--amplitude-png", "velscan-export-bench-amplitude.png"}});
}
BENCHMARK(BM_ExportFullTableToAmplitudePng)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ExportFullTableToPtx(benchmark::State& state) {
    ExportFullTable(state, {{"--ptx", "velscan-export-bench.ptx"}});
}
BENCHMARK(BM_ExportFullTableToPtx)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ExportFullTableToPcd(benchmark::State& state) {
    ExportFullTable(state, {{"--pcd", "velscan-export-bench.pcd"}});
}
BENCHMARK(BM_ExportFullTableToPcd)->Unit(benchmark::kMillisecond)->UseRealTime();

// (goal: at most 0.6 s)
void BM_ExportFullTableToE57(benchmark::State& state) {
    ExportFullTable(state, {{"--e57", "velscan-export-bench.e57"}});
}
BENCHMARK(BM_ExportFullTableToE57)->Unit(benchmark::kMillisecond)->UseRealTime();

// (goal: at most 0.4 s)
void BM_ExportFullTableToNpz(benchmark::State& state) {
    ExportFullTable(state, {{"--npz", "velscan-export-bench.npz"}});
}
BENCHMARK(BM_ExportFullTableToNpz)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ExportFullTableToHtml(benchmark::State& state) {
    ExportFullTable(state, {{"--html", "velscan-export-bench.html"}});
}
BENCHMARK(BM_ExportFullTableToHtml)->Unit(benchmark::kMillisecond)->UseRealTime();

// Every output of one run together (goal: at most 1.5 s).
void BM_ExportFullTableToEveryOutput(benchmark::State& state) {
    ExportFullTable(state, {{"--ply", "velscan-export-bench.ply"},
                            {"--png", "velscan-export-bench.png"},
                            {"--amplitude-png", "velscan-export-bench-amplitude.png"},
                            {"--ptx", "velscan-export-bench.ptx"},
                            {"--pcd", "velscan-export-bench.pcd"},
                            {"--e57", "velscan-export-bench.e57"},
                            {"--npz", "velscan-export-bench.npz"},
                            {"--html", "velscan-export-bench.html"}});
}
BENCHMARK(BM_ExportFullTableToEveryOutput)->Unit(benchmark::kMillisecond)->UseRealTime();

// The HTML viewer of the full table on its own, from the table read and its
// angles recovered to the page in place; the page's size is reported too.
void BM_WriteViewerOfFullTable(benchmark::State& state) {
    const fs::path page = TableFile().parent_path() / "velscan-export-bench.html";
    const ScanTable table = ReadTable(TableFile().string());
    const ScanAngles angles = ExportAngles(table, false, 0.0, 0.0);
    const ExportJob job(table, angles, {}, "bench");
    const std::vector<RequestedOutput> outputs{{FormatOfOption("--html"), page.string()}};
    for (auto _ : state) WriteOutputs(outputs, job);
    state.counters["page_MB"] = static_cast<double>(fs::file_size(page)) / 1e6;
    state.counters["points"] = static_cast<double>(job.Points().Count());
    fs::remove(page);
}
BENCHMARK(BM_WriteViewerOfFullTable)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
