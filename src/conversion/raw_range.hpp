#pragma once

#include <cstdint>

namespace velscan {

// The raw range of a range word for a board of the given calibration value;
// false, with `rawRange` untouched, when the word's invalid bit is set.
bool RawRangeFromWord(std::int32_t calibrationValue, std::uint32_t rangeWord,
                      std::uint32_t& rawRange);

}  // namespace velscan
