// A framed thumbnail as a picture of its own: background, one-pixel rings, and the
// source scaled to fit inside the rings with its aspect kept, centred.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "image/raster/bitmap.h"
#include "image/raster/canvas.h"
#include "image/raster/resample.h"

namespace kelv {

struct ThumbFrame {
  int32_t width = 0;  // outer size, rings included
  int32_t height = 0;
  int32_t background = 0;          // a Colour
  std::span<const int32_t> rings;  // ring colours, the outermost first
};

// Where the picture goes: the area inside the rings, filled along the tighter side
// (equal ratios fill the height), the other side rounded to the nearest pixel, centred
// on the outer size with integer halves. None when the rings leave no area, the frame
// has no size, or the source has no pixels.
std::optional<raster::Rect> thumb_picture_rect(const ThumbFrame& frame, int32_t src_width, int32_t src_height);

// The whole thumbnail of `src`. Its drawing surface is left as the framing left it:
// brush the background colour, solid; pen width 1 in the innermost ring's colour (black
// without rings) at (n - 1, n - 1), or (0, 0) without rings. Null where
// thumb_picture_rect gives none; raises a Failure when memory runs out.
std::unique_ptr<raster::Bitmap> make_thumbnail(const raster::Bitmap& src, const ThumbFrame& frame,
                                               raster::Resample mode);

}  // namespace kelv
