// The raster primitives, drawn with a bitmap's surface and the Windows GDI conventions:
// rectangles are right and bottom exclusive, everything is clipped to the bitmap for any
// coordinates.
#pragma once

#include <cstdint>

#include "image/raster/Bitmap.h"

namespace kelv::raster {

struct Rect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive
};

// Fills a rectangle with a brush: solid, nothing for the clear brush, or the 8x8 hatch
// pattern aligned to the bitmap's origin with its gaps left unpainted.
void fill_rect(Bitmap& bmp, Rect r, const Brush& brush);

}  // namespace kelv::raster
