// Helpers for tests that compare whole pictures: the real photographs kept under
// tests/inputs, patterned bitmaps, and the peak signal-to-noise ratio between two
// pictures of one size.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image/codec/jpeg.h"
#include "image/raster/bitmap.h"

namespace kelv::test {

inline std::vector<uint8_t> read_input(const std::string& relative) {
  std::ifstream f(std::string(KELV_TEST_INPUTS) + "/" + relative, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

inline const std::vector<std::string>& photos() {
  static const std::vector<std::string> names = {"jpeg/photo/dragonfly-crop.jpg", "jpeg/photo/nuthatch-crop.jpg"};
  return names;
}

inline raster::Bitmap decode_photo(const std::string& relative) {
  raster::Bitmap b;
  EXPECT_TRUE(codec::read_jpeg(read_input(relative), b)) << relative;
  return b;
}

// Every pixel different from its neighbours: blue from x, green from y, red from both.
inline raster::Bitmap pattern(int32_t w, int32_t h) {
  raster::Bitmap b(w, h, raster::Bitmap::Fill::None);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      b.set_pixel(x, y,
                  raster::Bgr{static_cast<uint8_t>(x * 7 + 3), static_cast<uint8_t>(y * 11 + 5),
                              static_cast<uint8_t>(x * 5 + y * 3)});
  return b;
}

inline bool same_pixels(const raster::Bitmap& a, const raster::Bitmap& b) {
  if (a.width() != b.width() || a.height() != b.height()) return false;
  for (int32_t y = 0; y < a.height(); ++y)
    for (int32_t x = 0; x < a.width(); ++x)
      if (!(a.pixel(x, y) == b.pixel(x, y))) return false;
  return true;
}

// PSNR in dB of `a` against a reference given as doubles, three a pixel, row by row;
// infinity when they are equal.
inline double psnr(const raster::Bitmap& a, const std::vector<double>& reference) {
  double sum = 0;
  size_t i = 0;
  for (int32_t y = 0; y < a.height(); ++y) {
    const uint8_t* p = a.row(y);
    for (int32_t k = 0; k < 3 * a.width(); ++k, ++i) sum += (p[k] - reference[i]) * (p[k] - reference[i]);
  }
  const double mse = sum / static_cast<double>(i);
  return mse == 0 ? INFINITY : 10 * std::log10(255.0 * 255.0 / mse);
}

inline double psnr(const raster::Bitmap& a, const raster::Bitmap& b) {
  std::vector<double> reference;
  reference.reserve(3 * static_cast<size_t>(b.width()) * static_cast<size_t>(b.height()));
  for (int32_t y = 0; y < b.height(); ++y)
    for (int32_t k = 0; k < 3 * b.width(); ++k) reference.push_back(b.row(y)[k]);
  return psnr(a, reference);
}

}  // namespace kelv::test
