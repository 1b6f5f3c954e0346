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

// The unsigned 16-bit value at byte offset `at` of a record.
inline std::uint16_t DecodeWord16(std::span<const std::byte> record, std::size_t at) {
    return static_cast<std::uint16_t>(std::to_integer<std::uint32_t>(record[at]) |
                                      (std::to_integer<std::uint32_t>(record[at + 1]) << 8));
}

// The 32-bit word at word index `index` of a record.
inline std::uint32_t DecodeWord32(std::span<const std::byte> record, std::size_t index) {
    const std::size_t at = index * 4;
    return std::to_integer<std::uint32_t>(record[at]) |
           (std::to_integer<std::uint32_t>(record[at + 1]) << 8) |
           (std::to_integer<std::uint32_t>(record[at + 2]) << 16) |
           (std::to_integer<std::uint32_t>(record[at + 3]) << 24);
}

// Stores `value` as the 32-bit word at word index `index` of a record.
inline void EncodeWord32(std::span<std::byte> record, std::size_t index, std::uint32_t value) {
    const std::size_t at = index * 4;
    for (std::size_t i = 0; i < 4; ++i) record[at + i] = std::byte((value >> (8 * i)) & 0xFFu);
}

}  // namespace velscan
