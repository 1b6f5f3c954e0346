#include <gtest/gtest.h>

#include <optional>
#include <utility>

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <tuple>
#include <utility>

#include "accepting_card_device.hpp"
#include "cardlib/vexa.hpp"
#include "conversion/message_sink.hpp"
#include "conversion/range_interpolation.hpp"

namespace velscan {
namespace {

constexpr const char* kBeyond = "*** Not valid 5 ***\n";

std::uint32_t RangeWord(std::int32_t a, std::int32_t b) {
    return (static_cast<std::uint32_t>(a) << 13) | (static_cast<std::uint32_t>(b) & 0x1FFFu);
}

// Runs `action` and returns what it wrote to standard output and standard error.
template <typename Action>
std::pair<std::string, std::string> Printed(Action action) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    action();
    std::string out = testing::internal::GetCapturedStdout();
    return {out, testing::internal::GetCapturedStderr()};
}

TEST(RangeWordDecoding, CoarseCountAndSignExtendedFineValue) {
    EXPECT_EQ(DecodeRangeWord(0x01F4012Cu).coarse, 4000);
    EXPECT_EQ(DecodeRangeWord(0x01F4012Cu).fine, 300);
    EXPECT_EQ(DecodeRangeWord(0x01F41E0Cu).fine, -500);
    EXPECT_EQ(DecodeRangeWord(0x00000FFFu).fine, 4095);
    EXPECT_EQ(DecodeRangeWord(0x00001000u).fine, -4096);
    EXPECT_EQ(DecodeRangeWord(0x00001FFFu).fine, -1);
    EXPECT_EQ(DecodeRangeWord(0x7FFFE000u).coarse, 262143);
}

TEST(Interpolation, WorkedExamples) {
    EXPECT_EQ(InterpolateCoarseFine(4000, 300, 800), 1000.375);
    EXPECT_EQ(InterpolateCoarseFine(4000, -500, 800), 1000.375);
    EXPECT_EQ(RawRangeFromTime(1000.375), 10489u);
}

TEST(Interpolation, TheBandShiftChangesExactlyAtOddEighthsOfTheCalibrationValue) {
    // c = 800: the limits lie at multiples of 100.
    const std::pair<std::int32_t, std::optional<std::int32_t>> cases[] = {
        {0, 1},     {300, 1},   {301, 0},    {500, 0},    {501, -1},  {700, -1},
        {701, -2},  {900, -2},  {901, std::nullopt},      {8191, std::nullopt},
        {-1, -2},   {-99, -2},  {-100, -1},  {-299, -1},  {-300, 0},  {-499, 0},
        {-500, 1},  {-4096, 1},
    };
    for (const auto& [b, shift] : cases) EXPECT_EQ(FineBandShift(b, 800), shift) << b;
    // c = 7: limits between integers, compared without rounding.
    EXPECT_EQ(FineBandShift(2, 7), 1);   // 16 <= 21
    EXPECT_EQ(FineBandShift(3, 7), 0);   // 24 > 21, 24 <= 35
    EXPECT_EQ(FineBandShift(7, 7), -2);  // 56 > 49, 56 <= 63
    EXPECT_EQ(FineBandShift(8, 7), std::nullopt);
}

TEST(Interpolation, ABoundaryBelongsToTheBandThatEndsThere) {
    // c = 800, q = 200: thresholds 100, 300, 500, 700, 900. Each coarse count is
    // chosen so that the terms of the two bands meeting at the threshold differ.
    const double c = 800.0;
    EXPECT_EQ(InterpolateCoarseFine(4003, 0, 800), 1001.0);  // band 1, no fraction
    EXPECT_EQ(InterpolateCoarseFine(4003, 100, 800), 1001.0 + 100 / c);
    EXPECT_EQ(InterpolateCoarseFine(4003, 101, 800), 1001.0 + 101 / c);
    EXPECT_EQ(InterpolateCoarseFine(4003, 300, 800), 1001.0 + 300 / c);  // (a + 1) / 4
    EXPECT_EQ(InterpolateCoarseFine(4003, 301, 800), 1000.0 + 301 / c);  // a / 4
    EXPECT_EQ(InterpolateCoarseFine(4000, 500, 800), 1000.0 + 500 / c);  // a / 4
    EXPECT_EQ(InterpolateCoarseFine(4000, 501, 800), 999.0 + 501 / c);   // (a - 1) / 4
    EXPECT_EQ(InterpolateCoarseFine(4001, 700, 800), 1000.0 + 700 / c);  // (a - 1) / 4
    EXPECT_EQ(InterpolateCoarseFine(4001, 701, 800), 999.0 + 701 / c);   // (a - 2) / 4
    // Negative fine values: thresholds -700, -500, -300, -100, and o + 1.
    EXPECT_EQ(InterpolateCoarseFine(4003, -700, 800), 1002.0 - 700 / c);
    EXPECT_EQ(InterpolateCoarseFine(4003, -500, 800), 1002.0 - 500 / c);  // (a + 1) / 4
    EXPECT_EQ(InterpolateCoarseFine(4003, -499, 800), 1001.0 - 499 / c);  // a / 4
    EXPECT_EQ(InterpolateCoarseFine(4000, -300, 800), 1001.0 - 300 / c);  // a / 4
    EXPECT_EQ(InterpolateCoarseFine(4000, -299, 800), 1000.0 - 299 / c);  // (a - 1) / 4
    EXPECT_EQ(InterpolateCoarseFine(4001, -100, 800), 1001.0 - 100 / c);  // (a - 1) / 4
    EXPECT_EQ(InterpolateCoarseFine(4001, -99, 800), 1000.0 - 99 / c);    // (a - 2) / 4
    EXPECT_EQ(InterpolateCoarseFine(4001, -1, 800), 1000.0 - 1 / c);
}

TEST(Interpolation, SmallCoarseCountsTruncateTowardZero) {
    EXPECT_EQ(InterpolateCoarseFine(0, 600, 800), 0.75);  // (0 - 1) / 4 is 0
    EXPECT_EQ(InterpolateCoarseFine(1, 600, 800), 0.75);
    EXPECT_EQ(InterpolateCoarseFine(0, 800, 800), 1.0);  // (0 - 2) / 4 is 0
    EXPECT_EQ(InterpolateCoarseFine(1, 800, 800), 1.0);
    EXPECT_EQ(InterpolateCoarseFine(0, -50, 800), 1.0 - 50 / 800.0);
}

TEST(Interpolation, BeyondTheLastBandBothStreamsGetTheMessageOnce) {
    double t = 0.0;
    auto [out, err] = Printed([&] { t = InterpolateCoarseFine(4001, 901, 800); });
    EXPECT_EQ(out, kBeyond);
    EXPECT_EQ(err, kBeyond);
    EXPECT_EQ(t, 999.0 + 901 / 800.0);  // the last band's term

    std::tie(out, err) = Printed([] {
        InterpolateCoarseFine(4001, 900, 800);
        InterpolateCoarseFine(4001, -4096, 800);
        InterpolateCoarseFine(4001, 4095, 8191);
    });
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "");
}

