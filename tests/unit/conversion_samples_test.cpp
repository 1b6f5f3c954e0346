#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "accepting_card_device.hpp"
#include "cardlib/vexa.hpp"
#include "conversion/distance.hpp"
#include "conversion/lookup_table.hpp"
#include "conversion/samples.hpp"

namespace velscan {
namespace {

constexpr std::uint32_t kValidRange = (571u << 13) | 80u;  // t = 143.1 with c = 800: raw 1500

Measurement Sentinel() {
    Measurement m{};
    m.status = 0xABCD;
    m.distance = -1.0;
    m.invalid = -1;
    m.rawRange = 0xDEADBEEFu;
    return m;
}

bool Untouched(const Measurement& m) {
    return m.status == 0xABCD && m.distance == -1.0 && m.invalid == -1 &&
           m.rawRange == 0xDEADBEEFu && m.angle1 == 0.0 && m.temperature == 0.0;
}

struct ConvertOnBoard : testing::Test {
    void SetUp() override {
        VexaInitBoards();
        BoardSlot& slot = BoardTable()[0];
        slot.device = std::make_unique<fakes::AcceptingCardDevice>();
        slot.inUse = 1;
        slot.calibrationValue = 800;
        slot.encoderCounts = {4096, 200};
        slot.averagingCount = 128;
        slot.sampleRateOffset = 0.5;

        // Four calibrated columns; row 200 calibrated at 1000..4000.
        LookupTable& table = ProgramLookupTable();
        table = LookupTable{};
        const float distances[] = {100, 200, 300, 400};
        const float temperatures[] = {70, 70, 72, 72};
        for (int j = 0; j < 4; ++j) {
            table.columnDistance[j] = distances[j];
            table.columnTemperature[j] = temperatures[j];
            table.rangeTable[200][j] = 1000.0f * (j + 1);
        }
        for (int i = 0; i < kCorrectionCoefficients; ++i) table.coefficient[i] = i + 1.0f;
    }
    void TearDown() override {
        BoardTable()[0].calibrationValue = 0;
        VexaInitBoards();
        ProgramLookupTable() = LookupTable{};
    }
};

TEST_F(ConvertOnBoard, WorkedExample) {
    const RawSample sample{0xC821640Cu, 1024, 0, kValidRange};
    Measurement m = Sentinel();
    ASSERT_EQ(VexaConvertSamples(0, &sample, &m, 1), 1);
    EXPECT_EQ(m.status, 12);
    EXPECT_EQ(m.status & kStatusIndex1Bit, kStatusIndex1Bit);
    EXPECT_EQ(m.status & kStatusIndex2Bit, kStatusIndex2Bit);
    EXPECT_EQ(m.amplitude, 200.0);
    EXPECT_EQ(m.auxiliary, 33.0);
    EXPECT_EQ(m.temperature, 65.5778);
    EXPECT_EQ(m.angle1, 1.5707963267948966);
    EXPECT_EQ(m.angle2, 0.0);
    EXPECT_EQ(m.invalid, 0);
    EXPECT_EQ(m.rawRange, 1500u);
    // Amplitude 200 and temperature 100 through the board's count and offset.
    EXPECT_NEAR(m.distance, 150.606472247, 1e-9);
    EXPECT_EQ(m.distance, ComputeDistance(1500, LevelWord(0xC821640Cu), 128, 0.5));
    EXPECT_EQ(LevelWord(0xC821640Cu) & 0x00FFFFFFu, 0x006421C8u);
}

TEST_F(ConvertOnBoard, TheBoardsAveragingCountAndOffsetReachTheDistance) {
    BoardTable()[0].averagingCount = 0;  // taken as 1
    BoardTable()[0].sampleRateOffset = -3.0;
    const RawSample sample{0xC8006400u, 0, 0, kValidRange};
    Measurement m{};
    ASSERT_EQ(VexaConvertSamples(0, &sample, &m, 1), 1);
    EXPECT_EQ(m.distance, ComputeDistance(1500, LevelWord(0xC8006400u), 1, -3.0));
    EXPECT_NE(m.distance, ComputeDistance(1500, LevelWord(0xC8006400u), 128, 0.5));
}

TEST_F(ConvertOnBoard, TemperatureFromItsByte) {
    const RawSample samples[] = {{0x00000000u, 0, 0, 0}, {0x0000FF00u, 0, 0, 0}};
    Measurement m[2]{};
    ASSERT_EQ(VexaConvertSamples(0, samples, m, 2), 1);
    EXPECT_EQ(m[0].temperature, 5.3478);
    EXPECT_NEAR(m[1].temperature, 158.9343, 1e-9);
}

TEST_F(ConvertOnBoard, AnglesCountFromTheOffsetModuloTwoToTheThirtyTwo) {
    BoardTable()[0].encoderOffset = {1000, -5};
    const RawSample samples[] = {
        {0, 1000, static_cast<std::uint32_t>(-5), 0},
        {0, 999, 95, 0},  // one below the offset wraps to 4294967295
    };
    Measurement m[2]{};
    ASSERT_EQ(VexaConvertSamples(0, samples, m, 2), 1);
    EXPECT_EQ(m[0].angle1, 0.0);
    EXPECT_EQ(m[0].angle2, 0.0);
    EXPECT_EQ(m[1].angle1, 6588397.315127161);
    EXPECT_EQ(m[1].angle2, 3.1415926535897936);  // 100 counts of 200
}

TEST_F(ConvertOnBoard, AnInvalidSampleIsConvertedButKeepsItsRawRange) {
    const RawSample sample{0xC821640Cu, 1024, 100, kValidRange | kRangeInvalidBit};
    Measurement m = Sentinel();
    ASSERT_EQ(VexaConvertSamples(0, &sample, &m, 1), 1);
    EXPECT_EQ(m.invalid, 1);
    EXPECT_EQ(m.distance, 0.0);
    EXPECT_EQ(m.rawRange, 0xDEADBEEFu);
    EXPECT_EQ(m.status, 12);
    EXPECT_EQ(m.amplitude, 200.0);
    EXPECT_EQ(m.temperature, 65.5778);
    EXPECT_EQ(m.angle1, 1.5707963267948966);
    EXPECT_EQ(m.angle2, 3.1415926535897936);
}

TEST_F(ConvertOnBoard, StatusBitZeroOnAnySampleGivesTwoAndConvertsTheWholeLine) {
    std::vector<RawSample> line(50, RawSample{0xC8006404u, 1024, 0, kValidRange});
    line.back().statusWord |= kStatusRestartBit;
    std::vector<Measurement> out(line.size(), Sentinel());
    EXPECT_EQ(VexaConvertSamples(0, line.data(), out.data(), 50), 2);
    for (const Measurement& m : out) {
        EXPECT_EQ(m.rawRange, 1500u);
        EXPECT_NEAR(m.distance, 150.606472247, 1e-9);
    }
    EXPECT_EQ(out.front().status, kStatusIndex1Bit);
    EXPECT_EQ(out.back().status, kStatusIndex1Bit | kStatusRestartBit);

    line.back().statusWord = 0xC8006408u;
    EXPECT_EQ(VexaConvertSamples(0, line.data(), out.data(), 50), 1);
    EXPECT_EQ(out.back().status, kStatusIndex2Bit);
}

TEST_F(ConvertOnBoard, ACountOfZeroWritesNothing) {
    const RawSample sample{0x01u, 0, 0, 0};
    Measurement m = Sentinel();
    EXPECT_EQ(VexaConvertSamples(0, &sample, &m, 0), 1);
    EXPECT_EQ(VexaConvertSamples(0, &sample, &m, -3), 1);
    EXPECT_TRUE(Untouched(m));
}

TEST_F(ConvertOnBoard, ABoardThatIsNotOpenWritesNothing) {
    const RawSample sample{0x01u, 0, 0, kValidRange};
    Measurement m = Sentinel();
    EXPECT_EQ(VexaConvertSamples(1, &sample, &m, 1), 0);
    EXPECT_EQ(VexaConvertSamples(5, &sample, &m, 1), 0);
    BoardTable()[0].device.reset();
    EXPECT_EQ(VexaConvertSamples(0, &sample, &m, 1), 0);
    EXPECT_TRUE(Untouched(m));
}

}  // namespace
}  // namespace velscan
