#pragma once
// Numbers in the simulation's settings: a whole token of decimal digits, or
// hexadecimal digits after 0x / 0X.

#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>

namespace velscan::sim {

inline std::optional<std::uint64_t> ParseUnsigned(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty()) return std::nullopt;
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace velscan::sim
