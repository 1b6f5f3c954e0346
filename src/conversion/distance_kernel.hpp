#pragma once
// The distance computation split into its per-board constant part (the
// averaging count's adjustment) and its per-sample part, so that a line of
// samples looks the adjustment up once and measures each row once.

#include <cstdint>

#include "conversion/lookup_table.hpp"
#include "conversion/row_search.hpp"

namespace velscan {

// e = (rawRange + sampleRateOffset - subtract) * scale normalises a raw range
// to an averaging count of 128.
struct AveragingAdjustment {
    double subtract;
    double scale;
};

// Counts 1, 2, 4 .. 128 as tabled; any other count (0 when the sample period
// is short for the range) is taken as 1: nothing subtracted, scale 128.
AveragingAdjustment AdjustmentForAveragingCount(std::int32_t averagingCount);

// `prefixes` null: the row is searched step by step from column 0; otherwise
// by counting within its rising prefix first. Both give the same result.
double ComputeAdjustedDistance(const LookupTable& table, std::uint32_t rawRange,
                               std::uint32_t levelWord, AveragingAdjustment adjustment,
                               double sampleRateOffset, RisingPrefixes* prefixes);

}  // namespace velscan
