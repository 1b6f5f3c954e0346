#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <utility>

#include "cardlib_fixture.hpp"

namespace velscan {
namespace {

using ::testing::ElementsAre;
using cardtest::CardFixture;

using BoardTableTest = CardFixture;

// Every operation that names a board, called on `board` with harmless arguments.
std::vector<std::pair<const char*, std::function<int(std::uint32_t)>>> BoardOperations() {
    static RawSample line[4];
    return {
        {"VexaResetBoard", [](std::uint32_t b) { return VexaResetBoard(b); }},
        {"VexaClose", [](std::uint32_t b) { return VexaClose(b); }},
        {"VexaClearSampleBuffer", [](std::uint32_t b) { return VexaClearSampleBuffer(b); }},
        {"VexaClearEncoder", [](std::uint32_t b) { return VexaClearEncoder(b, 3, 1); }},
        {"VexaGetStatus", [](std::uint32_t b) { std::int32_t f = 7; return VexaGetStatus(b, f); }},
        {"VexaSetSwitch", [](std::uint32_t b) { return VexaSetSwitch(b, 1); }},
        {"VexaCalibrate", [](std::uint32_t b) { return VexaCalibrate(b); }},
        {"VexaSamplingModeInit", [](std::uint32_t b) { return VexaSamplingModeInit(b); }},
        {"VexaSetEncoder", [](std::uint32_t b) { return VexaSetEncoder(b, 1, 5, 4096); }},
        {"VexaLoadLookupFile", [](std::uint32_t b) { return VexaLoadLookupFile(b, "LOOKUPHS"); }},
        {"VexaSetSampleAndRange", [](std::uint32_t b) {
             static SerialLink link;
             return VexaSetSampleAndRange(b, &link, 650, 20);
         }},
        {"VexaSetMotorPower", [](std::uint32_t b) { return VexaSetMotorPower(b, 1, 255); }},
        {"VexaSamplingEnable", [](std::uint32_t b) { return VexaSamplingEnable(b); }},
        {"VexaReadSamples", [](std::uint32_t b) {
             std::int32_t delivered = -1;
             return VexaReadSamples(b, line, 4, delivered, 1);
         }},
    };
}

// The settings fields of a slot, to see that a refused operation stored nothing.
auto Settings(const BoardSlot& s) {
    return std::make_tuple(s.link, s.inUse, s.averagingCount, s.maxRange, s.samplePeriod,
                           s.calibrationValue, s.sampleRateOffset, s.encoderCounts,
                           s.encoderOffset, s.motorPower);
}

TEST_F(BoardTableTest, EveryBoardOperationRefusesABadIndexWithoutAnyEffect) {
    const std::uint32_t open = OpenBoard();
    ASSERT_EQ(open, 0u);
    // Slot 1 is never opened; slot 2 is opened and closed.
    ASSERT_EQ(VexaOpen(0, nullptr), 1);
    ASSERT_EQ(VexaClose(1), 1);
    ASSERT_EQ(VexaOpen(0, nullptr), 2);
    ASSERT_EQ(VexaClose(2), 1);
    const std::uint32_t neverOpened = 3;
    const std::uint32_t closed = 2;
    Forget();

    const auto before = Settings(BoardTable()[0]);
    for (const auto& [name, operation] : BoardOperations()) {
        for (std::uint32_t bad : {5u, 6u, static_cast<std::uint32_t>(-1), neverOpened, closed}) {
            EXPECT_EQ(operation(bad), 0) << name << " on board " << static_cast<std::int32_t>(bad);
        }
    }
    EXPECT_TRUE(card->calls.empty());
    EXPECT_TRUE(clock->pauses.empty());
    EXPECT_EQ(Settings(BoardTable()[0]), before);
    // The open board still works after all that.
    EXPECT_EQ(VexaResetBoard(open), 1);
}

TEST_F(BoardTableTest, OpenTakesTheFirstFreeSlotResetsTheCardAndIgnoresTheBoardNumber) {
    SerialLink link;
    EXPECT_EQ(VexaOpen(7, &link), 0);
    EXPECT_THAT(card->Codes(), ElementsAre(kControlBoardReset));
    EXPECT_EQ(BoardTable()[0].inUse, 1);
    EXPECT_EQ(BoardTable()[0].link, &link);
    EXPECT_NE(BoardTable()[0].device, nullptr);

    EXPECT_EQ(VexaOpen(0, nullptr), 1);
    EXPECT_EQ(VexaOpen(1, nullptr), 2);
    EXPECT_EQ(card->devicesOpened, 3);
    EXPECT_EQ(card->OpenDevices(), 3);
}

TEST_F(BoardTableTest, AClosedSlotIsNeverHandedOutAgainAndFiveOpensFillTheTable) {
    ASSERT_EQ(VexaOpen(0, nullptr), 0);
    Forget();
    EXPECT_EQ(VexaClose(0), 1);
    EXPECT_THAT(card->Codes(), ElementsAre(kControlBoardReset));
    EXPECT_EQ(card->OpenDevices(), 0);
    EXPECT_EQ(BoardTable()[0].inUse, 1);
    EXPECT_EQ(BoardTable()[0].device, nullptr);
    EXPECT_EQ(VexaClose(0), 0);

    EXPECT_EQ(VexaOpen(0, nullptr), 1);
    EXPECT_EQ(VexaOpen(0, nullptr), 2);
    EXPECT_EQ(VexaOpen(0, nullptr), 3);
    EXPECT_EQ(VexaOpen(0, nullptr), 4);
    EXPECT_EQ(card->OpenDevices(), 4);

    // Table full (four open, one closed): the new device is closed again, no control reaches it.
    Forget();
    const int openedBefore = card->devicesOpened;
    EXPECT_EQ(VexaOpen(0, nullptr), -1);
    EXPECT_EQ(card->devicesOpened, openedBefore + 1);
    EXPECT_TRUE(card->calls.empty());
    EXPECT_EQ(card->OpenDevices(), 4);

    // VexaInitBoards frees the table (and closes what was open).
    VexaInitBoards();
    EXPECT_EQ(card->OpenDevices(), 0);
    EXPECT_EQ(VexaOpen(0, nullptr), 0);
}

TEST_F(BoardTableTest, CloseResetsEvenWhenTheResetFailsAndKeepsTheSettings) {
    SerialLink link;
    const std::uint32_t board = OpenBoard(&link);
    ASSERT_EQ(VexaSetEncoder(board, 2, -10, 200), 1);
    card->FailAlways(kControlBoardReset);
    EXPECT_EQ(VexaClose(board), 1);
    EXPECT_THAT(card->Codes(), ElementsAre(kControlBoardReset));
    EXPECT_EQ(card->OpenDevices(), 0);
    const BoardSlot& slot = BoardTable()[board];
    EXPECT_EQ(slot.link, &link);
    EXPECT_EQ(slot.encoderCounts[1], 200u);
    EXPECT_EQ(slot.encoderOffset[1], -10);
}

TEST_F(BoardTableTest, AFailedResetInOpenClosesTheDeviceAndLeavesTheSlotClosed) {
    card->FailAlways(kControlBoardReset);
    EXPECT_EQ(VexaOpen(0, nullptr), -1);
    EXPECT_THAT(card->Codes(), ElementsAre(kControlBoardReset));
    EXPECT_EQ(card->OpenDevices(), 0);
    EXPECT_EQ(BoardTable()[0].inUse, 1);
    EXPECT_EQ(BoardTable()[0].device, nullptr);

    card->failFrom.clear();
    EXPECT_EQ(VexaOpen(0, nullptr), 1);
    EXPECT_EQ(VexaResetBoard(1), 1);
    card->FailFrom(kControlBoardReset, card->CountOf(kControlBoardReset) + 1);
    EXPECT_EQ(VexaResetBoard(1), 0);
}

TEST_F(BoardTableTest, OpenFailsWithTheTableUnchangedWhenNoDeviceOpens) {
    scoped.reset();
    platform::Backend backend;
    backend.clock = clock;
    backend.openCardDevice = [] { return std::unique_ptr<platform::CardDevice>(); };
    scoped.emplace(std::move(backend));
    EXPECT_EQ(VexaOpen(0, nullptr), -1);
    for (const BoardSlot& slot : BoardTable()) EXPECT_EQ(slot.inUse, 0);
}

TEST_F(BoardTableTest, InitBoardsRestoresDefaultsButKeepsTheCalibrationValue) {
    const std::uint32_t board = OpenBoard();
    card->DeliverCount(20, 800);  // the fourth sample carries 803
    ASSERT_EQ(VexaCalibrate(board), 1);
    ASSERT_EQ(VexaSetEncoder(board, 1, 3, 4096), 1);
    ASSERT_EQ(VexaSetMotorPower(board, 2, 9), 1);
    BoardTable()[board].sampleRateOffset = 1.5;

    EXPECT_EQ(VexaInitBoards(), 1);
    const BoardSlot& slot = BoardTable()[board];
    EXPECT_EQ(slot.calibrationValue, 803);
    BoardSlot defaults;
    defaults.calibrationValue = 803;
    EXPECT_EQ(Settings(slot), Settings(defaults));
    EXPECT_EQ(slot.maxRange, 650);
    EXPECT_EQ(slot.samplePeriod, 200000u);
    EXPECT_EQ(slot.encoderCounts, (std::array<std::uint32_t, 2>{2000, 2000}));
    EXPECT_EQ(slot.device, nullptr);
}

}  // namespace
}  // namespace velscan
