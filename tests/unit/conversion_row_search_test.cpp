#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "accepting_card_device.hpp"
#include "cardlib/vexa.hpp"
#include "conversion/distance.hpp"
#include "conversion/row_search.hpp"

namespace velscan {
namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();

// Rows of every shape the search meets: rising, with zeros inside or in
// front, falling back, repeated, negative, infinite and not-a-number entries.
RangeRow RandomRow(std::mt19937& random) {
    RangeRow row{};
    std::uniform_int_distribution<int> shape(0, 9);
    std::uniform_int_distribution<int> length(0, kLookupColumns);
    std::uniform_real_distribution<float> step(0.0f, 300.0f);
    const int n = length(random);
    float value = std::uniform_real_distribution<float>(-100.0f, 1000.0f)(random);
    for (int j = 0; j < n; ++j) {
        switch (shape(random)) {
        case 0: row[j] = 0.0f; break;
        case 1: row[j] = value - step(random); break;  // falls back
        case 2: row[j] = value; break;                 // repeats
        case 3: row[j] = -step(random); break;
        default: value += step(random); row[j] = value; break;
        }
    }
    if (shape(random) == 0 && n > 0) row[std::uniform_int_distribution<int>(0, n - 1)(random)] = kInf;
    if (shape(random) == 0 && n > 0) {
        row[std::uniform_int_distribution<int>(0, n - 1)(random)] = std::nanf("");
    }
    return row;
}

// Values of e on, just beside and between the row's entries, and the extremes.
std::vector<double> Probes(const RangeRow& row) {
    std::vector<double> probes = {0.0,
                                  -0.0,
                                  -1.0,
                                  1e-46,
                                  1e39,
                                  std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity(),
                                  std::numeric_limits<double>::quiet_NaN()};
    for (float entry : row) {
        const double v = entry;
        probes.push_back(v);
        probes.push_back(std::nextafter(v, 1e300));
        probes.push_back(std::nextafter(v, -1e300));
        probes.push_back(std::nextafter(entry, kInf));
        probes.push_back(v + 0.5);
    }
    return probes;
}

TEST(RowSearch, CountingWithinTheRisingPrefixStopsWhereTheStepwiseSearchStops) {
    std::mt19937 random(20240611);
    for (int trial = 0; trial < 3000; ++trial) {
        const RangeRow row = RandomRow(random);
        const int prefix = RisingPrefix(row);
        for (double e : Probes(row)) {
            ASSERT_EQ(SearchRowWithPrefix(row, e, prefix), SearchRow(row, e))
                << "trial " << trial << " e " << e;
        }
    }
}

TEST(RowSearch, StopsOfTheDocumentedCases) {
    const RangeRow rising{1000, 2000, 3000, 4000};
    EXPECT_EQ(SearchRow(rising, 1498), 1);
    EXPECT_EQ(SearchRow(rising, 2000), 1);
    EXPECT_EQ(SearchRow(rising, 500), 0);
    EXPECT_EQ(SearchRow(rising, 5000), 3);  // the zero at 4 steps back
    EXPECT_EQ(RisingPrefix(rising), 4);
    EXPECT_EQ(SearchRow(RangeRow{0, 2000, 3000}, 1498), 1);
    EXPECT_EQ(SearchRow(RangeRow{}, 1.0), kNoStop);
    EXPECT_EQ(SearchRow(RangeRow{}, 0.0), 0);
    RangeRow negative{};
    negative.fill(-1.0f);
    EXPECT_EQ(SearchRow(negative, -0.5), kLookupColumns);  // position 63 reads 0
    RangeRow full{};
    for (int j = 0; j < kLookupColumns; ++j) full[j] = 100.0f * (j + 1);
    EXPECT_EQ(SearchRow(full, 1e9), kLookupColumns - 1);
    EXPECT_EQ(SearchRowWithPrefix(full, 1e9, RisingPrefix(full)), kLookupColumns - 1);
}

TEST(RowSearch, ALineOfSamplesGetsTheDistancesOfTheSingleSampleComputation) {
    VexaInitBoards();
    BoardSlot& slot = BoardTable()[0];
    slot.device = std::make_unique<fakes::AcceptingCardDevice>();
    slot.inUse = 1;
    slot.calibrationValue = 800;
    slot.averagingCount = 64;
    slot.sampleRateOffset = 0.75;

    std::mt19937 random(7);
    LookupTable& table = ProgramLookupTable();
    for (int j = 0; j < kLookupColumns; ++j) {
        table.columnDistance[j] = 10.0f * j;
        table.columnTemperature[j] = 70.0f;
    }
    for (auto& row : table.rangeTable) row = RandomRow(random);

    std::vector<RawSample> line(4000);
    std::uniform_int_distribution<std::uint32_t> word;
    std::uniform_int_distribution<std::uint32_t> coarse(0, 4000);
    for (RawSample& sample : line) {
        sample = {word(random), 0, 0, (coarse(random) << 13) | (word(random) & 0x1FFu)};
    }
    std::vector<Measurement> out(line.size());
    ASSERT_GE(VexaConvertSamples(0, line.data(), out.data(), static_cast<std::int32_t>(line.size())),
              1);
    int nonzero = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const double expected = ComputeDistance(out[i].rawRange, LevelWord(line[i].statusWord), 64,
                                                0.75);
        if (std::isnan(expected)) {
            EXPECT_TRUE(std::isnan(out[i].distance)) << i;
        } else {
            ASSERT_EQ(out[i].distance, expected) << i;
        }
        if (out[i].distance != 0.0) ++nonzero;
    }
    EXPECT_GT(nonzero, 1000);

    ProgramLookupTable() = LookupTable{};
    BoardTable()[0].calibrationValue = 0;
    VexaInitBoards();
}

}  // namespace
}  // namespace velscan
