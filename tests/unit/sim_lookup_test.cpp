#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "conversion/lookup_table.hpp"
#include "conversion/range_interpolation.hpp"
#include "sim/synthetic_lookup.hpp"
#include "sim_support.hpp"

namespace velscan {
namespace {

TEST(SimSyntheticLookup, TheCommittedExampleIsTheGeneratorsOutput) {
    std::ifstream file(simtest::ExampleLookupPath(), std::ios::binary);
    ASSERT_TRUE(file) << simtest::ExampleLookupPath();
    std::ostringstream text;
    text << file.rdbuf();
    EXPECT_TRUE(text.str() == sim::SyntheticLookupText())
        << "examples/LOOKUPHS differs from velscan_make_lookup's output: regenerate it";
}

TEST(SimSyntheticLookup, TheProgramsLoaderReadsAPlausibleCalibration) {
    LookupTable table;
    double offset = 99.0;
    ASSERT_EQ(LoadLookupFile(simtest::ExampleLookupPath().string(), table, offset, nullptr), 1);
    EXPECT_EQ(offset, sim::kSyntheticSampleRateOffset);
    EXPECT_LE(std::fabs(offset), kMaxSampleRateOffset);

    // 63 columns from 0 to beyond 650 inches, rising.
    EXPECT_EQ(table.columnDistance[0], 0.0f);
    EXPECT_EQ(table.columnDistance[62], 666.5f);
    for (int j = 1; j < kLookupColumns; ++j) {
        EXPECT_GT(table.columnDistance[j], table.columnDistance[j - 1]);
    }
    for (float temperature : table.columnTemperature) {
        EXPECT_GT(temperature, 69.0f);
        EXPECT_LT(temperature, 71.0f);
    }
    for (float coefficient : table.coefficient) EXPECT_LT(std::fabs(coefficient), 2.0f);

    for (int a = 0; a < kLookupRows; ++a) {
        EXPECT_GT(table.rangeTable[a][0], 0.0f);
        for (int j = 1; j < kLookupColumns; ++j) {
            ASSERT_GT(table.rangeTable[a][j], table.rangeTable[a][j - 1]) << a << " " << j;
        }
        // Weaker echoes trigger later: the walk error falls as the amplitude rises.
        if (a > 0) {
            EXPECT_LE(table.rangeTable[a][30], table.rangeTable[a - 1][30]);
        }
    }
    EXPECT_GT(table.rangeTable[0][30], table.rangeTable[255][30] + 2000.0f);
    // Coarse counts of the largest raw range (averaging count 128) fit 18 bits.
    const double largestTime = (table.rangeTable[0][62] + 2.0) / kRawRangeScale;
    EXPECT_LT(4.0 * largestTime + 8.0, 262143.0);
}

}  // namespace
}  // namespace velscan
