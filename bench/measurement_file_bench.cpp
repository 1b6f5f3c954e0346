// Writing a full run's table: 1,000,000 rows through the table writer, and the
// same rows with one fprintf per field as the baseline.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "acquisition/measurement_file.hpp"

namespace {

using velscan::Measurement;

// Rows as a run produces them: distances up to the 650 inch range, raw ranges,
// amplitude and temperature bytes, encoder 1 over many revolutions and encoder 2
// within one, occasional index flags and invalid samples.
const std::vector<Measurement>& RealisticRows() {
    static const std::vector<Measurement> rows = [] {
        std::vector<Measurement> made(velscan::kMeasurementCapacity);
        std::mt19937_64 random(2024);
        std::uniform_real_distribution<double> distance(0.0, 650.0);
        const double factor1 = 6.283185307179586 / 4096;
        const double factor2 = 6.283185307179586 / 200;
        for (std::size_t i = 0; i < made.size(); ++i) {
            Measurement& m = made[i];
            const bool invalid = random() % 50 == 0;
            m.distance = invalid ? 0.0 : distance(random);
            m.rawRange = invalid ? 0u : static_cast<std::uint32_t>(random() % 60000);
            m.amplitude = static_cast<double>(random() % 256);
            m.temperature =
                velscan::TemperatureFromByte(80 + static_cast<std::uint32_t>(random() % 20));
            m.angle1 = static_cast<double>(i * 7 % 5000000) * factor1;  // up to ~7700 rad
            m.angle2 = static_cast<double>(random() % 200) * factor2;
            m.status = static_cast<std::uint16_t>(random() % 16);
            m.invalid = invalid ? 1 : 0;
        }
        return made;
    }();
    return rows;
}

std::string TemporaryPath(const char* name) {
    return (std::filesystem::temp_directory_path() /
            (std::string("velscan-bench-") + name + "-" + std::to_string(std::random_device{}()) +
             ".txt"))
        .string();
}

void TableWriter(benchmark::State& state) {
    const std::vector<Measurement>& rows = RealisticRows();
    const std::string path = TemporaryPath("writer");
    for (auto _ : state) {
        const auto result =
            velscan::WriteMeasurementRows(200, rows, velscan::OutputStream::OpenForWriting(path));
        if (result != velscan::WriteResult::Written) state.SkipWithError("write failed");
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(rows.size()));
    std::filesystem::remove(path);
}

void FprintfPerField(benchmark::State& state) {
    const std::vector<Measurement>& rows = RealisticRows();
    const std::string path = TemporaryPath("fprintf");
    for (auto _ : state) {
        std::FILE* file = std::fopen(path.c_str(), "w");
        if (file == nullptr) {
            state.SkipWithError("open failed");
            break;
        }
        std::fputs(
            "Distance(inches)\tRaw Range(bits)\tAmplitude\tTemp(F)\tAngle1(radins)\t"
            "Angle2(radins\tIndex1\tIndex2\t",
            file);
        for (const Measurement& m : rows) {
            std::fputs("\n", file);
            std::fprintf(file, "%.2f\t", m.distance);
            std::fprintf(file, "%.0f\t", static_cast<double>(m.rawRange));
            std::fprintf(file, "%.1f\t", m.amplitude);
            std::fprintf(file, "%.1f\t", m.temperature);
            std::fprintf(file, "%.4f\t", m.angle1);
            std::fprintf(file, "%.4f\t", m.angle2);
            std::fprintf(file, "%d\t", (m.status >> 2) & 1);
            std::fprintf(file, "%d\t", (m.status >> 3) & 1);
        }
        std::fclose(file);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(rows.size()));
    std::filesystem::remove(path);
}

BENCHMARK(TableWriter)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(FprintfPerField)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace
