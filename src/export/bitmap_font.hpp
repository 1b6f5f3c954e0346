#pragma once
// A 5 × 7 pixel font for the pictures' titles, axes and legends: every
// printable ASCII character (capitals draw as small letters). A byte outside
// it draws as a hollow box; text from outside the program goes through
// FontText first, so that no such box, and no '?' standing for another
// character, appears in a picture.

#include <string>
#include <string_view>

#include "export/image.hpp"

namespace velscan::exporter {

inline constexpr int kGlyphWidth = 5;
inline constexpr int kGlyphHeight = 7;
inline constexpr int kGlyphAdvance = 6;

// Whether the font has a glyph of its own for `c`.
bool HasGlyph(char c);

// `text` (UTF-8) in characters the font has: printable ASCII as it is; a
// letter with an accent as its base letter, and a few signs as their ASCII
// spelling ("°" as "deg", "×" as "x", "µ" as "u", dashes as "-", quotes as
// ' and "); any other character as \uXXXX, and a byte that is no part of a
// UTF-8 character, or a control byte, as \xNN.
std::string FontText(std::string_view text);

// Draws `text` with its top left corner at (x, y), each font pixel `scale`
// image pixels wide; pixels outside the picture are skipped.
void DrawText(Image& image, int x, int y, std::string_view text, int scale, const std::uint8_t* colour);

}  // namespace velscan::exporter
