#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "cardlib_fixture.hpp"
#include "conversion/lookup_table.hpp"
#include "recording_serial_port.hpp"

namespace velscan {
namespace {

using ::testing::ElementsAre;
using cardtest::CardFixture;
using Bytes = std::vector<std::uint8_t>;

using ConfigurationTest = CardFixture;

// A serial link on a recording port, timed on the test's clock.
struct RecordedLink {
    explicit RecordedLink(const platform::Clock* clock) {
        link.handle = std::make_unique<fakes::RecordingSerialPort>(log, clock);
    }
    std::shared_ptr<fakes::SerialPortLog> log = std::make_shared<fakes::SerialPortLog>();
    SerialLink link;
};

auto SampleSettings(const BoardSlot& s) {
    return std::make_tuple(s.maxRange, s.samplePeriod, s.averagingCount);
}

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

TEST_F(ConfigurationTest, SampleAndRangeStoresTheSettingsAndConfiguresTheRangeFinder) {
    const std::uint32_t board = OpenBoard();
    RecordedLink passed(clock.get());
    EXPECT_EQ(VexaSetSampleAndRange(board, &passed.link, 650, 20), 1);
    EXPECT_EQ(SampleSettings(BoardTable()[board]), std::make_tuple(650, 20u, 1));

    const auto& calls = passed.log->calls;
    EXPECT_THAT(passed.log->Names(), ElementsAre("Purge", "Write", "Write", "Write"));
    EXPECT_EQ(calls[0].value, platform::kPurgeAll);
    EXPECT_THAT(passed.log->Writes(), ElementsAre("DA1T2X3", "S20\n", "F650\n"));
    // 200 ms before each command.
    for (std::size_t i = 1; i < calls.size(); ++i)
        EXPECT_EQ(calls[i].at - calls[i - 1].at, std::chrono::milliseconds(200)) << i;
    EXPECT_THAT(clock->pauses, ElementsAre(200u, 200u, 200u));
    EXPECT_TRUE(card->calls.empty());
}

TEST_F(ConfigurationTest, SampleAndRangeSendsThroughTheBoardsLinkWhenNoneIsPassed) {
    RecordedLink own(clock.get());
    RecordedLink passed(clock.get());
    const std::uint32_t board = OpenBoard(&own.link);

    EXPECT_EQ(VexaSetSampleAndRange(board, nullptr, -5, 9999999), 1);
    EXPECT_THAT(own.log->Writes(), ElementsAre("DA1T2X3", "S9999999\n", "F-5\n"));
    EXPECT_EQ(SampleSettings(BoardTable()[board]), std::make_tuple(-5, 9999999u, 128));

    own.log->calls.clear();
    EXPECT_EQ(VexaSetSampleAndRange(board, &passed.link, 1000, 27), 1);
    EXPECT_TRUE(own.log->calls.empty());
    EXPECT_THAT(passed.log->Writes(), ElementsAre("DA1T2X3", "S27\n", "F1000\n"));
    EXPECT_EQ(BoardTable()[board].averagingCount, 1);

    // A range of -48 leaves no divisor: the count is 0, the range is sent as is.
    EXPECT_EQ(VexaSetSampleAndRange(board, &passed.link, -48, 20), 1);
    EXPECT_EQ(BoardTable()[board].averagingCount, 0);
    EXPECT_EQ(passed.log->Writes().back(), "F-48\n");
}

TEST_F(ConfigurationTest, SampleAndRangeRefusesPeriodsOutsideTwentyToNineMillionNineHundredThousand) {
    RecordedLink own(clock.get());
    const std::uint32_t board = OpenBoard(&own.link);
    const auto before = SampleSettings(BoardTable()[board]);
    for (std::uint32_t period : {0u, 19u, 10000000u, 0xFFFFFFFFu})
        EXPECT_EQ(VexaSetSampleAndRange(board, nullptr, 100, period), 0) << period;
    EXPECT_EQ(SampleSettings(BoardTable()[board]), before);
    EXPECT_TRUE(own.log->calls.empty());
    EXPECT_TRUE(clock->pauses.empty());
}

TEST_F(ConfigurationTest, SampleAndRangeWithoutAnyLinkStoresTheSettingsAndFails) {
    const std::uint32_t board = OpenBoard(nullptr);
    EXPECT_EQ(VexaSetSampleAndRange(board, nullptr, 650, 70), 0);
    EXPECT_EQ(SampleSettings(BoardTable()[board]), std::make_tuple(650, 70u, 4));
    EXPECT_TRUE(clock->pauses.empty());
}

class LookupFileOfBoardTest : public CardFixture {
protected:
    void SetUp() override {
        CardFixture::SetUp();
        directory = std::filesystem::temp_directory_path() /
                    ("velscan_cardlib_" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(directory);
    }
    void TearDown() override {
        std::filesystem::remove_all(directory);
        ProgramLookupTable() = LookupTable{};
        CardFixture::TearDown();
    }
    std::string Write(const std::string& name, const std::string& text) {
        const std::filesystem::path path = directory / name;
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }
    std::filesystem::path directory;
};

TEST_F(LookupFileOfBoardTest, TheLoaderFillsTheProgramTableAndTheBoardsOffset) {
    const std::uint32_t board = OpenBoard();
    // One column: its distance, temperature, nine coefficients, 256 rows, then the offset.
    std::string text = "5\n";
    for (int i = 0; i < 1 + kCorrectionCoefficients + kLookupRows; ++i) text += "7 ";
    text += "1.5\n";
    EXPECT_EQ(VexaLoadLookupFile(board, Write("LOOKUPHS", text).c_str()), 1);
    EXPECT_EQ(BoardTable()[board].sampleRateOffset, 1.5);
    EXPECT_EQ(ProgramLookupTable().columnDistance[0], 5.0f);
    EXPECT_EQ(ProgramLookupTable().rangeTable[255][0], 7.0f);

    // A missing or refused file fails; the loader's offset (0) is left in the slot.
    EXPECT_EQ(VexaLoadLookupFile(board, (directory / "absent").string().c_str()), 0);
    EXPECT_EQ(BoardTable()[board].sampleRateOffset, 0.0);
    EXPECT_EQ(VexaLoadLookupFile(board, Write("refused", "x\n").c_str()), 0);
    EXPECT_EQ(VexaLoadLookupFile(board, nullptr), 0);
    EXPECT_EQ(VexaLoadLookupFile(board + 1, Write("other", text).c_str()), 0);
    EXPECT_TRUE(card->calls.empty());
}

}  // namespace
}  // namespace velscan
