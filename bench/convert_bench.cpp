// Conversion of one buffer line of 5000 samples against a full 63-column
// lookup table. Reports the time per sample (per_sample). The spread line
// covers every amplitude and the whole calibrated range; the other puts every
// sample just below the last entry of its row, the longest search.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "cardlib/vexa.hpp"
#include "conversion/lookup_table.hpp"
#include "conversion/range_interpolation.hpp"
#include "conversion/samples.hpp"

namespace {

using namespace velscan;

class IdleCard : public platform::CardDevice {
public:
    platform::ControlResult Control(std::uint32_t, std::span<const std::byte>,
                                    std::span<std::byte>) override {
        return {true, 0};
    }
};

constexpr std::int32_t kCalibration = 800;

// Every row calibrated in all 63 columns, rising from 500 + a by 150 per column.
float Entry(int amplitude, int column) { return 500.0f + amplitude + 150.0f * column; }

void PrepareBoardAndTable() {
    VexaInitBoards();
    BoardSlot& slot = BoardTable()[0];
    slot.device = std::make_unique<IdleCard>();
    slot.inUse = 1;
    slot.calibrationValue = kCalibration;
    slot.encoderCounts = {4096, 200};
    slot.averagingCount = 128;
    slot.sampleRateOffset = 0.5;

    LookupTable& table = ProgramLookupTable();
    for (int j = 0; j < kLookupColumns; ++j) {
        table.columnDistance[j] = 10.0f * (j + 1);
        table.columnTemperature[j] = 70.0f + 0.05f * j;
    }
    for (int i = 0; i < kCorrectionCoefficients; ++i) table.coefficient[i] = 0.5f * (i + 1);
    for (int a = 0; a < kLookupRows; ++a) {
        for (int j = 0; j < kLookupColumns; ++j) table.rangeTable[a][j] = Entry(a, j);
    }
}

// A range word whose raw range is close to `rawRange` (fine value 0: band 1).
std::uint32_t RangeWordFor(double rawRange) {
    const auto coarse = static_cast<std::uint32_t>(rawRange / kRawRangeScale * 4.0);
    return (coarse & 0x3FFFFu) << 13;
}

std::vector<RawSample> MakeLine(bool nearRowEnd) {
    std::mt19937 random(12345);
    std::uniform_int_distribution<std::uint32_t> byte(0, 255);
    std::vector<RawSample> line(kSamplesPerLine);
    for (std::size_t i = 0; i < line.size(); ++i) {
        const std::uint32_t amplitude = static_cast<std::uint32_t>(i % 256);
        const std::uint32_t temperature = byte(random);
        const double first = Entry(static_cast<int>(amplitude), 0);
        const double last = Entry(static_cast<int>(amplitude), kLookupColumns - 1);
        const double raw = nearRowEnd
                               ? last - 20.0
                               : std::uniform_real_distribution<double>(first - 200, last + 200)(random);
        line[i].statusWord = (amplitude << 24) | (byte(random) << 16) | (temperature << 8) |
                             (i % 97 == 0 ? 0x04u : 0x00u);
        line[i].encoder1Count = static_cast<std::uint32_t>(i * 3);
        line[i].encoder2Count = static_cast<std::uint32_t>(i / 25);
        line[i].rangeWord = RangeWordFor(raw);
    }
    return line;
}

void ConvertLine(benchmark::State& state, bool nearRowEnd) {
    PrepareBoardAndTable();
    const std::vector<RawSample> line = MakeLine(nearRowEnd);
    std::vector<Measurement> measurements(line.size());
    VexaConvertSamples(0, line.data(), measurements.data(), static_cast<std::int32_t>(line.size()));
    std::size_t withDistance = 0;
    for (const Measurement& m : measurements) withDistance += m.distance > 0.0 ? 1 : 0;
    if (withDistance < line.size() * 9 / 10) {
        state.SkipWithError("the line does not reach the distance computation");
        return;
    }
    for (auto _ : state) {
        const int result = VexaConvertSamples(0, line.data(), measurements.data(),
                                              static_cast<std::int32_t>(line.size()));
        benchmark::DoNotOptimize(result);
        benchmark::ClobberMemory();
    }
    const auto samples = static_cast<std::int64_t>(line.size());
    state.SetItemsProcessed(state.iterations() * samples);
    // Seconds per sample, shown with its SI prefix (for example "35.3ns").
    state.counters["per_sample"] = benchmark::Counter(
        static_cast<double>(samples),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_ConvertLineSpread(benchmark::State& state) { ConvertLine(state, false); }
void BM_ConvertLineNearRowEnd(benchmark::State& state) { ConvertLine(state, true); }

BENCHMARK(BM_ConvertLineSpread);
BENCHMARK(BM_ConvertLineNearRowEnd);

}  // namespace
