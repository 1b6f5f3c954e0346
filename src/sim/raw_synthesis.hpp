#pragma once
// The conversion run backwards: the simulated card has to deliver range words
// that the program's own conversion turns back into the scene's distances.
//
// Two steps. RawRangeFor finds the raw range whose converted distance (the
// conversion's ComputeDistance with this sample's amplitude, temperature,
// averaging count and the lookup file's sample-rate offset) lies closest to
// the true distance. EncodeRangeWord then writes that raw range as a coarse
// count and a fine value that the card library's interpolation, with the
// calibration value in use, decodes back to exactly that raw range.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "conversion/distance_kernel.hpp"
#include "conversion/lookup_table.hpp"
#include "conversion/row_search.hpp"

namespace velscan::sim {

inline constexpr std::int32_t kMaxCoarseCount = (1 << 18) - 1;

struct RawRangeMatch {
    std::uint32_t rawRange;
    double distance;  // what the conversion makes of it
};

class RawSynthesis {
public:
    RawSynthesis(std::shared_ptr<const LookupTable> table, double sampleRateOffset);

    const LookupTable& Table() const { return *table_; }
    double SampleRateOffset() const { return sampleRateOffset_; }
    // The distances of the first and last calibration column.
    double SpanLow() const { return spanLow_; }
    double SpanHigh() const { return spanHigh_; }

    // The raw range whose distance lies closest to `distance` (inches); none
    // when the amplitude's row holds no calibration.
    std::optional<RawRangeMatch> RawRangeFor(double distance, std::uint32_t amplitude,
                                             std::uint32_t temperatureByte,
                                             std::int32_t averagingCount) const;

    // The distance the conversion gives a raw range.
    double DistanceOf(std::uint32_t rawRange, std::uint32_t amplitude,
                      std::uint32_t temperatureByte, std::int32_t averagingCount) const;

private:
    std::optional<std::uint32_t> Estimate(double distance, std::uint32_t amplitude,
                                          std::uint32_t temperatureByte,
                                          std::int32_t averagingCount) const;
    RawRangeMatch BinarySearch(double distance, std::uint32_t amplitude,
                               std::uint32_t temperatureByte, std::int32_t averagingCount) const;

    std::shared_ptr<const LookupTable> table_;
    double sampleRateOffset_;
    int spanColumns_ = 1;  // leading columns with rising distances
    double spanLow_ = 0.0;
    double spanHigh_ = 0.0;
    std::vector<float> rowMaximum_;  // largest entry of each row, 0 when none is positive
    // Measured for every row at construction; only read afterwards.
    mutable RisingPrefixes prefixes_;
};

// A range word (bit 31 clear) whose coarse count a (18 bits) and fine value b
// (13-bit two's complement) decode to `rawRange` with calibration value `c`.
// `choice` (noise) picks among the many encodings the way an interpolator's
// phase would: any fine value in the raw range's time window, either sign of
// b, every band and each of the coarse counts the band accepts. None when no
// encoding fits the fields (c below 1, or a raw range beyond 18 coarse bits).
std::optional<std::uint32_t> EncodeRangeWord(std::uint32_t rawRange, std::int32_t c,
                                             std::uint64_t choice);

}  // namespace velscan::sim
