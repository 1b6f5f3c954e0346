#pragma once
// The reading of a number in an option's value, shared by velscan's and
// velscan-reconvert's command lines.

#include <cstdint>

namespace velscan {

// Decimal reading of an option value: leading white space, one optional sign,
// digits up to the first other character, accumulated with 32-bit wrap-around;
// no digits gives 0.
std::int32_t ParseDecimalValue(const char* text);

}  // namespace velscan
