#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "cardlib_fixture.hpp"

namespace velscan {
namespace {

using ::testing::ElementsAre;
using ::testing::Each;
using cardtest::CardFixture;

using SampleTransferTest = CardFixture;

constexpr RawSample kUntouched{0xDEADBEEFu, 0xDEADBEEFu, 0xDEADBEEFu, 0xDEADBEEFu};

bool SameSample(const RawSample& a, const RawSample& b) {
    return a.statusWord == b.statusWord && a.encoder1Count == b.encoder1Count &&
           a.encoder2Count == b.encoder2Count && a.rangeWord == b.rangeWord;
}

TEST_F(SampleTransferTest, SamplingEnableIssuesBothStepsInOrderAndStopsAtTheFirstFailure) {
    const std::uint32_t board = OpenBoard();
    EXPECT_EQ(VexaSamplingEnable(board), 1);
    EXPECT_THAT(Events(), ElementsAre("enable1", "enable2"));

    Forget();
    card->FailAlways(kControlSamplingEnableStep1);
    EXPECT_EQ(VexaSamplingEnable(board), 0);
    EXPECT_THAT(Events(), ElementsAre("enable1"));

    Forget();
    card->failFrom.clear();
    card->FailAlways(kControlSamplingEnableStep2);
    EXPECT_EQ(VexaSamplingEnable(board), 0);
    EXPECT_THAT(Events(), ElementsAre("enable1", "enable2"));
}

TEST_F(SampleTransferTest, ARequestOfNothingReadsOnlyTheStatus) {
    const std::uint32_t board = OpenBoard();
    std::int32_t delivered = -1;
    EXPECT_EQ(VexaReadSamples(board, nullptr, 0, delivered, 1), 1);
    EXPECT_EQ(delivered, 0);
    EXPECT_THAT(Events(), ElementsAre("status"));

    card->SetOverflow(true);
    EXPECT_EQ(VexaReadSamples(board, nullptr, 0, delivered, 0), 2);
}

TEST_F(SampleTransferTest, WithoutTheWaitFlagOneBlockIsReadWhateverItBrings) {
    const std::uint32_t board = OpenBoard();
    std::vector<RawSample> line(5000, kUntouched);
    card->DeliverCount(300, 1);
    std::int32_t delivered = -1;
    EXPECT_EQ(VexaReadSamples(board, line.data(), 5000, delivered, 0), 1);
    EXPECT_EQ(delivered, 300);
    EXPECT_THAT(Events(), ElementsAre("read", "status"));
    EXPECT_EQ(card->calls[0].outputSize, 5000u * 16);
    EXPECT_EQ(line[0].rangeWord, 1u);
    EXPECT_EQ(line[299].rangeWord, 300u);
    EXPECT_TRUE(SameSample(line[300], kUntouched));
}

TEST_F(SampleTransferTest, WithTheWaitFlagBlocksArePolledUntilTheCountIsReachedAndPlacedBackToBack) {
    const std::uint32_t board = OpenBoard();
    std::vector<RawSample> line(5001, kUntouched);
    card->DeliverEmpty();
    card->DeliverCount(1200, 0);
    card->DeliverEmpty();
    card->DeliverCount(3800 + 7, 1200);  // more than asked: the card keeps the rest
    card->SetOverflow(true);

    std::int32_t delivered = -1;
    EXPECT_EQ(VexaReadSamples(board, line.data(), 5000, delivered, 1), 2);
    EXPECT_EQ(delivered, 5000);
    EXPECT_THAT(Events(), ElementsAre("read", "pause 10", "read", "pause 10", "read", "pause 10",
                                      "read", "pause 10", "status"));
    const auto reads = card->CallsOf(kControlBlockRead);
    EXPECT_EQ(reads[0].outputSize, 5000u * 16);
    EXPECT_EQ(reads[1].outputSize, 5000u * 16);
    EXPECT_EQ(reads[2].outputSize, 3800u * 16);
    EXPECT_EQ(reads[3].outputSize, 3800u * 16);
    bool inOrder = true;
    for (std::uint32_t i = 0; i < 5000; ++i) inOrder = inOrder && line[i].rangeWord == i;
    EXPECT_TRUE(inOrder);
    EXPECT_TRUE(SameSample(line[5000], kUntouched));
}

TEST_F(SampleTransferTest, AFailedBlockReadKeepsWhatEarlierBlocksBrought) {
    const std::uint32_t board = OpenBoard();
    std::vector<RawSample> line(5000, kUntouched);
    card->DeliverCount(1000, 0);
    card->DeliverCount(500, 1000);
    card->DeliverCount(3500, 1500);
    card->FailFrom(kControlBlockRead, 3);
    std::int32_t delivered = -1;
    EXPECT_EQ(VexaReadSamples(board, line.data(), 5000, delivered, 1), 0);
    EXPECT_EQ(delivered, 1500);
    EXPECT_EQ(line[1499].rangeWord, 1499u);
    EXPECT_TRUE(SameSample(line[1500], kUntouched));
    EXPECT_THAT(Events(), ElementsAre("read", "pause 10", "read", "pause 10", "read"));
}

TEST_F(SampleTransferTest, AFailedStatusReadFailsAFullLine) {
    const std::uint32_t board = OpenBoard();
    std::vector<RawSample> line(100);
    card->DeliverCount(100);
    card->FailAlways(kControlStatus);
    std::int32_t delivered = -1;
    EXPECT_EQ(VexaReadSamples(board, line.data(), 100, delivered, 1), 0);
    EXPECT_EQ(delivered, 100);
}

TEST_F(SampleTransferTest, BadRequestsAreRefusedBeforeAnyControl) {
    const std::uint32_t board = OpenBoard();
    std::int32_t delivered = 77;
    RawSample one{};
    EXPECT_EQ(VexaReadSamples(board, &one, -1, delivered, 1), 0);
    EXPECT_EQ(VexaReadSamples(board, nullptr, 1, delivered, 1), 0);
    EXPECT_EQ(delivered, 77);
    EXPECT_TRUE(card->calls.empty());
}

// The waiting read gives up once no sample has arrived for 2 s + 10 sample
// periods; the default sample period of 200000 us makes that 4 s.
TEST_F(SampleTransferTest, AWaitingReadGivesUpWhenTheCardStopsDelivering) {
    const std::uint32_t board = OpenBoard();
    std::vector<RawSample> line(5000);
    card->DeliverCount(100);  // then nothing more, ever
    std::int32_t delivered = -1;
    EXPECT_EQ(VexaReadSamples(board, line.data(), 5000, delivered, 1), 0);
    EXPECT_EQ(delivered, 100);
    EXPECT_EQ(card->CountOf(kControlStatus), 0u);
    EXPECT_EQ(clock->pauses.size(), 400u);  // 4 s after the last arrival
    EXPECT_THAT(clock->pauses, Each(10u));
    EXPECT_EQ(card->CountOf(kControlBlockRead), 400u);
}

TEST_F(SampleTransferTest, TheWaitBoundCountsFromTheLastArrivalAndScalesWithThePeriod) {
    const std::uint32_t board = OpenBoard();
    std::vector<RawSample> line(20);
    std::int32_t delivered = -1;

    // 3.99 s without a sample is still within the bound, and every arrival
    // starts it again (6 s in all).
    card->DeliverCount(10);
    card->DeliverEmpty(300);
    card->DeliverCount(5);
    card->DeliverEmpty(398);
    card->DeliverCount(5);
    EXPECT_EQ(VexaReadSamples(board, line.data(), 20, delivered, 1), 1);
    EXPECT_EQ(delivered, 20);

    // 4 s is not.
    card->DeliverCount(10);
    card->DeliverEmpty(399);
    card->DeliverCount(10);
    EXPECT_EQ(VexaReadSamples(board, line.data(), 20, delivered, 1), 0);
    EXPECT_EQ(delivered, 10);
    card->deliveries.clear();

    // A period of 20 us makes the bound 2.0002 s: 201 pauses of 10 ms.
    BoardTable()[board].samplePeriod = 20;
    Forget();
    EXPECT_EQ(VexaReadSamples(board, line.data(), 20, delivered, 1), 0);
    EXPECT_EQ(delivered, 0);
    EXPECT_EQ(clock->pauses.size(), 201u);
}

}  // namespace
}  // namespace velscan
