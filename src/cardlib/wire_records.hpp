#pragma once
// Little-endian encoding of the control records sent to and read from the card
// driver, independent of the host's byte order.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace velscan {

// Two unsigned 16-bit values, the first in bytes 0..1: a register write
// {register, value} or an encoder word {word, 0}.
inline std::array<std::byte, 4> EncodeWordPair(std::uint16_t first, std::uint16_t second) {
    return {std::byte(first & 0xFFu), std::byte(first >> 8), std::byte(second & 0xFFu),
            std::byte(second >> 8)};
}

inline std::array<std::byte, 2> EncodeWord16(std::uint16_t value) {
    return {std::byte(value & 0xFFu), std::byte(value >> 8)};
}

// The 32-bit word at word index `index` of a record.
inline std::uint32_t DecodeWord32(std::span<const std::byte> record, std::size_t index) {
    const std::size_t at = index * 4;
    return std::to_integer<std::uint32_t>(record[at]) |
           (std::to_integer<std::uint32_t>(record[at + 1]) << 8) |
           (std::to_integer<std::uint32_t>(record[at + 2]) << 16) |
           (std::to_integer<std::uint32_t>(record[at + 3]) << 24);
}

}  // namespace velscan
