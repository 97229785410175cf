// Area averaging, separable: for each destination row the source rows it covers are
// summed with their vertical weights into one accumulator row (a straight multiply-add
// over bytes that the compiler vectorises), then each destination pixel sums the
// accumulator columns it covers with their horizontal weights.
//
// Weights come from exact integer coverage. Along an axis of source length S and
// destination length D, measured in units of 1/D of a source pixel, destination pixel i
// spans [i*S, (i+1)*S) and source pixel j spans [j*D, (j+1)*D); their overlap is an
// integer. The weights of one destination pixel are its cumulative overlap rounded to
// fixed point and differenced, so they always sum to exactly one.
#include "image/raster/resample.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

#include "image/raster/blit.h"

namespace kelv::raster {
namespace {

// Each axis's weights sum to 2^bits. 16 bits serve reductions up to 256:1 within one
// level; each doubling of the taps beyond that takes one more bit, up to 24, which keeps
// a vertical sum (at most 255 * 2^24) inside 32 bits and a whole sum inside 64.
constexpr int kMinBits = 16;
constexpr int kMaxBits = 24;

struct Taps {
  std::vector<int32_t> first;   // first source index of each visible destination index
  std::vector<uint32_t> start;  // where its weights begin; one more entry at the end
  std::vector<uint32_t> weights;
  int bits = kMinBits;

