#include "export/bitmap_font.hpp"

#include <array>
#include <cstdint>

namespace velscan::exporter {
namespace {

using Glyph = std::array<std::uint8_t, kGlyphHeight>;  // rows, bit 4 leftmost

Glyph GlyphFor(char c) {
    switch (c) {
        case '0': return {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E};
        case '1': return {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E};
        case '2': return {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F};
        case '3': return {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E};
        case '4': return {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02};
        case '5': return {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E};
        case '6': return {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E};
        case '7': return {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08};
        case '8': return {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E};
        case '9': return {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C};
        case '-': return {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00};
        case '.': return {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C};
        case 'i': return {0x04, 0x00, 0x0C, 0x04, 0x04, 0x04, 0x0E};
        case 'n': return {0x00, 0x00, 0x16, 0x19, 0x11, 0x11, 0x11};
        case 'c': return {0x00, 0x00, 0x0E, 0x10, 0x10, 0x11, 0x0E};
        case 'h': return {0x10, 0x10, 0x16, 0x19, 0x11, 0x11, 0x11};
        case 'e': return {0x00, 0x00, 0x0E, 0x11, 0x1F, 0x10, 0x0E};
        case 's': return {0x00, 0x00, 0x0E, 0x10, 0x0E, 0x01, 0x1E};
        default: return {};
    }
}

}  // namespace

void DrawText(Image& image, int x, int y, std::string_view text, int scale, const std::uint8_t* colour) {
    for (const char c : text) {
        const Glyph glyph = GlyphFor(c);
        for (int row = 0; row < kGlyphHeight; ++row)
            for (int column = 0; column < kGlyphWidth; ++column) {
                if (((glyph[static_cast<std::size_t>(row)] >> (kGlyphWidth - 1 - column)) & 1) == 0)
                    continue;
                for (int dy = 0; dy < scale; ++dy)
                    for (int dx = 0; dx < scale; ++dx) {
                        const int px = x + column * scale + dx, py = y + row * scale + dy;
                        if (px < 0 || py < 0 || px >= image.width || py >= image.height) continue;
                        std::uint8_t* pixel = image.At(px, py);
                        for (int k = 0; k < image.channels; ++k) pixel[k] = colour[k];
                    }
            }
        x += kGlyphAdvance * scale;
    }
}

}  // namespace velscan::exporter