// Records each message with the stream it was meant for, in order.
struct RecordingSink final : MessageSink {
    std::string record;
    void Print(MessageStream stream, const char* text) override {
        record += stream == MessageStream::Output ? "out:" : "err:";
        record += text;
    }
};

TEST(Interpolation, BeyondTheLastBandTheInstalledSinkGetsOutputThenErrorAndNothingElse) {
    RecordingSink sink;
    std::pair<std::string, std::string> printed;
    {
        const ScopedMessageSink installed(sink);
        printed = Printed([] {
            InterpolateCoarseFine(4001, 901, 800);
            InterpolateCoarseFine(4001, 4095, 800);
        });
    }
    EXPECT_EQ(printed.first, "") << "the standard streams are the sink's job now";
    EXPECT_EQ(printed.second, "");
    EXPECT_EQ(sink.record, std::string("out:") + kBeyond + "err:" + kBeyond + "out:" + kBeyond +
                               "err:" + kBeyond);

    // Its end puts the standard streams back.
    const auto [out, err] = Printed([] { InterpolateCoarseFine(4001, 901, 800); });
    EXPECT_EQ(out, kBeyond);
    EXPECT_EQ(err, kBeyond);
}

TEST(RawRange, TruncatesTowardZeroAndKeepsTheLowThirtyTwoBits) {
    const double t = InterpolateCoarseFine(0, -4096, 600);
    EXPECT_EQ(t, -5.826666666666667);
    EXPECT_EQ(t * kRawRangeScale, -61.097028266666676);
    EXPECT_EQ(RawRangeFromTime(t), 4294967235u);
    EXPECT_EQ(RawRangeFromTime(-0.05), 0u);
    EXPECT_EQ(RawRangeFromTime(1e12), 1744830464u);  // 10485760000000 mod 2^32
    EXPECT_EQ(RawRangeFromTime(8e17), 1024u);        // still inside 64 bits
}

