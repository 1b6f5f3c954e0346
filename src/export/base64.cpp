#include "export/base64.hpp"

namespace velscan::exporter {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

}  // namespace

void AppendBase64(std::string& out, std::span<const std::uint8_t> bytes) {
    const std::size_t start = out.size();
    out.resize(start + (bytes.size() + 2) / 3 * 4);
    char* cursor = out.data() + start;
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const std::uint32_t group = std::uint32_t{bytes[i]} << 16 | std::uint32_t{bytes[i + 1]} << 8 | bytes[i + 2];
        *cursor++ = kAlphabet[group >> 18];
        *cursor++ = kAlphabet[(group >> 12) & 63];
        *cursor++ = kAlphabet[(group >> 6) & 63];
        *cursor++ = kAlphabet[group & 63];
    }
    const std::size_t left = bytes.size() - i;
    if (left == 0) return;
    const std::uint32_t group =
        std::uint32_t{bytes[i]} << 16 | (left == 2 ? std::uint32_t{bytes[i + 1]} << 8 : 0u);
    *cursor++ = kAlphabet[group >> 18];
    *cursor++ = kAlphabet[(group >> 12) & 63];
    *cursor++ = left == 2 ? kAlphabet[(group >> 6) & 63] : '=';
    *cursor = '=';
}

}  // namespace velscan::exporter
