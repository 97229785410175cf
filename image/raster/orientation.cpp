#include "image/raster/orientation.h"

#include <algorithm>
#include <cstring>

#include "image/raster/blit.h"

namespace kelv::raster {

void flip(Bitmap& bmp, Axis axis) {
  const int32_t w = bmp.width(), h = bmp.height();
  if (axis == Axis::Vertical) {
    const size_t bytes = 3 * static_cast<size_t>(w);
    for (int32_t y = 0; y < h / 2; ++y) std::swap_ranges(bmp.row(y), bmp.row(y) + bytes, bmp.row(h - 1 - y));
    return;
  }
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* l = bmp.row(y);
    uint8_t* r = l + 3 * static_cast<size_t>(w - 1);
    for (; l < r; l += 3, r -= 3) {
      std::swap(l[0], r[0]);
      std::swap(l[1], r[1]);
      std::swap(l[2], r[2]);
    }
  }
}

bool swaps_sides(int32_t orientation) { return orientation >= kTransposed && orientation <= kTurnedRight; }

Bitmap upright(const Bitmap& src, int32_t orientation) {
  if (!swaps_sides(orientation)) {
    Bitmap out(src.width(), src.height(), Bitmap::Fill::None);
    if (orientation == kUpsideDown) {
      rotate(src, out, Turn::Half);
      return out;
    }
    for (int32_t y = 0; y < src.height(); ++y)
      std::memcpy(out.row(y), src.row(y), 3 * static_cast<size_t>(src.width()));
    if (orientation == kMirrored) flip(out, Axis::Horizontal);
    if (orientation == kUpsideDownMirrored) flip(out, Axis::Vertical);
    return out;
  }
  Bitmap out(src.height(), src.width(), Bitmap::Fill::None);
  rotate(src, out, orientation == kTurnedRight ? Turn::CounterClockwise : Turn::Clockwise);
  if (orientation == kTransposed) flip(out, Axis::Horizontal);
  if (orientation == kTransverse) flip(out, Axis::Vertical);
  return out;
}

}  // namespace kelv::raster
