#pragma once
// A 5 × 7 pixel font for the pictures' titles, axes and legends: digits,
// small letters (capitals draw as small letters), the space and
// - . , : _ / \ ( ) + =; any other character draws as '?'.

#include <string_view>

#include "export/image.hpp"

namespace velscan::exporter {

inline constexpr int kGlyphWidth = 5;
inline constexpr int kGlyphHeight = 7;
inline constexpr int kGlyphAdvance = 6;

// Draws `text` with its top left corner at (x, y), each font pixel `scale`
// image pixels wide; pixels outside the picture are skipped.
void DrawText(Image& image, int x, int y, std::string_view text, int scale, const std::uint8_t* colour);

}  // namespace velscan::exporter
