#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cardlib_fixture.hpp"

namespace velscan {
namespace {

using ::testing::ElementsAreArray;
using cardtest::CardFixture;
using cardtest::TableEvents;

using CalibrationTest = CardFixture;

std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

const std::vector<std::string> kCalibrationWrites = {
    "write 0036=00A0", "write 0036=0007", "write 0020=0090", "write 0022=004D",
    "write 0024=0067", "write 0028=0000", "write 002C=0002", "write 002E=0002",
    "write 0030=0000", "write 0032=0000", "write 0034=0080"};
const std::vector<std::string> kSamplingWrites = {
    "write 0036=00A0", "write 0036=0007", "write 0020=0010", "write 0022=004D",
    "write 0024=0021", "write 0028=0000", "write 002C=0002", "write 002E=0002",
    "write 0030=0000", "write 0032=0000", "write 0034=0080"};

// `count` samples whose rangeWord is their position, except the one at `at`.
std::vector<RawSample> Samples(std::size_t count, std::size_t at = 0, std::uint32_t word = 0) {
    std::vector<RawSample> samples;
    for (std::size_t i = 0; i < count; ++i)
        samples.push_back(fakes::NumberedSample(static_cast<std::uint32_t>(i)));
    if (at < count) samples[at].rangeWord = word;
    return samples;
}

TEST_F(CalibrationTest, CalibrateIssuesTheExactSequenceAndTakesTheFourthSampleOfTheFirstBlock) {
    const std::uint32_t board = OpenBoard();
    card->Deliver(Samples(7, 3, 0x2000u | 777u));  // bit 13 is not part of the value
    card->Deliver(Samples(7, 3, 900));
    card->Deliver(Samples(6, 3, 901));

    EXPECT_EQ(VexaCalibrate(board), 1);
    EXPECT_EQ(BoardTable()[board].calibrationValue, 777);
    EXPECT_THAT(Events(), ElementsAreArray(Concat({
                              {"stop", "pause 100", "setup"},
                              TableEvents(kCalibrationWrites),
                              {"pause 500", "clear", "pause 500", "enable1", "enable2", "read",
                               "read", "read", "stop"},
                          })));
    // Each read asks for exactly what is still missing.
    const auto reads = card->CallsOf(kControlBlockRead);
    ASSERT_EQ(reads.size(), 3u);
    EXPECT_EQ(reads[0].outputSize, 20u * 16);
    EXPECT_EQ(reads[1].outputSize, 13u * 16);
    EXPECT_EQ(reads[2].outputSize, 6u * 16);
    EXPECT_EQ(clock->TotalPausedMs(), 1650u);
}

TEST_F(CalibrationTest, TheFourthCollectedSampleMayComeFromALaterBlock) {
    const std::uint32_t board = OpenBoard();
    card->Deliver(Samples(2));
    card->DeliverEmpty();
    card->Deliver(Samples(18, 1, 640));  // collected positions 2, 3, ...
    EXPECT_EQ(VexaCalibrate(board), 1);
    EXPECT_EQ(BoardTable()[board].calibrationValue, 640);
}

TEST_F(CalibrationTest, FiftyEmptyReadsAreToleratedOverTheWholeCollection) {
    const std::uint32_t board = OpenBoard();
    card->DeliverEmpty(20);
    card->Deliver(Samples(5, 3, 700));
    card->DeliverEmpty(25);
    card->Deliver(Samples(10));
    card->DeliverEmpty(5);
    card->Deliver(Samples(5));
    EXPECT_EQ(VexaCalibrate(board), 1);
    EXPECT_EQ(BoardTable()[board].calibrationValue, 700);
    EXPECT_EQ(card->CountOf(kControlBlockRead), 53u);
    EXPECT_EQ(clock->TotalPausedMs(), 1650u + 50 * 100);
}

TEST_F(CalibrationTest, TheFiftyFirstEmptyReadFailsAfterItsPause) {
    const std::uint32_t board = OpenBoard();
    BoardTable()[board].calibrationValue = 812;
    card->Deliver(Samples(4, 3, 700));
    card->DeliverEmpty(51);
    card->Deliver(Samples(16));  // never read
    EXPECT_EQ(VexaCalibrate(board), 0);
    EXPECT_EQ(BoardTable()[board].calibrationValue, 812);
    EXPECT_EQ(card->CountOf(kControlBlockRead), 52u);
    const std::vector<std::string> events = Events();
    EXPECT_EQ(events[events.size() - 2], "read");
    EXPECT_EQ(events.back(), "pause 100");
    EXPECT_EQ(clock->TotalPausedMs(), 1650u + 51 * 100);
}

TEST_F(CalibrationTest, ValuesOutsideSixHundredToOneThousandAreStoredButRefused) {
    const std::uint32_t board = OpenBoard();
    const struct {
        std::uint32_t rangeWord;
        std::int32_t value;
        int result;
    } cases[] = {{599, 599, 0},   {600, 600, 1},         {1000, 1000, 1},
                 {1001, 1001, 0}, {0xFFFFE3E8u, 1000, 1}, {0x1FFF, 8191, 0}};
    for (const auto& c : cases) {
        card->Deliver(Samples(20, 3, c.rangeWord));
        EXPECT_EQ(VexaCalibrate(board), c.result) << std::hex << c.rangeWord;
        EXPECT_EQ(BoardTable()[board].calibrationValue, c.value) << std::hex << c.rangeWord;
    }
}

TEST_F(CalibrationTest, AFailedBlockReadLeavesThePreviousValue) {
    const std::uint32_t board = OpenBoard();
    card->Deliver(Samples(20, 3, 750));
    ASSERT_EQ(VexaCalibrate(board), 1);

    Forget();
    card->Deliver(Samples(10, 3, 900));
    card->FailFrom(kControlBlockRead, card->CountOf(kControlBlockRead) + 2);
    EXPECT_EQ(VexaCalibrate(board), 0);
    EXPECT_EQ(BoardTable()[board].calibrationValue, 750);
    EXPECT_EQ(Events().back(), "read");  // no stop after a failed read
}

TEST_F(CalibrationTest, RefusedPreparationControlsDoNotStopTheCalibration) {
    const std::uint32_t board = OpenBoard();
    for (std::uint32_t code : {kControlSamplingStop, kControlSetupWord, kControlRegisterWrite,
                               kControlClearSampleBuffer, kControlSamplingEnableStep1,
                               kControlSamplingEnableStep2})
        card->FailAlways(code);
    card->Deliver(Samples(20, 3, 650));
    EXPECT_EQ(VexaCalibrate(board), 1);
    EXPECT_EQ(card->CountOf(kControlRegisterWrite), 1u);  // the table stopped at its first write
    EXPECT_EQ(card->CountOf(kControlSamplingEnableStep2), 1u);
}

TEST_F(CalibrationTest, SamplingModeInitIssuesTheExactSequenceAndAlwaysSucceeds) {
    const std::uint32_t board = OpenBoard();
    EXPECT_EQ(VexaSamplingModeInit(board), 1);
    const std::vector<std::string> expected = Concat({
        {"clear", "stop", "pause 100", "setup"},
        TableEvents(kSamplingWrites),
        {"pause 500", "clear", "pause 500"},
    });
    EXPECT_THAT(Events(), ElementsAreArray(expected));

    Forget();
    for (std::uint32_t code : {kControlSamplingStop, kControlSetupWord, kControlRegisterWrite,
                               kControlClearSampleBuffer})
        card->FailAlways(code);
    EXPECT_EQ(VexaSamplingModeInit(board), 1);
    EXPECT_THAT(Events(), ElementsAreArray({"clear", "stop", "pause 100", "setup",
                                            "write 0036=00A0", "pause 500", "clear",
                                            "pause 500"}));
}

}  // namespace
}  // namespace velscan
