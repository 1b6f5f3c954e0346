#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "cardlib_fixture.hpp"

namespace velscan {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using cardtest::CardFixture;
using cardtest::TableEvents;
using Bytes = std::vector<std::uint8_t>;

using DeviceControlsTest = CardFixture;

TEST_F(DeviceControlsTest, RegisterTablesAreWrittenInOrderWithAPauseAfterEachWrite) {
    fakes::ScriptedCardDevice device(card, clock.get());
    EXPECT_EQ(WriteRegisterSequence(device, 1), 1);
    EXPECT_THAT(Events(), ElementsAreArray(TableEvents({
                              "write 0036=00A0", "write 0036=0007", "write 0020=0090",
                              "write 0022=004D", "write 0024=0067", "write 0028=0000",
                              "write 002C=0002", "write 002E=0002", "write 0030=0000",
                              "write 0032=0000", "write 0034=0080"})));
    // The wire record: register, then value, both little-endian.
    EXPECT_EQ(card->calls[0].input, (Bytes{0x36, 0x00, 0xA0, 0x00}));
    EXPECT_EQ(card->calls[0].outputSize, 0u);

    Forget();
    EXPECT_EQ(WriteRegisterSequence(device, 2), 1);
    EXPECT_THAT(Events(), ElementsAreArray(TableEvents({
                              "write 0036=00A0", "write 0036=0007", "write 0020=0010",
                              "write 0022=004D", "write 0024=0021", "write 0028=0000",
                              "write 002C=0002", "write 002E=0002", "write 0030=0000",
                              "write 0032=0000", "write 0034=0080"})));
    EXPECT_EQ(clock->TotalPausedMs(), 550u);
}

TEST_F(DeviceControlsTest, RegisterTableStopsAtTheFirstRefusedWriteWithoutAPause) {
    fakes::ScriptedCardDevice device(card, clock.get());
    card->FailFrom(kControlRegisterWrite, 4);
    EXPECT_EQ(WriteRegisterSequence(device, 2), 0);
    EXPECT_EQ(card->CountOf(kControlRegisterWrite), 4u);
    EXPECT_THAT(clock->pauses, ElementsAre(50u, 50u, 50u));
    EXPECT_EQ(Events().back(), "write 0022=004D");
}

TEST_F(DeviceControlsTest, UnknownRegisterTableModesIssueNothing) {
    fakes::ScriptedCardDevice device(card, clock.get());
    for (int mode : {0, 3, -1}) EXPECT_EQ(WriteRegisterSequence(device, mode), 0) << mode;
    EXPECT_TRUE(card->calls.empty());
    EXPECT_TRUE(clock->pauses.empty());
}

TEST_F(DeviceControlsTest, MotorRegisterCarriesMotorTwoInTheHighByte) {
    fakes::ScriptedCardDevice device(card, clock.get());
    EXPECT_EQ(WriteMotorRegister(device, 0x12, 0x34), 1);
    EXPECT_EQ(WriteMotorRegister(device, 255, 255), 1);
    EXPECT_EQ(WriteMotorRegister(device, 0x1FF, 0x100), 1);  // only the low bytes count
    ASSERT_EQ(card->calls.size(), 3u);
    EXPECT_EQ(card->calls[0].code, kControlRegisterWrite);
    EXPECT_EQ(card->calls[0].input, (Bytes{0x03, 0x00, 0x12, 0x34}));
    EXPECT_EQ(card->calls[1].input, (Bytes{0x03, 0x00, 0xFF, 0xFF}));
    EXPECT_EQ(card->calls[2].input, (Bytes{0x03, 0x00, 0xFF, 0x00}));
    EXPECT_TRUE(clock->pauses.empty());

    card->FailAlways(kControlRegisterWrite);
    EXPECT_EQ(WriteMotorRegister(device, 1, 1), 0);
}

TEST_F(DeviceControlsTest, PlainControlsSendNoBuffersAndWordControlsSendTwoBytes) {
    const std::uint32_t board = OpenBoard();
    EXPECT_EQ(VexaClearSampleBuffer(board), 1);
    EXPECT_EQ(VexaSetSwitch(board, 5), 1);
    EXPECT_EQ(VexaSetSwitch(board, 0), 1);
    EXPECT_EQ(IssueSetupWord(*BoardTable()[board].device), true);
    EXPECT_THAT(Events(), ElementsAre("clear", "switch 1", "switch 0", "setup"));
    EXPECT_TRUE(card->calls[0].input.empty());
    EXPECT_EQ(card->calls[0].outputSize, 0u);
    EXPECT_EQ(card->calls[1].input, (Bytes{0x01, 0x00}));
    EXPECT_EQ(card->calls[3].input, (Bytes{0x20, 0x00}));

    card->FailAlways(kControlClearSampleBuffer);
    card->FailAlways(kControlSwitch);
    EXPECT_EQ(VexaClearSampleBuffer(board), 0);
    EXPECT_EQ(VexaSetSwitch(board, 1), 0);
}

TEST_F(DeviceControlsTest, EncoderWordCarriesTheMaskPlusFourWithoutTheClearFlag) {
    const std::uint32_t board = OpenBoard();
    EXPECT_EQ(VexaClearEncoder(board, 2, 0), 1);
    EXPECT_EQ(VexaClearEncoder(board, 3, 1), 1);
    EXPECT_EQ(VexaClearEncoder(board, 1, -7), 1);
    ASSERT_EQ(card->calls.size(), 3u);
    EXPECT_EQ(card->calls[0].code, kControlEncoder);
    EXPECT_EQ(card->calls[0].input, (Bytes{6, 0, 0, 0}));
    EXPECT_EQ(card->calls[1].input, (Bytes{3, 0, 0, 0}));
    EXPECT_EQ(card->calls[2].input, (Bytes{1, 0, 0, 0}));

    Forget();
    EXPECT_EQ(VexaClearEncoder(board, 0, 1), 0);
    EXPECT_EQ(VexaClearEncoder(board, 4, 1), 0);
    EXPECT_EQ(VexaClearEncoder(board, static_cast<std::uint32_t>(-1), 1), 0);
    EXPECT_TRUE(card->calls.empty());

    card->FailAlways(kControlEncoder);
    EXPECT_EQ(VexaClearEncoder(board, 3, 1), 0);
}

TEST_F(DeviceControlsTest, BlockReadCountsWholeRecordsAndKeepsTheFillPattern) {
    fakes::ScriptedCardDevice device(card, clock.get());

    card->DeliverEmpty();
    std::array<RawSample, 3> empty{};
    EXPECT_EQ(ReadSampleBlock(device, empty), 0);
    RawSample pattern;
    std::memset(&pattern, 0xA5, sizeof pattern);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(std::memcmp(&empty[i], &pattern, sizeof pattern), 0) << i;
    EXPECT_EQ(card->calls[0].code, kControlBlockRead);
    EXPECT_TRUE(card->calls[0].input.empty());
    EXPECT_EQ(card->calls[0].outputSize, 48u);

    // 40 bytes: two whole records and half of a third.
    card->DeliverBytes({fakes::NumberedSample(1), fakes::NumberedSample(2),
                        fakes::NumberedSample(3)},
                       40);
    std::array<RawSample, 5> partial{};
    EXPECT_EQ(ReadSampleBlock(device, partial), 2);
    EXPECT_EQ(partial[1].rangeWord, 2u);

    // A driver claiming more than the buffer holds never yields more than asked.
    card->DeliverBytes({fakes::NumberedSample(1)}, 16 * 100);
    std::array<RawSample, 4> claimed{};
    EXPECT_EQ(ReadSampleBlock(device, claimed), 4);
}

TEST_F(DeviceControlsTest, BlockReadFailsOnARefusedControlOrAnImpossibleSize) {
    fakes::ScriptedCardDevice device(card, clock.get());
    card->DeliverCount(2);
    card->FailAlways(kControlBlockRead);
    std::array<RawSample, 2> two{};
    EXPECT_EQ(ReadSampleBlock(device, two), -1);
    EXPECT_EQ(card->CountOf(kControlBlockRead), 1u);

    card->failFrom.clear();
    EXPECT_EQ(ReadSampleBlock(device, std::span<RawSample>()), -1);
    EXPECT_EQ(card->CountOf(kControlBlockRead), 1u);
}

TEST_F(DeviceControlsTest, StatusOverflowComesFromTheFifthWordOnly) {
    const std::uint32_t board = OpenBoard();
    std::int32_t overflow = -1;
    card->status = {0, 0, 0, 0, 0x80000000u, 0, 0};
    EXPECT_EQ(VexaGetStatus(board, overflow), 1);
    EXPECT_EQ(overflow, 1);

    card->status = {0xFFFFFFFFu, 1, 2, 3, 0, 5, 6};
    EXPECT_EQ(VexaGetStatus(board, overflow), 1);
    EXPECT_EQ(overflow, 0);

    // One zero-filled 28-byte buffer goes both ways.
    for (const fakes::CardControlCall& call : card->calls) {
        EXPECT_EQ(call.code, kControlStatus);
        EXPECT_EQ(call.input, Bytes(28, 0));
        EXPECT_EQ(call.outputSize, 28u);
        EXPECT_TRUE(call.inputIsOutput);
    }

    card->FailAlways(kControlStatus);
    overflow = 9;
    EXPECT_EQ(VexaGetStatus(board, overflow), 0);
    EXPECT_EQ(overflow, 9);
}

}  // namespace
}  // namespace velscan
