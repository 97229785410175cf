// The raster primitives, drawn with a bitmap's surface and the Windows GDI conventions:
// rectangles are right and bottom exclusive, everything is clipped to the bitmap for any
// coordinates.
#pragma once

#include <cstdint>

#include "image/raster/bitmap.h"

namespace kelv::raster {

struct Rect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive
};

// Fills a rectangle with a brush: solid, nothing for the clear brush, or the 8x8 hatch
// pattern aligned to the bitmap's origin with its gaps left unpainted.
void fill_rect(Bitmap& bmp, Rect r, const Brush& brush);

// Moves the pen position.
void move_to(Bitmap& bmp, int32_t x, int32_t y);
// A line with the pen from the pen position to (x, y), which then becomes the pen
// position. The end point itself is not drawn, so that closed outlines meet exactly.
void line_to(Bitmap& bmp, int32_t x, int32_t y);
// The rectangle's outline with the pen and its inside with the brush.
void rectangle(Bitmap& bmp, Rect r);
// The ellipse inscribed in the rectangle: outline with the pen, inside with the brush.
void ellipse(Bitmap& bmp, Rect r);

}  // namespace kelv::raster
