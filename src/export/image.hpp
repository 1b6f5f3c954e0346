#pragma once
// An 8-bit picture, rows top to bottom, grey (1 channel) or RGB (3).

#include <cstdint>
#include <vector>

#include "export/export_outputs.hpp"

namespace velscan::exporter {

struct Image {
    int width = 0;
    int height = 0;
    int channels = 3;
    std::vector<std::uint8_t> pixels;  // width × height × channels

    Image(int w, int h, int c) : width(w), height(h), channels(c),
        pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * static_cast<std::size_t>(c), 0) {}
    std::uint8_t* At(int x, int y) {
        return pixels.data() + (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                                static_cast<std::size_t>(x)) * static_cast<std::size_t>(channels);
    }
};

// Writes the picture as PNG into the output's stream; throws OutputError (also when this build has no
// PNG support).
void WritePng(files::OutputFile& output, const Image& image);

}  // namespace velscan::exporter
