#include "image/raster/Canvas.h"

#include <algorithm>
#include <array>

namespace kelv::raster {
namespace {

// Hatch patterns: one byte a row, the top bit the leftmost pixel, a set bit a hatch pixel.
using Pattern = std::array<uint8_t, 8>;
constexpr Pattern kHorizontal{0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF};
constexpr Pattern kVertical{0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08};
constexpr Pattern kDownward{0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01};
constexpr Pattern kUpward{0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80};
constexpr Pattern kCross{0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0xFF};
constexpr Pattern kDiagonalCross{0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81};

const Pattern* pattern_of(BrushStyle s) {
  switch (s) {
    case BrushStyle::Horizontal: return &kHorizontal;
    case BrushStyle::Vertical: return &kVertical;
    case BrushStyle::DownwardDiagonal: return &kDownward;
    case BrushStyle::UpwardDiagonal: return &kUpward;
    case BrushStyle::Cross: return &kCross;
    case BrushStyle::DiagonalCross: return &kDiagonalCross;
    default: return nullptr;
  }
}

bool clip(const Bitmap& bmp, Rect& r) {
  r.left = std::max(r.left, 0);
  r.top = std::max(r.top, 0);
  r.right = std::min(r.right, bmp.width());
  r.bottom = std::min(r.bottom, bmp.height());
  return r.left < r.right && r.top < r.bottom;
}

}  // namespace

void fill_rect(Bitmap& bmp, Rect r, const Brush& brush) {
  if (brush.style == BrushStyle::Clear || !clip(bmp, r)) return;
  Bgr c = resolve(brush.colour);
  const Pattern* pat = pattern_of(brush.style);
  size_t w = static_cast<size_t>(r.right - r.left);
  for (int32_t y = r.top; y < r.bottom; ++y) {
    uint8_t* p = bmp.row(y) + 3 * static_cast<size_t>(r.left);
    if (!pat) {
      // Solid: the first pixel is set, then the run doubles itself.
      p[0] = c.b, p[1] = c.g, p[2] = c.r;
      size_t done = 1;
      while (done < w) {
        size_t n = std::min(done, w - done);
        std::copy_n(p, 3 * n, p + 3 * done);
        done += n;
      }
      continue;
    }
    uint8_t bits = (*pat)[static_cast<size_t>(y & 7)];
    for (int32_t x = r.left; x < r.right; ++x, p += 3)
      if (bits & (0x80 >> (x & 7))) p[0] = c.b, p[1] = c.g, p[2] = c.r;
  }
}

}  // namespace kelv::raster
