#pragma once
// Base64 (RFC 4648, with padding) of a block of bytes, for the binary data
// the HTML viewer carries inside its page.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace velscan::exporter {

// Appends the encoding of `bytes` to `out`.
void AppendBase64(std::string& out, std::span<const std::uint8_t> bytes);

}  // namespace velscan::exporter
