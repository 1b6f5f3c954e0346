// PNG output through libpng's simplified writing interface.
#include <png.h>

#include "export/image.hpp"

namespace velscan::exporter {

void WritePng(files::OutputFile& output, const Image& image) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = image.channels == 1 ? PNG_FORMAT_GRAY : PNG_FORMAT_RGB;
    if (!png_image_write_to_stdio(&png, output.Stream(), 0, image.pixels.data(), 0, nullptr)) {
        const std::string reason = png.message;
        png_image_free(&png);
        throw OutputError("Error: writing " + output.Target() + " failed: " + reason);
    }
}

}  // namespace velscan::exporter
