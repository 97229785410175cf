// Text with a surface's font: measured and drawn into a bitmap's pixels. The text is
// Unicode (UTF-8, a lone surrogate in its three-byte form); a character the font lacks
// is drawn, and measured, in an installed font that has it. Linux renders with FreeType,
// fonts found through fontconfig (a missing name, "MS Sans Serif" among them, falls back
// to an installed sans-serif font); Windows draws with GDI's wide calls.
#pragma once

#include <cstdint>
#include <string_view>

#include "image/raster/bitmap.h"

namespace kelv::raster {

struct TextExtent {
  int32_t width = 0;
  int32_t height = 0;  // the font's line height, whatever the characters
};

TextExtent measure_text(const Font& font, std::string_view text);
// Draws `text` with its first cell's top-left corner at (x, y) in the font's colour.
// With a solid brush the cells' background is painted with it first.
void draw_text(Bitmap& bmp, int32_t x, int32_t y, std::string_view text, const Font& font, const Brush& brush);

}  // namespace kelv::raster
