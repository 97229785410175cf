#include "image/raster/canvas.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace kelv::raster {
namespace {

// Hatch patterns: one byte a row, the top bit the leftmost pixel, a set bit a hatch pixel.
using Pattern = std::array<uint8_t, 8>;
constexpr Pattern kHorizontal{0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00};
constexpr Pattern kVertical{0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08};
constexpr Pattern kDownward{0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01};
constexpr Pattern kUpward{0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80};
constexpr Pattern kCross{0x08, 0x08, 0x08, 0xFF, 0x08, 0x08, 0x08, 0x08};
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

namespace kelv::raster {
namespace {

void plot(Bitmap& bmp, int64_t x, int64_t y, Bgr c) {
  if (x >= 0 && y >= 0 && x < bmp.width() && y < bmp.height())
    bmp.set_pixel(static_cast<int32_t>(x), static_cast<int32_t>(y), c);
}

// A filled disc of the given diameter centred on the pixel (x, y): the pen's tip for
// widths above 1.
void disc(Bitmap& bmp, int64_t x, int64_t y, int32_t width, Bgr c) {
  double r = width / 2.0;
  int64_t reach = width / 2 + 1;
  for (int64_t dy = -reach; dy <= reach; ++dy) {
    int64_t yy = y + dy;
    if (yy < 0 || yy >= bmp.height()) continue;
    for (int64_t dx = -reach; dx <= reach; ++dx) {
      if (static_cast<double>(dx * dx + dy * dy) <= r * r - 0.25) plot(bmp, x + dx, yy, c);
    }
  }
}

// The pixels of a line from (x0, y0) to (x1, y1), end point excluded, along the major
// axis with the minor coordinate rounded (Bresenham). Only the steps whose major
// coordinate falls inside the bitmap are walked, so far-away coordinates cost nothing.
template <class Plot>
void walk_line(const Bitmap& bmp, int64_t x0, int64_t y0, int64_t x1, int64_t y1, int64_t margin, Plot plot_fn) {
  int64_t dx = x1 - x0, dy = y1 - y0;
  int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
  if (adx == 0 && ady == 0) return;  // zero length: the end point is the start
  bool x_major = adx >= ady;
  int64_t len = x_major ? adx : ady;
  int64_t minor = x_major ? ady : adx;
  int64_t smaj = (x_major ? dx : dy) < 0 ? -1 : 1;
  int64_t smin = (x_major ? dy : dx) < 0 ? -1 : 1;
  int64_t maj0 = x_major ? x0 : y0, min0 = x_major ? y0 : x0;
  int64_t limit = x_major ? bmp.width() : bmp.height();
  // Steps i in [lo, hi) whose major coordinate lies in [-margin, limit + margin).
  int64_t lo = 0, hi = len;
  if (smaj > 0) {
    lo = std::max<int64_t>(lo, -margin - maj0);
    hi = std::min<int64_t>(hi, limit + margin - maj0);
  } else {
    lo = std::max<int64_t>(lo, maj0 - (limit + margin - 1));
    hi = std::min<int64_t>(hi, maj0 + margin + 1);
  }
  for (int64_t i = lo; i < hi; ++i) {
    // Minor offset: i * minor / len rounded to nearest, halves toward the start, i.e.
    // floor((2 i minor + len - 1) / (2 len)). Both factors are below 2^32, so their
    // product fits 64 unsigned bits; the rounding is done on the remainder.
    uint64_t prod = static_cast<uint64_t>(i) * static_cast<uint64_t>(minor);
    uint64_t ulen = static_cast<uint64_t>(len);
    uint64_t q = prod / ulen, rem = prod % ulen;
    int64_t off = static_cast<int64_t>(q + (2 * rem + ulen - 1) / (2 * ulen));
    int64_t maj = maj0 + smaj * i, mnr = min0 + smin * off;
    if (x_major)
      plot_fn(maj, mnr);
    else
      plot_fn(mnr, maj);
  }
}

}  // namespace

void move_to(Bitmap& bmp, int32_t x, int32_t y) { bmp.surface().position = {x, y}; }

void line_to(Bitmap& bmp, int32_t x, int32_t y) {
  Surface& s = bmp.surface();
  Bgr c = resolve(s.pen.colour);
  int32_t w = s.pen.width;
  if (w <= 1) {
    walk_line(bmp, s.position.x, s.position.y, x, y, 0, [&](int64_t px, int64_t py) { plot(bmp, px, py, c); });
  } else {
    // A wide pen: its round tip along the path, both ends included.
    walk_line(bmp, s.position.x, s.position.y, x, y, w, [&](int64_t px, int64_t py) { disc(bmp, px, py, w, c); });
    disc(bmp, x, y, w, c);
  }
  s.position = {x, y};
}

void rectangle(Bitmap& bmp, Rect r) {
  Surface& s = bmp.surface();
  if (r.right <= r.left || r.bottom <= r.top) return;
  // The inside first, then the outline over its border pixels.
  fill_rect(bmp, Rect{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1}, s.brush);
  Point saved = s.position;
  int32_t l = r.left, t = r.top, rr = r.right - 1, b = r.bottom - 1;
  move_to(bmp, l, t);
  line_to(bmp, rr, t);
  line_to(bmp, rr, b);
  line_to(bmp, l, b);
  line_to(bmp, l, t);
  if (rr == l || b == t) {  // one pixel wide or high: the outline is the whole shape
    fill_rect(bmp, Rect{l, t, rr + 1, b + 1}, Brush{s.pen.colour, BrushStyle::Solid});
  }
  s.position = saved;
}

void ellipse(Bitmap& bmp, Rect r) {
  Surface& s = bmp.surface();
  if (r.right <= r.left || r.bottom <= r.top) return;
  const int64_t W = int64_t{r.right} - r.left, H = int64_t{r.bottom} - r.top;
  const double a = W / 2.0, b = H / 2.0;
  const double cx = r.left + a, cy = r.top + b;
  // The columns inside the ellipse on row y, tested at pixel centres. The half width
  // is taken 0.15 pixel in, which comes closest to GDI's own ellipses.
  auto span = [&](int64_t y, int64_t& x0, int64_t& x1) {
    double v = (y + 0.5 - cy) / b;
    double u2 = 1.0 - v * v;
    if (u2 < 0) return false;
    double half = a * std::sqrt(u2) - 0.15;
    x0 = static_cast<int64_t>(std::ceil(cx - half - 0.5));
    x1 = static_cast<int64_t>(std::floor(cx + half - 0.5));
    if (x1 < x0) {  // a thin row still shows its middle pixel
      x0 = x1 = static_cast<int64_t>(std::floor(cx - 0.5 + 0.5 * (W % 2)));
    }
    return true;
  };
  Bgr pen = resolve(s.pen.colour);
  const int32_t pw = std::max(1, s.pen.width);
  int64_t y_from = std::max<int64_t>(r.top, 0), y_to = std::min<int64_t>(r.bottom, bmp.height());
  for (int64_t y = y_from; y < y_to; ++y) {
    int64_t x0, x1;
    if (!span(y, x0, x1)) continue;
    // The outline: the pixels of this row not covered by the rows above and below.
    int64_t ax0, ax1, bx0, bx1;
    bool above = y > r.top && span(y - 1, ax0, ax1);
    bool below = y + 1 < r.bottom && span(y + 1, bx0, bx1);
    int64_t in0 = std::max(above ? ax0 : x1 + 1, below ? bx0 : x1 + 1);
    int64_t in1 = std::min(above ? ax1 : x0 - 1, below ? bx1 : x0 - 1);
    in0 = std::max(in0, x0 + 1);
    in1 = std::min(in1, x1 - 1);
    if (in0 <= in1) {
      fill_rect(
          bmp,
          Rect{static_cast<int32_t>(std::clamp<int64_t>(in0, INT32_MIN, INT32_MAX)), static_cast<int32_t>(y),
               static_cast<int32_t>(std::clamp<int64_t>(in1 + 1, INT32_MIN, INT32_MAX)), static_cast<int32_t>(y + 1)},
          s.brush);
    }
    for (int64_t x = std::max<int64_t>(x0, 0); x <= std::min<int64_t>(x1, bmp.width() - 1); ++x) {
      if (x >= in0 && x <= in1) continue;
      if (pw > 1)
        disc(bmp, x, y, pw, pen);
      else
        plot(bmp, x, y, pen);
    }
  }
}

}  // namespace kelv::raster
