#pragma once
// CRC-32C (the Castagnoli polynomial, reflected, initial value and final
// complement all ones): the checksum that closes every page of an E57 file.

#include <cstddef>
#include <cstdint>

namespace velscan::exporter {

// The CRC-32C of `size` bytes; `crc` continues the checksum of bytes before
// them (0 to start).
std::uint32_t Crc32c(const void* data, std::size_t size, std::uint32_t crc = 0);

}  // namespace velscan::exporter
