// velscan-export on a full table of 1,000,000 rows (200 lines), synthesised
// in velscan's format with the encoder behaviour of the simulated instrument:
// reading and checking the table, recovering the angles, and the whole export
// to PLY, range picture and amplitude picture.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "conversion/beam_geometry.hpp"
#include "conversion/table_columns.hpp"
#include "export/export_outputs.hpp"
#include "export/ply_writer.hpp"
#include "export/range_picture.hpp"
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

// The program's work from the table file to the three outputs in place.
void BM_ExportFullTableToPlyAndPng(benchmark::State& state) {
    const fs::path directory = TableFile().parent_path();  // written once, outside the timing
    for (auto _ : state) {
        const ScanTable table = ReadTable(TableFile().string());
        const ScanAngles angles = ExportAngles(table, false, 0.0, 0.0);
        ExportOutputs outputs;
        WritePly(outputs.Create((directory / "velscan-export-bench.ply").string()), table, angles,
                 {false, false, "bench"});
        const PanoramaLayout layout = ChoosePanorama(table, angles);
        WritePng(outputs.Create((directory / "velscan-export-bench.png").string()),
                 RangePicture(table, angles, layout));
        WritePng(outputs.Create((directory / "velscan-export-bench-amplitude.png").string()),
                 AmplitudePicture(table, angles, layout));
        outputs.Commit();
    }
    for (const char* name : {"velscan-export-bench.ply", "velscan-export-bench.png", "velscan-export-bench-amplitude.png"})
        fs::remove(directory / name);
}
BENCHMARK(BM_ExportFullTableToPlyAndPng)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
