#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "conversion/averaging_count.hpp"

namespace velscan {
namespace {

TEST(AveragingCount, StepsAtTheDocumentedPeriodsForTheDefaultRange) {
    const struct {
        std::int32_t period;
        std::int32_t count;
    } steps[] = {{20, 1},    {34, 1},     {35, 2},    {69, 2},    {70, 4},      {169, 4},
                 {170, 8},   {309, 8},    {310, 16},  {588, 16},  {589, 32},    {1146, 32},
                 {1147, 64}, {2263, 64},  {2264, 128}, {9999999, 128}};
    for (const auto& step : steps) {
        EXPECT_EQ(ComputeAveragingCount(step.period, 650), step.count) << step.period;
    }
}

TEST(AveragingCount, ShortPeriodsGiveZeroAndTheSubtractionStartsAtOneHundred) {
    EXPECT_EQ(ComputeAveragingCount(26, 1000), 0);
    EXPECT_EQ(ComputeAveragingCount(27, 1000), 1);
    EXPECT_EQ(ComputeAveragingCount(99, 2), 64);
    EXPECT_EQ(ComputeAveragingCount(100, 2), 32);
    EXPECT_EQ(ComputeAveragingCount(0, 650), 0);
    EXPECT_EQ(ComputeAveragingCount(-500, 650), 0);
}

TEST(AveragingCount, ADivisorOfZeroOrBelowGivesZero) {
    EXPECT_EQ(ComputeAveragingCount(20, -48), 0);
    EXPECT_EQ(ComputeAveragingCount(20, -49), 0);
    EXPECT_EQ(ComputeAveragingCount(20, std::numeric_limits<std::int32_t>::min()), 0);
    // range + 48 wraps to a negative divisor.
    EXPECT_EQ(ComputeAveragingCount(20, std::numeric_limits<std::int32_t>::max()), 0);
    EXPECT_EQ(ComputeAveragingCount(20, -47), 128);
}

TEST(AveragingCount, TheProductWrapsInThirtyTwoBits) {
    // (60000030 - 30) * 40 = 2400000000 wraps to -1894967296: no count.
    EXPECT_EQ(ComputeAveragingCount(60000030, 650), 0);
    // 107374212 - 30 = 107374182; * 40 = 4294967280 wraps to -16.
    EXPECT_EQ(ComputeAveragingCount(107374212, 0), 0);
    // 107374213 - 30 = 107374183; * 40 wraps to 24, / 48 = 0.
    EXPECT_EQ(ComputeAveragingCount(107374213, 0), 0);
    // 107374237 - 30 = 107374207; * 40 wraps to 984, / 48 = 20: count 16.
    EXPECT_EQ(ComputeAveragingCount(107374237, 0), 16);
}

}  // namespace
}  // namespace velscan
