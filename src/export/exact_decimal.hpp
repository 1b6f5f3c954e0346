#pragma once
// The table's numbers as velscan writes them, read without the general
// reader's cost where the short way is exact; everything else is left to the
// general reader, which decides what is valid.

#include <cstdint>

namespace velscan::exporter {

// Reads "-?D+(.D+)?" at `p` up to `end` into `value` and returns the end of
// the digits, or nullptr when the text has another form or is too long for
// the short way. With at most 19 digits whose integer (the point left out)
// is at most 2^53, both that integer and the power of ten of the decimals
// (up to 10^19; every one up to 10^22 is exact) are exact doubles, so their
// IEEE quotient is the correctly rounded value: the double a correctly
// rounding reader gives for the same text.
inline const char* ReadExactFixed(const char* p, const char* end, double& value) {
    static constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,
                                              1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19};
    const bool negative = p != end && *p == '-';
    if (negative) ++p;
    const char* const digitsStart = p;
    std::uint64_t digits = 0;  // wraps past 20 digits, which are refused below
    const auto AddDigits = [&p, end, &digits] {
        while (p != end && static_cast<unsigned char>(*p - '0') < 10)
            digits = digits * 10 + static_cast<unsigned>(*p++ - '0');
    };
    AddDigits();
    if (p == digitsStart) return nullptr;
    int count = static_cast<int>(p - digitsStart);
    int decimals = 0;
    if (p != end && *p == '.') {
        const char* const fractionStart = ++p;
        AddDigits();
        decimals = static_cast<int>(p - fractionStart);
        if (decimals == 0) return nullptr;
        count += decimals;
    }
    if (count > 19 || digits > (std::uint64_t{1} << 53)) return nullptr;
    const double magnitude = static_cast<double>(digits) / kPowersOfTen[decimals];
    value = negative ? -magnitude : magnitude;
    return p;
}

// Reads "D+" of at most 9 digits at `p` up to `end` into `value` and returns
// the end of the digits, or nullptr when the text has another form or more
// digits.
inline const char* ReadShortUnsigned(const char* p, const char* end, std::uint32_t& value) {
    const char* const start = p;
    std::uint32_t result = 0;
    while (p != end && static_cast<unsigned char>(*p - '0') < 10) {
        if (p - start == 9) return nullptr;
        result = result * 10 + static_cast<unsigned>(*p++ - '0');
    }
    if (p == start) return nullptr;
    value = result;
    return p;
}

}  // namespace velscan::exporter
