#include "image/raster/blit.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace kelv::raster {

void stretch_copy(Bitmap& dst, Rect dest, const Bitmap& src) {
  if (src.empty() || dest.right <= dest.left || dest.bottom <= dest.top) return;
  const int64_t dw = int64_t{dest.right} - dest.left, dh = int64_t{dest.bottom} - dest.top;
  const int32_t x0 = std::max(dest.left, 0), x1 = std::min(dest.right, dst.width());
  const int32_t y0 = std::max(dest.top, 0), y1 = std::min(dest.bottom, dst.height());
  if (x0 >= x1 || y0 >= y1) return;

  const bool transparent = src.transparency().enabled;
  const Bgr key = transparent ? src.transparent_colour() : Bgr{};
  const bool unscaled = dw == src.width() && dh == src.height();
  const size_t n = static_cast<size_t>(x1 - x0);

  // The source column of every visible destination column, computed once.
  std::vector<int32_t> xmap;
  if (!unscaled) {
    xmap.resize(n);
    for (size_t i = 0; i < n; ++i)
      xmap[i] = static_cast<int32_t>((int64_t{x0} + static_cast<int64_t>(i) - dest.left) * src.width() / dw);
  }
  int32_t prev_sy = -1;
  for (int32_t y = y0; y < y1; ++y) {
    int32_t sy = static_cast<int32_t>((int64_t{y} - dest.top) * src.height() / dh);
    uint8_t* out = dst.row(y) + 3 * static_cast<size_t>(x0);
    if (!transparent && sy == prev_sy) {
      // A repeated source row: the row above is already right.
      std::memcpy(out, dst.row(y - 1) + 3 * static_cast<size_t>(x0), 3 * n);
      continue;
    }
    prev_sy = sy;
    const uint8_t* in = src.row(sy);
    if (unscaled && !transparent) {
      std::memcpy(out, in + 3 * static_cast<size_t>(x0 - dest.left), 3 * n);
      continue;
    }
    for (size_t i = 0; i < n; ++i, out += 3) {
      const uint8_t* p = in + 3 * static_cast<size_t>(unscaled ? x0 - dest.left + static_cast<int32_t>(i) : xmap[i]);
      if (transparent && p[0] == key.b && p[1] == key.g && p[2] == key.r) continue;
      out[0] = p[0], out[1] = p[1], out[2] = p[2];
    }
  }
}

void copy_at(Bitmap& dst, int32_t x, int32_t y, const Bitmap& src) {
  int64_t right = int64_t{x} + src.width(), bottom = int64_t{y} + src.height();
  if (right > INT32_MAX || bottom > INT32_MAX) return;
  stretch_copy(dst, Rect{x, y, static_cast<int32_t>(right), static_cast<int32_t>(bottom)}, src);
}

void rotate(const Bitmap& src, Bitmap& dst, Turn turn) {
  const int32_t W = src.width(), H = src.height();
  if (turn == Turn::Half) {
    for (int32_t y = 0; y < H; ++y) {
      const uint8_t* in = src.row(y);
      uint8_t* out = dst.row(H - 1 - y) + 3 * static_cast<size_t>(W - 1);
      for (int32_t x = 0; x < W; ++x, in += 3, out -= 3) out[0] = in[0], out[1] = in[1], out[2] = in[2];
    }
    return;
  }
  // Quarter turns walk the source in square blocks, so that the rows written in the
  // destination stay in the cache while a block is copied.
  std::vector<uint8_t*> rows(static_cast<size_t>(W));
  for (int32_t r = 0; r < W; ++r) rows[static_cast<size_t>(r)] = dst.row(r);
  constexpr int32_t kBlock = 64;
  for (int32_t by = 0; by < H; by += kBlock) {
    int32_t ey = std::min(by + kBlock, H);
    for (int32_t bx = 0; bx < W; bx += kBlock) {
      int32_t ex = std::min(bx + kBlock, W);
      for (int32_t y = by; y < ey; ++y) {
        const uint8_t* in = src.row(y) + 3 * static_cast<size_t>(bx);
        // Clockwise: (x, y) goes to column H-1-y, row x. Counter-clockwise: to column
        // y, row W-1-x.
        size_t col = 3 * static_cast<size_t>(turn == Turn::Clockwise ? H - 1 - y : y);
        for (int32_t x = bx; x < ex; ++x, in += 3) {
          uint8_t* out = rows[static_cast<size_t>(turn == Turn::Clockwise ? x : W - 1 - x)] + col;
          out[0] = in[0], out[1] = in[1], out[2] = in[2];
        }
      }
    }
  }
}

}  // namespace kelv::raster
