// Whole-number reductions of a picture, made from its rows as a decoder gives them: each
// pixel of the result is the mean of a factor x factor block of the source (the blocks
// at the right and bottom edges may be cut short and are averaged over what they hold),
// so a reduced load never holds the whole source picture.
#pragma once

#include <cstdint>
#include <vector>

#include "image/raster/bitmap.h"

namespace kelv::raster {

// The largest whole factor by which a width x height picture can be reduced and still
// be at least min_width x min_height (a bound of 0 or less asks for nothing in its
// direction; a bound larger than the picture asks for the picture as it is).
int32_t reduction_factor(int32_t width, int32_t height, int32_t min_width, int32_t min_height);
// A side's size after reduction by `factor`: the blocks, the last one perhaps short.
inline int32_t reduced_size(int32_t size, int32_t factor) {
  return static_cast<int32_t>((static_cast<int64_t>(size) + factor - 1) / factor);
}

// Builds a bitmap from a picture's rows, top to bottom, whole (factor 1) or reduced.
// With factor 1 the rows are written straight into the new bitmap.
class RowBuilder {
 public:
  // Takes the result's memory at once (the reduced size); raises a Failure when it
  // can't be had.
  RowBuilder(int32_t width, int32_t height, int32_t factor);
  // Where the next source row's width x 3 bytes go, then add() once they are there.
  uint8_t* next_row();
  void add();
  // Adds a row from elsewhere.
  void add(const uint8_t* row);
  int32_t rows_added() const { return m_rows; }
  // The finished bitmap: every source row added, or the rows missing left as they are.
  Bitmap take();

 private:
  void flush_block();

  int32_t m_width, m_height, m_factor;
  int32_t m_rows = 0;
  Bitmap m_out;
  std::vector<uint8_t> m_row;    // the source row being written (reduced builds)
  std::vector<uint32_t> m_sums;  // per result pixel and channel: the block's sum so far
  int32_t m_block_rows = 0;      // source rows in the current block
};

// A whole bitmap reduced by `factor` (1: a copy).
Bitmap reduce(const Bitmap& src, int32_t factor);

}  // namespace kelv::raster
