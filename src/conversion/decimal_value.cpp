#include "conversion/decimal_value.hpp"

namespace velscan {
namespace {

// White space as isspace() sees it in the C locale, independent of the
// process's locale.
bool IsCLocaleSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

std::int32_t ParseDecimalValue(const char* text) {
    while (IsCLocaleSpace(*text)) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') {
        negative = *text == '-';
        ++text;
    }
    // Unsigned arithmetic: a long number wraps around modulo 2^32 instead of
    // overflowing.
    std::uint32_t accumulated = 0;
    while (*text >= '0' && *text <= '9') {
        accumulated = accumulated * 10u + static_cast<std::uint32_t>(*text - '0');
        ++text;
    }
    if (negative) accumulated = 0u - accumulated;
    return static_cast<std::int32_t>(accumulated);
}

}  // namespace velscan
