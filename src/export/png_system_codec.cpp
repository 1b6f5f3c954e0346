// PNG output through the operating system's own encoder (the Windows build,
// which has no libpng): the picture is encoded in memory, then written.
#include <vector>

#include "export/image.hpp"
#include "export/stream_failure.hpp"
#include "platform/picture/png_encoder.hpp"

namespace velscan::exporter {

void WritePng(std::FILE* out, const Image& image) {
    std::vector<std::uint8_t> bytes;
    try {
        bytes = picture::EncodePng(image.width, image.height, image.channels, image.pixels);
    } catch (const picture::EncodeFailure& failure) {
        throw StreamFailure(failure.what());
    }
    WriteAll(out, bytes.data(), bytes.size());
}

}  // namespace velscan::exporter
