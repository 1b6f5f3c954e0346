#pragma once
// Raw range to distance in inches through the lookup table, with the
// temperature and distance dependent correction.

#include <cstdint>

#include "conversion/lookup_table.hpp"

namespace velscan {

// Reads the program-wide lookup table.
double ComputeDistance(std::uint32_t rawRange, std::uint32_t levelWord,
                       std::int32_t averagingCount, double sampleRateOffset);

// The same computation on a given table.
double ComputeDistance(const LookupTable& table, std::uint32_t rawRange,
                       std::uint32_t levelWord, std::int32_t averagingCount,
                       double sampleRateOffset);

// The correction subtracted from the interpolated distance d.
double ComputeDistanceCorrection(const LookupTable& table, double T, double d, int k,
                                 double f);

}  // namespace velscan
