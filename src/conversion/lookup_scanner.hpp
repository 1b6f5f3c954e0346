#pragma once
// Reads the lookup file's text the way formatted number input does: white space
// before a number is skipped, and a number is the longest run of characters
// that is, or begins, a decimal number (sign, digits, point, exponent). A run
// that stops short of a complete number ("-", ".", "1e", "2.5e+") is no number.

#include <cstddef>
#include <optional>
#include <string_view>

namespace velscan {

enum class ScanResult {
    Number,     // token holds a complete decimal number
    NotNumber,  // the next characters do not form a number
    End,        // only white space was left
};

class LookupScanner {
public:
    explicit LookupScanner(std::string_view text) : text_(text) {}

    // Skips white space (line ends included), then takes the next number.
    ScanResult Next(std::string_view& token);

    // Skips space characters only; a tab or a line end stays.
    void SkipSpaces();

    // A line feed, a carriage return directly before a line feed, or the end.
    bool AtLineEnd() const;

private:
    std::size_t DigitsFrom(std::size_t pos) const;

    std::string_view text_;
    std::size_t pos_ = 0;
};

// Single precision, rounded once from the decimal text; below the float range
// the result is zero or a denormal as the C library gives it. A value whose
// magnitude single precision cannot hold (it would round to infinity) is no
// number for the loader: nullopt, so no table entry is ever infinite, and no
// distance computed from one is ever nan.
std::optional<float> DecimalToFloat(std::string_view token);
double DecimalToDouble(std::string_view token);

}  // namespace velscan
