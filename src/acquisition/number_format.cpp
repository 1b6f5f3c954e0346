#include "acquisition/number_format.hpp"

#include <array>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstring>

namespace velscan {
namespace {

constexpr std::array<double, kMaxFixedPrecision + 1> kPowersOfTen = {1.0, 10.0, 100.0, 1e3, 1e4,
                                                                     1e5, 1e6,  1e7,   1e8, 1e9};
constexpr std::array<std::uint64_t, kMaxFixedPrecision + 1> kIntegerPowersOfTen = {
    1u, 10u, 100u, 1000u, 10000u, 100000u, 1000000u, 10000000u, 100000000u, 1000000000u};

// On the fast path the scaled value y = |x| * 10^p, rounded once, is below
// 2^32, so it is within 2^-22 of the exact product. Every k + 1/2 below 2^32 is
// a double and rounding is monotonic, so y lies on the same side of a half as
// the exact product, or on the half itself when the product is a tie or within
// the rounding error of one.
constexpr double kFastPathBound = 4294967296.0;  // 2^32

// Scaled values whose fraction lies this close to one half go to the exact
// conversion. Only an exact half needs it (see above); the margin, far larger
// than the 2^-22 error bound, costs nothing measurable and keeps the fast path
// correct should the product ever be rounded less carefully.
constexpr double kTieMargin = 1.0 / 65536.0;

// "00" "01" ... "99": two digits per table look-up.
constexpr std::array<char, 200> MakeDigitPairs() {
    std::array<char, 200> pairs{};
    for (int i = 0; i < 100; ++i) {
        pairs[static_cast<std::size_t>(2 * i)] = static_cast<char>('0' + i / 10);
        pairs[static_cast<std::size_t>(2 * i + 1)] = static_cast<char>('0' + i % 10);
    }
    return pairs;
}
constexpr std::array<char, 200> kDigitPairs = MakeDigitPairs();

// Writes exactly `digits` decimal digits of `value` (leading zeros included)
// ending just before `end`.
void WriteDigitsBackwards(char* end, std::uint64_t value, int digits) {
    while (digits >= 2) {
        const std::size_t pair = static_cast<std::size_t>(value % 100u) * 2u;
        value /= 100u;
        end -= 2;
        end[0] = kDigitPairs[pair];
        end[1] = kDigitPairs[pair + 1];
        digits -= 2;
    }
    if (digits == 1) {
        *--end = static_cast<char>('0' + value % 10u);
    }
}

int CountDigits(std::uint64_t value) {
    int digits = 1;
    while (value >= 10u) {
        value /= 10u;
        ++digits;
    }
    return digits;
}

char* WriteUnsigned(char* out, std::uint64_t value) {
    const int digits = CountDigits(value);
    WriteDigitsBackwards(out + digits, value, digits);
    return out + digits;
}

char* WriteText(char* out, const char* text) {
    const std::size_t length = std::strlen(text);
    std::memcpy(out, text, length);
    return out + length;
}

}  // namespace

char* FormatFixed(char* out, double value, int precision) {
    assert(precision >= 0 && precision <= kMaxFixedPrecision);
    const bool negative = std::signbit(value);
    if (std::isnan(value)) return WriteText(out, negative ? "-nan" : "nan");
    if (std::isinf(value)) return WriteText(out, negative ? "-inf" : "inf");

    const double magnitude = std::fabs(value);
    const double scaled = magnitude * kPowersOfTen[static_cast<std::size_t>(precision)];
    if (scaled < kFastPathBound) {
        const double whole = std::floor(scaled);
        const double fraction = scaled - whole;  // exact
        if (std::fabs(fraction - 0.5) > kTieMargin) {
            const std::uint64_t rounded =
                static_cast<std::uint64_t>(whole) + (fraction > 0.5 ? 1u : 0u);
            const std::uint64_t unit = kIntegerPowersOfTen[static_cast<std::size_t>(precision)];
            if (negative) *out++ = '-';
            out = WriteUnsigned(out, rounded / unit);
            if (precision > 0) {
                *out++ = '.';
                WriteDigitsBackwards(out + precision, rounded % unit, precision);
                out += precision;
            }
            return out;
        }
    }
    // Near a tie, or too large for the fast path: the exact conversion, which
    // rounds the exact binary value and resolves exact ties to even.
    const auto result =
        std::to_chars(out, out + kMaxFixedChars, value, std::chars_format::fixed, precision);
    assert(result.ec == std::errc());
    return result.ptr;
}

char* FormatUnsigned(char* out, std::uint32_t value) { return WriteUnsigned(out, value); }

}  // namespace velscan
