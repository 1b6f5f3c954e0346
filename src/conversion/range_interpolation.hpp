#pragma once
// Coarse/fine range interpolation: the range word's two counters become one
// time value, and that value becomes a raw range in bits.

#include <cstdint>
#include <optional>

#include "conversion/samples.hpp"  // DecodeRangeWord

namespace velscan {

inline constexpr double kRawRangeScale = 10.48576;

// The band of fine value b for calibration value c, as the shift of the
// coarse count a before it is quartered: o = (a + shift) / 4, truncated.
// Bands 1 and 2 give 1, then 0, -1 and -2; nullopt beyond the last band of a
// non-negative b (b > 9 c / 8). The band limits are odd multiples of c / 8,
// compared exactly in integers.
std::optional<std::int32_t> FineBandShift(std::int32_t b, std::int32_t c);

// Interpolated time t in units of four coarse counts. A non-negative fine value
// beyond 4.5 * c / 4 sends "*** Not valid 5 ***" for standard output and then
// for standard error to the current message sink, and uses the last band's
// coarse term.
double InterpolateCoarseFine(std::int32_t a, std::int32_t b, std::int32_t c);

// Low 32 bits of t * 10.48576 truncated toward zero to a 64-bit integer.
// A value that is not a number or does not fit 64 bits yields 0.
std::uint32_t RawRangeFromTime(double t);

}  // namespace velscan
