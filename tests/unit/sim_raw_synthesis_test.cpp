#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <utility>

#include "conversion/distance.hpp"
#include "conversion/range_interpolation.hpp"
#include "conversion/raw_range.hpp"
#include "sim/noise.hpp"
#include "sim/raw_synthesis.hpp"
#include "sim_support.hpp"

namespace velscan {
namespace {

using simtest::ExampleSynthesis;

constexpr std::int32_t kAveragingCounts[] = {1, 2, 4, 8, 16, 32, 64, 128};

double Converted(const sim::RawSynthesis& synthesis, std::uint32_t raw, std::uint32_t amplitude,
                 std::uint32_t temperature, std::int32_t averaging) {
    // The program's own distance computation, not the synthesis' shortcut.
    return ComputeDistance(synthesis.Table(), raw, amplitude | (temperature << 16), averaging,
                           synthesis.SampleRateOffset());
}

TEST(SimRawSynthesis, NoNeighbouringRawRangeConvertsCloserAnywhereInTheCalibratedSpan) {
    const auto synthesis = ExampleSynthesis();
    ASSERT_NE(synthesis, nullptr);
    EXPECT_EQ(synthesis->SpanLow(), 0.0);
    EXPECT_EQ(synthesis->SpanHigh(), 666.5);

    const sim::Noise noise(99);
    double worstAt128 = 0.0;
    for (int i = 0; i < 6000; ++i) {
        const double distance =
            synthesis->SpanHigh() * noise.Uniform(sim::NoiseStream::RangeNoise, i);
        const auto amplitude = static_cast<std::uint32_t>(
            1 + noise.Bits(sim::NoiseStream::AmplitudeNoise, i) % 255);
        const auto temperature = static_cast<std::uint32_t>(
            95 + noise.Bits(sim::NoiseStream::CalibrationJitter, i) % 25);
        const std::int32_t averaging = kAveragingCounts[i % 8];

        const auto match = synthesis->RawRangeFor(distance, amplitude, temperature, averaging);
        ASSERT_TRUE(match);
        const double here = Converted(*synthesis, match->rawRange, amplitude, temperature, averaging);
        EXPECT_EQ(match->distance, here);
        const double error = std::fabs(here - distance);
        for (const std::uint32_t neighbour : {match->rawRange - 1, match->rawRange + 1}) {
            const double there = Converted(*synthesis, neighbour, amplitude, temperature, averaging);
            EXPECT_LE(error, std::fabs(there - distance))
                << "distance " << distance << " amplitude " << amplitude << " averaging "
                << averaging;
        }
        if (averaging == 128) worstAt128 = std::max(worstAt128, error);
    }
    EXPECT_LE(worstAt128, 0.01);
    std::printf("worst round-trip error at averaging count 128: %.6f inch\n", worstAt128);
}

TEST(SimRawSynthesis, RangeWordsDecodeToTheirRawRangeInEveryBandWithBothSigns) {
    const sim::Noise noise(5);
    std::set<std::pair<bool, int>> bandsSeen;  // (fine value negative, band's coarse shift)
    std::set<std::int32_t> picksSeen;
    testing::internal::CaptureStdout();
    for (const std::int32_t c : {600, 601, 799, 800, 803, 999, 1000}) {
        for (int i = 0; i < 3000; ++i) {
            const auto raw = static_cast<std::uint32_t>(
                noise.Bits(sim::NoiseStream::RangeNoise, i + 100000 * c) % 620000);
            const auto word =
                sim::EncodeRangeWord(raw, c, noise.Bits(sim::NoiseStream::InterpolatorPhase, i));
            ASSERT_TRUE(word) << raw;
            EXPECT_EQ(*word & 0x80000000u, 0u);
            // The card library's decoding, step by step.
            const RangeWordFields fields = DecodeRangeWord(*word);
            EXPECT_EQ(RawRangeFromTime(InterpolateCoarseFine(fields.coarse, fields.fine, c)), raw);
            EXPECT_LE(fields.coarse, sim::kMaxCoarseCount);

            const double q = c / 4.0;
            const int band = fields.fine >= 0
                                 ? (fields.fine <= 0.5 * q   ? 1
                                    : fields.fine <= 1.5 * q ? 2
                                    : fields.fine <= 2.5 * q ? 3
                                    : fields.fine <= 3.5 * q ? 4
                                                             : 5)
                                 : (fields.fine <= -3.5 * q   ? 1
                                    : fields.fine <= -2.5 * q ? 2
                                    : fields.fine <= -1.5 * q ? 3
                                    : fields.fine <= -0.5 * q ? 4
                                                              : 5);
            bandsSeen.insert({fields.fine < 0, band});
            picksSeen.insert(fields.coarse % 4);
        }
    }
    // A fine value beyond the last band would have printed its message.
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(bandsSeen.size(), 10u);
    EXPECT_EQ(picksSeen.size(), 4u);
}

TEST(SimRawSynthesis, EncodingIsAPureFunctionOfItsInputsAndNoiseChangesIt) {
    std::set<std::uint32_t> words;
    for (std::uint64_t choice = 0; choice < 64; ++choice) {
        const auto first = sim::EncodeRangeWord(123456, 800, choice);
        ASSERT_TRUE(first);
        EXPECT_EQ(first, sim::EncodeRangeWord(123456, 800, choice));
        words.insert(*first);
    }
    EXPECT_GT(words.size(), 16u);
}

TEST(SimRawSynthesis, EveryRangeUpToTheLastColumnFitsEighteenCoarseBits) {
    const auto synthesis = ExampleSynthesis();
    for (std::uint32_t amplitude = 0; amplitude < 256; ++amplitude) {
        const auto match = synthesis->RawRangeFor(synthesis->SpanHigh(), amplitude, 90, 128);
        ASSERT_TRUE(match);
        for (const std::int32_t c : {600, 1000}) {
            const auto word = sim::EncodeRangeWord(match->rawRange, c, amplitude);
            ASSERT_TRUE(word) << "amplitude " << amplitude << " raw " << match->rawRange;
            EXPECT_LE(DecodeRangeWord(*word).coarse, sim::kMaxCoarseCount);
        }
    }
}

TEST(SimRawSynthesis, UnusableInputsGiveNoRangeInsteadOfAWrongOne) {
    EXPECT_FALSE(sim::EncodeRangeWord(1000, 0, 1));
    EXPECT_FALSE(sim::EncodeRangeWord(1000, -5, 1));
    // Far beyond 18 coarse bits.
    EXPECT_FALSE(sim::EncodeRangeWord(2000000, 800, 1));
    // With c = 1 a fine count is a whole time unit: no time inside the raw
    // range's window can be written.
    EXPECT_FALSE(sim::EncodeRangeWord(5000, 1, 1));
    // Unusual but possible calibration values still encode exactly.
    for (const std::int32_t c : {50, 4000, 8191}) {
        const auto word = sim::EncodeRangeWord(5000, c, 3);
        ASSERT_TRUE(word) << c;
        std::uint32_t decoded = 0;
        EXPECT_TRUE(RawRangeFromWord(c, *word, decoded));
        EXPECT_EQ(decoded, 5000u);
    }

    auto table = std::make_shared<LookupTable>(ExampleSynthesis()->Table());
    table->rangeTable[17].fill(0.0f);
    const sim::RawSynthesis gapped(table, 0.0);
    EXPECT_FALSE(gapped.RawRangeFor(100.0, 17, 100, 128));
    EXPECT_TRUE(gapped.RawRangeFor(100.0, 18, 100, 128));
}

TEST(SimRawSynthesis, RowsThatAreNotSmoothFallBackToTheSearch) {
    // Column distances that the estimate cannot use (all equal) still find the
    // closest raw range by searching the monotone row.
    auto table = std::make_shared<LookupTable>(ExampleSynthesis()->Table());
    table->columnDistance[1] = table->columnDistance[0];
    const sim::RawSynthesis odd(table, 3.0);
    const auto match = odd.RawRangeFor(300.0, 200, 107, 128);
    ASSERT_TRUE(match);
    const double error = std::fabs(match->distance - 300.0);
    EXPECT_LE(error, std::fabs(odd.DistanceOf(match->rawRange + 1, 200, 107, 128) - 300.0));
    EXPECT_LE(error, std::fabs(odd.DistanceOf(match->rawRange - 1, 200, 107, 128) - 300.0));
}

}  // namespace
}  // namespace velscan
