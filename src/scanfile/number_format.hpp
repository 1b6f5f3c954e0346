#pragma once
// Number formatting for the measurement table, byte for byte what the C
// library's printf gives for "%.<p>f" and "%u", without its per-call cost.

#include <cstddef>
#include <cstdint>

namespace velscan {

// Largest precision FormatFixed is made for: the table's angles.
inline constexpr int kMaxFixedPrecision = 4;

// Most characters FormatFixed can write: sign, 309 integer digits of the
// largest double, the point and kMaxFixedPrecision decimals.
inline constexpr std::size_t kMaxFixedChars = 1 + 309 + 1 + kMaxFixedPrecision;

// Most characters FormatUnsigned can write.
inline constexpr std::size_t kMaxUnsignedChars = 10;

// Writes `value` as printf("%.<Precision>f") does with round-to-nearest:
// the exact binary value rounded to `Precision` decimals, exact ties to even,
// a minus sign whenever the sign bit is set ("-0.00"), "nan", "-nan", "inf"
// and "-inf". Made for the table's precisions: 1, 2 and 4. `out` has room for
// kMaxFixedChars. Returns the end of what was written.
template <int Precision>
char* FormatFixed(char* out, double value);

// Writes `value` in decimal, as printf("%u") does. `out` has room for
// kMaxUnsignedChars. Returns the end of what was written.
char* FormatUnsigned(char* out, std::uint32_t value);

}  // namespace velscan
