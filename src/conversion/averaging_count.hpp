#pragma once

#include <cstdint>

namespace velscan {

// Averaging count from sample period (microseconds) and maximum range
// (inches): 0 or a power of two from 1 to 128, in signed 32-bit arithmetic.
// A divisor (range + 48) of 0 or below gives 0.
std::int32_t ComputeAveragingCount(std::int32_t samplePeriod, std::int32_t maxRange);

}  // namespace velscan
