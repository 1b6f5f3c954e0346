#include "scanfile/number_format.hpp"

#include <array>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstring>

namespace velscan {
namespace {

constexpr std::uint64_t PowerOfTen(int exponent) {
    std::uint64_t power = 1;
    for (int i = 0; i < exponent; ++i) power *= 10u;
    return power;
}

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

// Writes exactly `Digits` decimal digits of `value` (leading zeros included)
// ending just before `end`.
template <int Digits>
void WriteDigitsBackwards(char* end, std::uint64_t value) {
    for (int left = Digits; left >= 2; left -= 2) {
        const std::size_t pair = static_cast<std::size_t>(value % 100u) * 2u;
        value /= 100u;
        end -= 2;
        std::memcpy(end, &kDigitPairs[pair], 2);
    }
    if constexpr (Digits % 2 == 1) {
        *--end = static_cast<char>('0' + value % 10u);
    }
}

char* WriteUnsigned(char* out, std::uint64_t value) {
    // Up to 20 digits, formed from the right, then moved into place.
    char digits[20];
    char* first = digits + sizeof digits;
    while (value >= 100u) {
        const std::size_t pair = static_cast<std::size_t>(value % 100u) * 2u;
        value /= 100u;
        first -= 2;
        std::memcpy(first, &kDigitPairs[pair], 2);
    }
    if (value >= 10u) {
        first -= 2;
        std::memcpy(first, &kDigitPairs[static_cast<std::size_t>(value) * 2u], 2);
    } else {
        *--first = static_cast<char>('0' + value);
    }
    const std::size_t length = static_cast<std::size_t>(digits + sizeof digits - first);
    std::memcpy(out, first, length);
    return out + length;
}

char* WriteText(char* out, const char* text) {
    const std::size_t length = std::strlen(text);
    std::memcpy(out, text, length);
    return out + length;
}

// The exact conversion: rounds the exact binary value, resolves exact ties to
// even, and prints huge values in full.
char* FormatFixedExactly(char* out, double value, int precision) {
    const bool negative = std::signbit(value);
    if (std::isnan(value)) return WriteText(out, negative ? "-nan" : "nan");
    if (std::isinf(value)) return WriteText(out, negative ? "-inf" : "inf");
    const auto result =
        std::to_chars(out, out + kMaxFixedChars, value, std::chars_format::fixed, precision);
    assert(result.ec == std::errc());
    return result.ptr;
}

}  // namespace

template <int Precision>
char* FormatFixed(char* out, double value) {
    static_assert(Precision >= 0 && Precision <= kMaxFixedPrecision);
    constexpr std::uint64_t unit = PowerOfTen(Precision);
    const double scaled = std::fabs(value) * static_cast<double>(unit);
    if (scaled < kFastPathBound) {  // false for NaN and infinity
        // Truncation is the floor for a non-negative value; the difference is
        // exact (Sterbenz).
        const auto whole = static_cast<std::uint64_t>(scaled);
        const double fraction = scaled - static_cast<double>(whole);
        if (std::fabs(fraction - 0.5) > kTieMargin) {
            const std::uint64_t rounded = whole + (fraction > 0.5 ? 1u : 0u);
            if (std::signbit(value)) *out++ = '-';
            out = WriteUnsigned(out, rounded / unit);
            if constexpr (Precision > 0) {
                *out++ = '.';
                WriteDigitsBackwards<Precision>(out + Precision, rounded % unit);
                out += Precision;
            }
            return out;
        }
    }
    return FormatFixedExactly(out, value, Precision);
}

template char* FormatFixed<1>(char*, double);
template char* FormatFixed<2>(char*, double);
template char* FormatFixed<4>(char*, double);

char* FormatUnsigned(char* out, std::uint32_t value) { return WriteUnsigned(out, value); }

}  // namespace velscan
