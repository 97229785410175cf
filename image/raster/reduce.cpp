#include "image/raster/reduce.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

#include "common/status.h"

namespace kelv::raster {
namespace {

// The largest factor that keeps `size` at least `least` blocks: ceil(size / f) >= least
// holds while (least - 1) * f < size.
int32_t factor_for(int32_t size, int32_t least) {
  if (least <= 1) return INT32_MAX;
  if (least > size) return 1;
  return std::max(1, (size - 1) / (least - 1));
}

}  // namespace

int32_t reduction_factor(int32_t width, int32_t height, int32_t min_width, int32_t min_height) {
  if (width <= 0 || height <= 0) return 1;
  int32_t f = std::min(factor_for(width, min_width), factor_for(height, min_height));
  // Unbounded both ways: down to one pixel.
  if (f == INT32_MAX) f = std::max(width, height);
  return std::max(f, 1);
}

RowBuilder::RowBuilder(int32_t width, int32_t height, int32_t factor)
    : m_width(width), m_height(height), m_factor(std::max(factor, 1)) {
  // A source row is held at three bytes a pixel (four for the callers' alpha rows): its
  // size must be one the address space can take.
  if (width < 0 || height < 0 || static_cast<uint64_t>(width) * 4 > SIZE_MAX / 2)
    throw Failure(Status::InvalidBitmapSize);
  m_out = Bitmap(reduced_size(width, m_factor), reduced_size(height, m_factor), Bitmap::Fill::None);
  if (m_factor > 1) {
    m_row.resize(3 * static_cast<size_t>(width));
    m_sums.assign(3 * static_cast<size_t>(m_out.width()), 0);
  }
}

uint8_t* RowBuilder::next_row() {
  if (m_rows >= m_height) throw Failure(Status::InvalidBitmapSize);
  return m_factor == 1 ? m_out.row(m_rows) : m_row.data();
}

void RowBuilder::add(const uint8_t* row) {
  std::memcpy(next_row(), row, 3 * static_cast<size_t>(m_width));
  add();
}

void RowBuilder::add() {
  if (m_rows >= m_height) return;
  ++m_rows;
  if (m_factor == 1) return;
  // The row's blocks of `factor` pixels summed into their result pixels. A block's sum
  // of a row is at most factor x 255, and of the whole block factor^2 x 255: that fits
  // 32 bits for every factor up to 4104; beyond, the rows' sums are averaged per row
  // first (flush_block does that when a block would overflow).
  const uint8_t* p = m_row.data();
  uint32_t* s = m_sums.data();
  const int32_t out_w = m_out.width();
  for (int32_t j = 0; j < out_w; ++j, s += 3) {
    const int32_t n = std::min(m_factor, m_width - j * m_factor);
    uint32_t b = 0, g = 0, r = 0;
    for (int32_t k = 0; k < n; ++k, p += 3) b += p[0], g += p[1], r += p[2];
    if (m_factor > 4104) {
      // Very large blocks: each row's block mean, so that the sums stay within range.
      b = (b + n / 2) / n, g = (g + n / 2) / n, r = (r + n / 2) / n;
    }
    s[0] += b, s[1] += g, s[2] += r;
  }
  if (++m_block_rows == m_factor || m_rows == m_height) flush_block();
}

void RowBuilder::flush_block() {
  if (m_block_rows == 0) return;
  const int32_t y = (m_rows - 1) / m_factor;
  uint8_t* out = m_out.row(y);
  uint32_t* s = m_sums.data();
  const int32_t out_w = m_out.width();
  for (int32_t j = 0; j < out_w; ++j, s += 3, out += 3) {
    const uint64_t cols = m_factor > 4104 ? 1 : static_cast<uint64_t>(std::min(m_factor, m_width - j * m_factor));
    const uint64_t n = cols * static_cast<uint64_t>(m_block_rows);
    out[0] = static_cast<uint8_t>((s[0] + n / 2) / n);
    out[1] = static_cast<uint8_t>((s[1] + n / 2) / n);
    out[2] = static_cast<uint8_t>((s[2] + n / 2) / n);
    s[0] = s[1] = s[2] = 0;
  }
  m_block_rows = 0;
}

Bitmap RowBuilder::take() {
  flush_block();
  return std::move(m_out);
}

Bitmap reduce(const Bitmap& src, int32_t factor) {
  RowBuilder b(src.width(), src.height(), factor);
  for (int32_t y = 0; y < src.height(); ++y) b.add(src.row(y));
  return b.take();
}

}  // namespace kelv::raster
