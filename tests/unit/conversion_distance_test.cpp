#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <memory>

#include "conversion/distance.hpp"
#include "conversion/lookup_table.hpp"

namespace velscan {
namespace {

constexpr std::uint32_t kAmplitude = 200;
constexpr std::uint32_t kTemperatureByte = 100;
// Amplitude 200 in bits 0..7, temperature 100 in bits 16..23.
constexpr std::uint32_t kLevel = kAmplitude | (kTemperatureByte << 16);
constexpr double kT = 65.5778;

// Four columns at 100..400 inches, reference temperatures 70, 70, 72, 72, and
// row 200 calibrated at 1000..4000.
struct DistanceTable : testing::Test {
    std::unique_ptr<LookupTable> table = std::make_unique<LookupTable>();

    void SetUp() override {
        SetVector(table->columnDistance, {100, 200, 300, 400});
        SetVector(table->columnTemperature, {70, 70, 72, 72});
        SetRow({1000, 2000, 3000, 4000});
    }
    template <std::size_t N>
    static void SetVector(std::array<float, N>& vector, std::initializer_list<float> values) {
        vector = {};
        std::size_t i = 0;
        for (float value : values) vector[i++] = value;
    }
    void SetRow(std::initializer_list<float> values) {
        SetVector(table->rangeTable[kAmplitude], values);
    }
    double Distance(std::uint32_t rawRange, std::int32_t count = 128, double offset = 0.0,
                    std::uint32_t level = kLevel) const {
        return ComputeDistance(*table, rawRange, level, count, offset);
    }
    // With every coefficient 0 only the fixed first term corrects the distance.
    static double WithFixedCorrectionOnly(double d, double Tref) {
        const double dT = (kT - Tref) * 10.0 * 1.3846;
        return d - 2.46875 * dT / 200.0;
    }
};

TEST_F(DistanceTable, WorkedExampleWithEveryCoefficient) {
    SetVector(table->coefficient, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    EXPECT_NEAR(ComputeDistanceCorrection(*table, kT, 149.85, 1, 0.4985), -0.756472247, 1e-9);
    EXPECT_NEAR(Distance(1500, 128, 0.5), 150.606472247, 1e-9);
    EXPECT_DOUBLE_EQ(Distance(1500, 128, 0.5), 150.6064722472251);
}

TEST_F(DistanceTable, WithoutCoefficientsOnlyTheFixedTermCorrects) {
    EXPECT_NEAR(Distance(1500, 128, 0.5), 150.605805112, 1e-9);
    EXPECT_NEAR(ComputeDistanceCorrection(*table, kT, 149.85, 1, 0.4985),
                2.46875 * ((kT - 70.0) * 10.0 * 1.3846) / 200.0, 1e-15);
}

TEST_F(DistanceTable, AveragingCountsSubtractAndScaleToOneHundredTwentyEight) {
    SetVector(table->coefficient, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    const double at1498 = Distance(1500);  // (1500 - 2) * 1
    EXPECT_EQ(Distance(750, 64), at1498);  // (750 - 1) * 2
    EXPECT_EQ(Distance(375, 32), Distance(1498));  // (375 - 1) * 4 = 1496
    EXPECT_EQ(Distance(187, 16, 0.25), at1498);                       // 187.25 * 8
    EXPECT_EQ(Distance(93, 8, 0.625), at1498);                        // 93.625 * 16
    EXPECT_EQ(Distance(46, 4, 0.8125), at1498);                       // 46.8125 * 32
    EXPECT_EQ(Distance(23, 2, 0.40625), at1498);                      // 23.40625 * 64
    EXPECT_EQ(Distance(11, 1, 0.703125), at1498);                     // 11.703125 * 128
    // A count of 0 (or any count outside the table) is taken as 1.
    EXPECT_EQ(Distance(11, 0, 0.703125), at1498);
    EXPECT_EQ(Distance(11, -4, 0.703125), at1498);
}

TEST_F(DistanceTable, TheSearchBracketsAndExtrapolatesWithoutClamping) {
    // e equal to an entry stops there: f = 1.
    EXPECT_NEAR(Distance(2002), WithFixedCorrectionOnly(200.0, 70.0), 1e-12);
    // Below the first entry: columns 0 and 1, f = -0.5.
    EXPECT_NEAR(Distance(502), WithFixedCorrectionOnly(50.0, 70.0), 1e-12);
    // Beyond the last positive entry: the zero at 4 steps back to 3, f = 2.
    EXPECT_NEAR(Distance(5002), WithFixedCorrectionOnly(500.0, 72.0), 1e-12);
    // Between columns 2 and 3, where the reference temperature is interpolated.
    EXPECT_NEAR(Distance(2502), WithFixedCorrectionOnly(250.0, 71.0), 1e-12);
}

TEST_F(DistanceTable, ZeroEntriesBesideTheStopMoveThePairOrGiveZero) {
    SetRow({0, 2000, 3000, 4000});
    EXPECT_NEAR(Distance(1500), WithFixedCorrectionOnly(149.8, 70.0 + 2.0 * -0.502), 1e-12);
    SetRow({1000, 2000, 0, 4000});
    // e = 2500 stops at the zero after 2000 and steps back to columns 0 and 1.
    EXPECT_NEAR(Distance(2502), WithFixedCorrectionOnly(250.0, 70.0), 1e-12);
    SetRow({0, 2000, 0});
    EXPECT_EQ(Distance(1502), 0.0);
    SetRow({0, 0, 3000});
    EXPECT_EQ(Distance(1502), 0.0);
}

TEST_F(DistanceTable, EqualNeighboursGiveTheLowerColumnDistance) {
    SetRow({1000, 1000, 3000});
    EXPECT_NEAR(Distance(902), WithFixedCorrectionOnly(100.0, 70.0), 1e-12);
}

TEST_F(DistanceTable, ARowWithoutPositiveEntryGivesZero) {
    for (std::uint32_t amplitude : {0u, 17u, 255u}) {
        const std::uint32_t level = amplitude | (kTemperatureByte << 16);
        EXPECT_EQ(Distance(1502, 128, 0.0, level), 0.0);
        EXPECT_EQ(Distance(0, 128, 0.0, level), 0.0);
    }
    SetRow({-5, -3, 0});
    EXPECT_EQ(Distance(1502), 0.0);
}

TEST_F(DistanceTable, TheSearchNeverLeavesTheRow) {
    // Row 254 calibrated in all 63 columns; row 255 starts with an entry the
    // search would stop at if it read on into the next row.
    for (int j = 0; j < kLookupColumns; ++j) {
        table->columnDistance[j] = static_cast<float>(10 * (j + 1));
        table->columnTemperature[j] = 70.0f;
        table->rangeTable[254][j] = static_cast<float>(100 * (j + 1));
    }
    table->rangeTable[255][0] = 1.0e9f;
    const std::uint32_t level254 = 254u | (kTemperatureByte << 16);
    // e = 7000 lies beyond column 62 (6300): columns 61 and 62, f = 8.
    EXPECT_NEAR(Distance(7002, 128, 0.0, level254), WithFixedCorrectionOnly(700.0, 70.0), 1e-12);

    // The last row of the table, full, read past its end.
    for (int j = 0; j < kLookupColumns; ++j) table->rangeTable[255][j] = 100.0f * (j + 1);
    const std::uint32_t level255 = 255u | (kTemperatureByte << 16);
    EXPECT_NEAR(Distance(7002, 128, 0.0, level255), WithFixedCorrectionOnly(700.0, 70.0), 1e-12);
}

TEST_F(DistanceTable, OnlyAmplitudeAndTemperatureBytesOfTheLevelWordCount) {
    SetVector(table->coefficient, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    const double plain = Distance(1500, 128, 0.5);
    EXPECT_EQ(Distance(1500, 128, 0.5, kLevel | 0xFF00FF00u), plain);
    // Another temperature byte changes the result.
    EXPECT_NE(Distance(1500, 128, 0.5, kAmplitude | (101u << 16)), plain);
}

TEST(ProgramDistance, ReadsTheProgramWideTable) {
    LookupTable& table = ProgramLookupTable();
    table = LookupTable{};
    table.columnDistance[0] = 100.0f;
    table.columnDistance[1] = 200.0f;
    table.columnTemperature[0] = 70.0f;
    table.columnTemperature[1] = 70.0f;
    table.rangeTable[kAmplitude][0] = 1000.0f;
    table.rangeTable[kAmplitude][1] = 2000.0f;
    EXPECT_NEAR(ComputeDistance(1500, kLevel, 128, 0.5), 150.605805112, 1e-9);
    table = LookupTable{};
    EXPECT_EQ(ComputeDistance(1500, kLevel, 128, 0.5), 0.0);
}

}  // namespace
}  // namespace velscan
