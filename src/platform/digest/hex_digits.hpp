#pragma once
// Lower-case hex of a digest's bytes.

#include <span>
#include <string>

namespace velscan::platform {

inline std::string LowerHex(std::span<const unsigned char> bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const unsigned char byte : bytes) {
        text.push_back(kDigits[byte >> 4]);
        text.push_back(kDigits[byte & 0x0F]);
    }
    return text;
}

}  // namespace velscan::platform
