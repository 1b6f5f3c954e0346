#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cardlib_fixture.hpp"

namespace velscan {
namespace {

using ::testing::ElementsAre;
using cardtest::CardFixture;
using Bytes = std::vector<std::uint8_t>;

using ConfigurationTest = CardFixture;

TEST_F(ConfigurationTest, SetEncoderStoresCountsAndOffsetOfOneEncoderAndSendsNothing) {
    const std::uint32_t board = OpenBoard();
    EXPECT_EQ(VexaSetEncoder(board, 2, -10, 200), 1);
    EXPECT_EQ(VexaSetEncoder(board, 1, 0, 4096), 1);
    const BoardSlot& slot = BoardTable()[board];
    EXPECT_EQ(slot.encoderCounts, (std::array<std::uint32_t, 2>{4096, 200}));
    EXPECT_EQ(slot.encoderOffset, (std::array<std::int32_t, 2>{0, -10}));

    EXPECT_EQ(VexaSetEncoder(board, 3, 0, 100), 0);
    EXPECT_EQ(VexaSetEncoder(board, 0, 0, 100), 0);
    EXPECT_EQ(VexaSetEncoder(board, 1, 5, 0), 0);
    EXPECT_EQ(slot.encoderCounts, (std::array<std::uint32_t, 2>{4096, 200}));
    EXPECT_EQ(slot.encoderOffset, (std::array<std::int32_t, 2>{0, -10}));
    EXPECT_TRUE(card->calls.empty());
}

TEST_F(ConfigurationTest, MotorPowerWritesBothStoredLevelsInOneRegister) {
    const std::uint32_t board = OpenBoard();
    EXPECT_EQ(VexaSetMotorPower(board, 1, 255), 1);
    EXPECT_EQ(VexaSetMotorPower(board, 2, 128), 1);
    EXPECT_EQ(VexaSetMotorPower(board, 1, 0), 1);
    ASSERT_EQ(card->calls.size(), 3u);
    EXPECT_EQ(card->calls[0].input, (Bytes{0x03, 0x00, 0xFF, 0x00}));
    EXPECT_EQ(card->calls[1].input, (Bytes{0x03, 0x00, 0xFF, 0x80}));  // 0x80FF
    EXPECT_EQ(card->calls[2].input, (Bytes{0x03, 0x00, 0x00, 0x80}));
    EXPECT_TRUE(clock->pauses.empty());
}

TEST_F(ConfigurationTest, MotorPowerRefusesBadArgumentsBeforeTheBoardCheckAndKeepsAFailedLevel) {
    const std::uint32_t board = OpenBoard();
    EXPECT_EQ(VexaSetMotorPower(board, 1, 256), 0);
    EXPECT_EQ(VexaSetMotorPower(board, 0, 10), 0);
    EXPECT_EQ(VexaSetMotorPower(board, 3, 10), 0);
    EXPECT_EQ(VexaSetMotorPower(9, 1, 10), 0);
    EXPECT_TRUE(card->calls.empty());
    EXPECT_EQ(BoardTable()[board].motorPower, (std::array<std::uint8_t, 2>{0, 0}));

    card->FailAlways(kControlRegisterWrite);
    EXPECT_EQ(VexaSetMotorPower(board, 2, 77), 0);
    EXPECT_EQ(BoardTable()[board].motorPower, (std::array<std::uint8_t, 2>{0, 77}));
}

}  // namespace
}  // namespace velscan