  size_t size() const { return first.size(); }
  uint32_t count(size_t i) const { return start[i + 1] - start[i]; }
  const uint32_t* weights_of(size_t i) const { return weights.data() + start[i]; }
  int32_t last_source() const { return first.back() + static_cast<int32_t>(count(size() - 1)) - 1; }
  // Whether destination indexes i and k take the same sources with the same weights.
  bool same(size_t i, size_t k) const {
    return first[i] == first[k] && count(i) == count(k) &&
           std::equal(weights_of(i), weights_of(i) + count(i), weights_of(k));
  }
};

// The taps of destination indexes [from, to) of an axis scaling `src_len` source pixels
// onto `dst_len` destination pixels.
Taps make_taps(int32_t src_len, int64_t dst_len, int64_t from, int64_t to) {
  Taps t;
  const int64_t S = src_len, D = dst_len;
  const int64_t most = std::min<int64_t>(S, (S + D - 1) / D + 1);
  t.bits = std::clamp(kMinBits + static_cast<int>(std::bit_width(static_cast<uint64_t>(most))) - 9, kMinBits, kMaxBits);
  const size_t n = static_cast<size_t>(to - from);
  t.first.resize(n);
  t.start.resize(n + 1);
  // Neighbours share one source pixel at most, so the taps number at most the source
  // pixels spanned plus one a destination index.
  t.weights.reserve(n + static_cast<size_t>((to * S - 1) / D - from * S / D + 1));
  for (size_t k = 0; k < n; ++k) {
    const int64_t lo = (from + static_cast<int64_t>(k)) * S, hi = lo + S;
    const int64_t j0 = lo / D, j1 = (hi - 1) / D;
    t.first[k] = static_cast<int32_t>(j0);
    t.start[k] = static_cast<uint32_t>(t.weights.size());
    uint64_t done = 0;
    for (int64_t j = j0; j <= j1; ++j) {
      const uint64_t covered = static_cast<uint64_t>(std::min(hi, (j + 1) * D) - lo);
      const uint64_t upto = ((covered << t.bits) + static_cast<uint64_t>(S) / 2) / static_cast<uint64_t>(S);
      t.weights.push_back(static_cast<uint32_t>(upto - done));
      done = upto;
    }
  }
  t.start[n] = static_cast<uint32_t>(t.weights.size());
  return t;
}

// acc[k] = sum of weight * row[k] over the taps, for `bytes` bytes from `offset`.
void accumulate_rows(const Bitmap& src, const Taps& rows, size_t r, size_t offset, size_t bytes, uint32_t* acc) {
  const uint32_t* w = rows.weights_of(r);
  const uint8_t* in = src.row(rows.first[r]) + offset;
  for (size_t k = 0; k < bytes; ++k) acc[k] = w[0] * in[k];
  for (uint32_t t = 1; t < rows.count(r); ++t) {
    in = src.row(rows.first[r] + static_cast<int32_t>(t)) + offset;
    const uint32_t wt = w[t];
    for (size_t k = 0; k < bytes; ++k) acc[k] += wt * in[k];
  }
}

// The transparent-source version: three colour lanes that count only pixels of another
// colour than `key`, and a fourth lane with their coverage (255 a pixel).
void accumulate_keyed(const Bitmap& src, const Taps& rows, size_t r, int32_t col0, size_t cols, Bgr key,
                      uint32_t* acc) {
  std::memset(acc, 0, 4 * cols * sizeof(uint32_t));
  for (uint32_t t = 0; t < rows.count(r); ++t) {
    const uint32_t wt = rows.weights_of(r)[t];
    const uint8_t* in = src.row(rows.first[r] + static_cast<int32_t>(t)) + 3 * static_cast<size_t>(col0);
    for (size_t c = 0; c < cols; ++c, in += 3) {
      if (in[0] == key.b && in[1] == key.g && in[2] == key.r) continue;
      uint32_t* a = acc + 4 * c;
      a[0] += wt * in[0], a[1] += wt * in[1], a[2] += wt * in[2], a[3] += wt * 255;
    }
  }
}

// Sums the accumulator columns each destination pixel covers: Lanes values a column.
template <size_t Lanes>
void sum_columns(const Taps& cols, size_t i, int32_t col0, const uint32_t* acc, uint64_t (&sum)[Lanes]) {
  const uint32_t* w = cols.weights_of(i);
  const uint32_t* a = acc + Lanes * static_cast<size_t>(cols.first[i] - col0);
  for (size_t c = 0; c < Lanes; ++c) sum[c] = 0;
  for (uint32_t t = 0; t < cols.count(i); ++t, a += Lanes)
    for (size_t c = 0; c < Lanes; ++c) sum[c] += uint64_t{w[t]} * a[c];
}

void average_columns(const Taps& cols, int32_t col0, int row_bits, const uint32_t* acc, uint8_t* out) {
  const int shift = cols.bits + row_bits;
  const uint64_t half = uint64_t{1} << (shift - 1);
  for (size_t i = 0; i < cols.size(); ++i, out += 3) {
    uint64_t sum[3];
    sum_columns(cols, i, col0, acc, sum);
    out[0] = static_cast<uint8_t>((sum[0] + half) >> shift);
    out[1] = static_cast<uint8_t>((sum[1] + half) >> shift);
    out[2] = static_cast<uint8_t>((sum[2] + half) >> shift);
  }
}

// The transparent-source version: where the covering pixels fill the whole area, their
// average as above; where they fill some of it, their average over the destination by
// their share of the area; where there are none, the destination stays.
void blend_columns(const Taps& cols, int32_t col0, int row_bits, const uint32_t* acc, uint8_t* out) {
  const int shift = cols.bits + row_bits;
  const uint64_t half = uint64_t{1} << (shift - 1), full = uint64_t{255} << shift;
  const double scale = std::ldexp(1.0, -shift);
  for (size_t i = 0; i < cols.size(); ++i, out += 3) {
    uint64_t sum[4];
    sum_columns(cols, i, col0, acc, sum);
    if (sum[3] == 0) continue;
    if (sum[3] == full) {
      for (size_t c = 0; c < 3; ++c) out[c] = static_cast<uint8_t>((sum[c] + half) >> shift);
      continue;
    }
    const double share = static_cast<double>(sum[3]) / static_cast<double>(full);
    for (size_t c = 0; c < 3; ++c)
      out[c] = static_cast<uint8_t>(std::floor(static_cast<double>(sum[c]) * scale + out[c] * (1.0 - share) + 0.5));
  }
}

}  // namespace

void resample_area(Bitmap& dst, Rect dest, const Bitmap& src) {
  if (&dst == &src) {
    // Reading pixels this very call overwrites would mix old and new: scale a copy.
    const Bitmap copy(src);
    resample_area(dst, dest, copy);
    return;
  }
  if (src.empty() || dest.right <= dest.left || dest.bottom <= dest.top) return;
  const int64_t dw = int64_t{dest.right} - dest.left, dh = int64_t{dest.bottom} - dest.top;
  const int32_t x0 = std::max(dest.left, 0), x1 = std::min(dest.right, dst.width());
  const int32_t y0 = std::max(dest.top, 0), y1 = std::min(dest.bottom, dst.height());
  if (x0 >= x1 || y0 >= y1) return;

  const Taps cols = make_taps(src.width(), dw, int64_t{x0} - dest.left, int64_t{x1} - dest.left);
  const Taps rows = make_taps(src.height(), dh, int64_t{y0} - dest.top, int64_t{y1} - dest.top);
  // Only the source columns that the visible destination columns read.
  const int32_t col0 = cols.first.front();
  const size_t ncols = static_cast<size_t>(cols.last_source() - col0 + 1);
  const size_t nx = cols.size();

  const bool keyed = src.transparency().enabled;
  const Bgr key = keyed ? src.transparent_colour() : Bgr{};
  const size_t lanes = keyed ? 4 : 3;
  std::vector<uint32_t> acc(lanes * ncols);

  for (int32_t y = y0; y < y1; ++y) {
    const size_t r = static_cast<size_t>(y - y0);
    uint8_t* out = dst.row(y) + 3 * static_cast<size_t>(x0);
    if (!keyed && r > 0 && rows.same(r, r - 1)) {
      // An enlargement repeats a row: the row above is already right.
      std::memcpy(out, dst.row(y - 1) + 3 * static_cast<size_t>(x0), 3 * nx);
      continue;
    }
    if (keyed) {
      accumulate_keyed(src, rows, r, col0, ncols, key, acc.data());
      blend_columns(cols, col0, rows.bits, acc.data(), out);
    } else {
      accumulate_rows(src, rows, r, 3 * static_cast<size_t>(col0), 3 * ncols, acc.data());
      average_columns(cols, col0, rows.bits, acc.data(), out);
    }
  }
}

void scale_copy(Bitmap& dst, Rect dest, const Bitmap& src, Resample mode) {
  if (mode == Resample::Area)
    resample_area(dst, dest, src);
  else
    stretch_copy(dst, dest, src);
}

}  // namespace kelv::raster
