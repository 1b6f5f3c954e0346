#pragma once
// PNG encoding through the operating system's own image codecs, for the
// builds that have no libpng (Windows: the Imaging Component).

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace velscan::picture {

// The codec's failure; what() names the step and the system's reason.
class EncodeFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Encodes an 8-bit picture, rows top to bottom, grey (channels 1) or RGB
// (channels 3), `pixels` holding width × height × channels bytes, as the
// bytes of a PNG file. Throws EncodeFailure.
std::vector<std::uint8_t> EncodePng(int width, int height, int channels,
                                    const std::vector<std::uint8_t>& pixels);

}  // namespace velscan::picture