TEST(RawRange, NotANumberInfinityAndValuesBeyondSixtyFourBitsGiveZero) {
    EXPECT_EQ(RawRangeFromTime(std::numeric_limits<double>::quiet_NaN()), 0u);
    EXPECT_EQ(RawRangeFromTime(std::numeric_limits<double>::infinity()), 0u);
    EXPECT_EQ(RawRangeFromTime(-std::numeric_limits<double>::infinity()), 0u);
    EXPECT_EQ(RawRangeFromTime(1e18), 0u);
    EXPECT_EQ(RawRangeFromTime(-1e18), 0u);
}

struct RawRangeOnBoard : testing::Test {
    void SetUp() override {
        VexaInitBoards();
        BoardTable()[0].device = std::make_unique<fakes::AcceptingCardDevice>();
        BoardTable()[0].inUse = 1;
        BoardTable()[0].calibrationValue = 800;
    }
    void TearDown() override {
        BoardTable()[0].calibrationValue = 0;
        VexaInitBoards();
    }
};

TEST_F(RawRangeOnBoard, GetRawRangeConvertsAValidWord) {
    std::uint32_t raw = 0;
    EXPECT_EQ(VexaGetRawRange(0, 0x01F4012Cu, raw), 1);
    EXPECT_EQ(raw, 10489u);
    raw = 0;
    EXPECT_EQ(VexaGetRawRange(0, 0x01F41E0Cu, raw), 1);
    EXPECT_EQ(raw, 10489u);
    BoardTable()[0].calibrationValue = 600;
    EXPECT_EQ(VexaGetRawRange(0, RangeWord(0, -4096), raw), 1);
    EXPECT_EQ(raw, 4294967235u);
}

TEST_F(RawRangeOnBoard, GetRawRangeLeavesTheResultForAnInvalidWordAndPrintsNothing) {
    for (std::uint32_t word : {0x80000000u, 0x81F4012Cu, 0x80000000u | 901u, 0xFFFFFFFFu}) {
        std::uint32_t raw = 0xDEADBEEFu;
        int result = -1;
        const auto [out, err] = Printed([&] { result = VexaGetRawRange(0, word, raw); });
        EXPECT_EQ(result, 0);
        EXPECT_EQ(raw, 0xDEADBEEFu);
        EXPECT_EQ(out + err, "");
    }
}

TEST_F(RawRangeOnBoard, GetRawRangeAppliesTheBoardCheck) {
    std::uint32_t raw = 7;
    EXPECT_EQ(VexaGetRawRange(1, 0x01F4012Cu, raw), 0);
    EXPECT_EQ(VexaGetRawRange(5, 0x01F4012Cu, raw), 0);
    EXPECT_EQ(VexaGetRawRange(static_cast<std::uint32_t>(-1), 0x01F4012Cu, raw), 0);
    BoardTable()[0].inUse = 0;
    EXPECT_EQ(VexaGetRawRange(0, 0x01F4012Cu, raw), 0);
    BoardTable()[0].inUse = 1;
    BoardTable()[0].device.reset();
    EXPECT_EQ(VexaGetRawRange(0, 0x01F4012Cu, raw), 0);
    EXPECT_EQ(raw, 7u);
}

TEST_F(RawRangeOnBoard, ACalibrationValueOfZeroGivesRawRangeZero) {
    BoardTable()[0].calibrationValue = 0;
    for (std::int32_t b : {0, -1, 5}) {
        std::uint32_t raw = 99;
        int result = -1;
        Printed([&] { result = VexaGetRawRange(0, RangeWord(4000, b), raw); });
        EXPECT_EQ(result, 1);
        EXPECT_EQ(raw, 0u) << b;
    }
}

}  // namespace
}  // namespace velscan
