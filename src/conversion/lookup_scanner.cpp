#include "conversion/lookup_scanner.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>
#include <system_error>

namespace velscan {

namespace {

// White space of the C locale.
bool IsWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsSign(char c) { return c == '+' || c == '-'; }

// from_chars reads without regard to the locale and rounds correctly, but
// leaves the value alone when it lies beyond the type's range; the C library
// then decides between infinity, zero and the nearest denormal.
template <typename Real, typename Fallback>
Real DecimalTo(std::string_view token, Fallback fallback) {
    Real value{};
    // from_chars takes no leading plus sign.
    std::string_view digits = token;
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error == std::errc::result_out_of_range) {
        const std::string copy(token);
        return fallback(copy.c_str());
    }
    return value;
}

}  // namespace

std::size_t LookupScanner::DigitsFrom(std::size_t pos) const {
    std::size_t count = 0;
    while (pos + count < text_.size() && IsDigit(text_[pos + count])) ++count;
    return count;
}

ScanResult LookupScanner::Next(std::string_view& token) {
    while (pos_ < text_.size() && IsWhiteSpace(text_[pos_])) ++pos_;
    if (pos_ == text_.size()) return ScanResult::End;

    const std::size_t start = pos_;
    std::size_t pos = pos_;
    if (IsSign(text_[pos])) ++pos;
    std::size_t mantissaDigits = DigitsFrom(pos);
    pos += mantissaDigits;
    if (pos < text_.size() && text_[pos] == '.') {
        ++pos;
        const std::size_t fraction = DigitsFrom(pos);
        mantissaDigits += fraction;
        pos += fraction;
    }
    if (mantissaDigits == 0) {
        pos_ = pos;
        return ScanResult::NotNumber;
    }
    if (pos < text_.size() && (text_[pos] == 'e' || text_[pos] == 'E')) {
        ++pos;
        if (pos < text_.size() && IsSign(text_[pos])) ++pos;
        const std::size_t exponentDigits = DigitsFrom(pos);
        pos += exponentDigits;
        if (exponentDigits == 0) {
            // "1e" or "1e+" begins a number but does not complete one.
            pos_ = pos;
            return ScanResult::NotNumber;
        }
    }
    token = text_.substr(start, pos - start);
    pos_ = pos;
    return ScanResult::Number;
}

void LookupScanner::SkipSpaces() {
    while (pos_ < text_.size() && text_[pos_] == ' ') ++pos_;
}

bool LookupScanner::AtLineEnd() const {
    if (pos_ == text_.size() || text_[pos_] == '\n') return true;
    return text_[pos_] == '\r' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n';
}

std::optional<float> DecimalToFloat(std::string_view token) {
    const float value =
        DecimalTo<float>(token, [](const char* text) { return std::strtof(text, nullptr); });
    if (std::isinf(value)) return std::nullopt;
    return value;
}

double DecimalToDouble(std::string_view token) {
    return DecimalTo<double>(token, [](const char* text) { return std::strtod(text, nullptr); });
}

}  // namespace velscan
