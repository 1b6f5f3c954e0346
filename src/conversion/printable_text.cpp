#include "conversion/printable_text.hpp"

namespace velscan {

std::string PrintableText(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string shown;
    shown.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '\t': shown += "\\t"; continue;
        case '\n': shown += "\\n"; continue;
        case '\r': shown += "\\r"; continue;
        default: break;
        }
        if (byte < 0x20 || byte == 0x7f) {
            shown += "\\x";
            shown += kHex[byte >> 4];
            shown += kHex[byte & 0x0f];
        } else {
            shown += c;
        }
    }
    return shown;
}

}  // namespace velscan
