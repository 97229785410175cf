// Area averaging against an exact box filter computed in double precision on real
// photographs, exact cases (flat colour, whole-number ratios), clipping, rectangles far
// larger than the bitmap, and transparent sources.
#include "image/raster/resample.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <utility>
#include <vector>

#include "image/raster/blit.h"
#include "unit/image/pixels.h"

namespace kelv::raster {
namespace {

using Weights = std::vector<std::vector<std::pair<int32_t, double>>>;

// Destination pixel i covers source coordinates [i*s/d, (i+1)*s/d); every source pixel
// weighs by the length it shares with that span, divided by the span.
Weights box_weights(int32_t s, int32_t d) {
  Weights w(static_cast<size_t>(d));
  const double step = static_cast<double>(s) / d;
  for (int32_t i = 0; i < d; ++i) {
    const double lo = i * step, hi = (i + 1) * step;
    for (auto j = static_cast<int32_t>(std::floor(lo)); j < std::min<double>(std::ceil(hi), s); ++j) {
      const double overlap = std::min<double>(hi, j + 1) - std::max<double>(lo, j);
      if (overlap > 0) w[static_cast<size_t>(i)].push_back({j, overlap / step});
    }
  }
  return w;
}

std::vector<double> box_reference(const Bitmap& src, int32_t dw, int32_t dh) {
  const Weights wx = box_weights(src.width(), dw), wy = box_weights(src.height(), dh);
  std::vector<double> out;
  out.reserve(3 * static_cast<size_t>(dw) * static_cast<size_t>(dh));
  for (int32_t y = 0; y < dh; ++y)
    for (int32_t x = 0; x < dw; ++x)
      for (int c = 0; c < 3; ++c) {
        double sum = 0;
        for (auto [sy, fy] : wy[static_cast<size_t>(y)])
          for (auto [sx, fx] : wx[static_cast<size_t>(x)]) sum += fy * fx * src.row(sy)[3 * sx + c];
        out.push_back(sum);
      }
  return out;
}

Bitmap area(const Bitmap& src, int32_t w, int32_t h) {
  Bitmap out(w, h);
  resample_area(out, Rect{0, 0, w, h}, src);
  return out;
}

Bitmap flat(int32_t w, int32_t h, Bgr c) {
  Bitmap b(w, h, Bitmap::Fill::None);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) b.set_pixel(x, y, c);
  return b;
}

TEST(Resample, RealPhotosMatchTheExactBoxAverage) {
  // Reductions and enlargements by whole and uneven ratios, and one of each at once.
  const std::pair<int32_t, int32_t> sizes[] = {{160, 120}, {100, 75},   {37, 29},   {383, 287}, {192, 144},
                                               {500, 401}, {1152, 864}, {200, 500}, {1, 1}};
  for (const std::string& name : test::photos()) {
    const Bitmap src = test::decode_photo(name);
    for (auto [w, h] : sizes) {
      const Bitmap out = area(src, w, h);
      const std::vector<double> ref = box_reference(src, w, h);
      EXPECT_GE(test::psnr(out, ref), 40.0) << name << " to " << w << "x" << h;
      double worst = 0;
      for (int32_t y = 0; y < h; ++y)
        for (int32_t k = 0; k < 3 * w; ++k)
          worst = std::max(worst, std::abs(out.row(y)[k] - ref[(static_cast<size_t>(y) * w) * 3 + k]));
      EXPECT_LE(worst, 1.0) << name << " to " << w << "x" << h;
    }
  }
}

// Each destination pixel of a whole-ratio reduction by fx x fy is the mean of its block,
// rounded half up.
void expect_block_means(const Bitmap& src, int32_t fx, int32_t fy) {
  const int32_t w = src.width() / fx, h = src.height() / fy, n = fx * fy;
  const Bitmap out = area(src, w, h);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c) {
        int sum = 0;
        for (int32_t dy = 0; dy < fy; ++dy)
          for (int32_t dx = 0; dx < fx; ++dx) sum += src.row(fy * y + dy)[3 * (fx * x + dx) + c];
        ASSERT_EQ(out.row(y)[3 * x + c], (2 * sum + n) / (2 * n)) << fx << "x" << fy << " at " << x << "," << y;
      }
}

TEST(Resample, WholeRatiosAreExact) {
  // Halves, thirds and a mix: sums with every remainder occur, ties included.
  expect_block_means(test::pattern(12, 8), 2, 2);
  expect_block_means(test::pattern(12, 9), 3, 3);
  expect_block_means(test::pattern(12, 9), 4, 1);
  const Bitmap src = test::pattern(12, 9);
  // Enlarging three times: every source pixel becomes a 3x3 block of itself.
  const Bitmap big = area(src, 36, 27);
  for (int32_t y = 0; y < 27; ++y)
    for (int32_t x = 0; x < 36; ++x) ASSERT_EQ(big.pixel(x, y), src.pixel(x / 3, y / 3)) << x << "," << y;
  // At its own size the copy is exact.
  EXPECT_TRUE(test::same_pixels(area(src, 12, 9), src));
}

TEST(Resample, AFlatColourStaysExactAtAnyRatio) {
  // The weights of each destination pixel sum to exactly one.
  const Bgr c{201, 13, 77};
  const std::pair<std::pair<int32_t, int32_t>, std::pair<int32_t, int32_t>> cases[] = {
      {{7, 5}, {3, 2}}, {{1000, 1}, {3, 1}}, {{1, 1}, {640, 480}}, {{5000, 3}, {7, 9}}, {{3, 70000}, {2, 3}}};
  for (auto [from, to] : cases) {
    const Bitmap out = area(flat(from.first, from.second, c), to.first, to.second);
    for (int32_t y = 0; y < out.height(); ++y)
      for (int32_t x = 0; x < out.width(); ++x)
        ASSERT_EQ(out.pixel(x, y), c) << from.first << "x" << from.second << " to " << to.first << "x" << to.second;
  }
}

TEST(Resample, AVeryLargeReductionStaysWithinOneLevel) {
  // 20,000 source pixels into one: the weights take more bits as the taps grow.
  Bitmap src(20000, 1, Bitmap::Fill::None);
  double sum = 0;
  for (int32_t x = 0; x < 20000; ++x) {
    auto v = static_cast<uint8_t>((x * 37) % 256 ^ (x & 1 ? 0xFF : 0));
    src.set_pixel(x, 0, Bgr{v, v, v});
    sum += v;
  }
  const Bitmap out = area(src, 1, 1);
  EXPECT_LE(std::abs(out.pixel(0, 0).b - sum / 20000), 1.0);
}

TEST(Resample, ClipsToTheDestinationLikeAnUnclippedDraw) {
  const Bitmap src = test::decode_photo(test::photos()[0]);
  // The full picture at 90x70 on a large canvas, and the same rectangle moved partly off
  // a small bitmap: the visible pixels must be the same.
  Bitmap whole(90, 70);
  resample_area(whole, Rect{0, 0, 90, 70}, src);
  Bitmap small(40, 30);
  resample_area(small, Rect{-25, -33, 65, 37}, src);
  for (int32_t y = 0; y < 30; ++y)
    for (int32_t x = 0; x < 40; ++x) {
      const bool inside = x < 65 && y < 37;
      if (inside)
        ASSERT_EQ(small.pixel(x, y), whole.pixel(x + 25, y + 33)) << x << "," << y;
      else
        ASSERT_EQ(small.pixel(x, y), (Bgr{255, 255, 255})) << x << "," << y;
    }
}

TEST(Resample, ARectangleFarLargerThanTheBitmapCostsOnlyWhatShows) {
  // Two source pixels over four billion destination columns: the left half of the
  // rectangle is blue, the right half red; the bitmap sees only the border between,
  // which falls between its columns 3 and 4.
  Bitmap src(2, 1, Bitmap::Fill::None);
  src.set_pixel(0, 0, Bgr{255, 0, 0});
  src.set_pixel(1, 0, Bgr{0, 0, 255});
  Bitmap dst(8, 2);
  resample_area(dst, Rect{INT32_MIN + 9, -5, INT32_MAX, 100}, src);
  for (int32_t x = 0; x < 8; ++x) EXPECT_EQ(dst.pixel(x, 1), x < 4 ? (Bgr{255, 0, 0}) : (Bgr{0, 0, 255})) << x;
  // Empty and inverted rectangles draw nothing.
  Bitmap untouched(4, 4);
  resample_area(untouched, Rect{0, 0, 0, 4}, src);
  resample_area(untouched, Rect{3, 3, 1, 1}, src);
  resample_area(untouched, Rect{0, 0, 4, 4}, Bitmap());
  EXPECT_TRUE(test::same_pixels(untouched, Bitmap(4, 4)));
}

TEST(Resample, ATransparentSourceLeavesItsColourOut) {
  const Bgr key{0, 255, 0}, under{10, 20, 30};
  const uint8_t under_bytes[3] = {under.b, under.g, under.r};
  Bitmap src = test::pattern(4, 2);
  src.set_pixel(0, 0, key);  // one of four in the first 2x2 block
  src.set_pixel(2, 0, key), src.set_pixel(3, 0, key), src.set_pixel(2, 1, key), src.set_pixel(3, 1, key);
  src.transparency() = Transparency{true, true, to_colour(key)};

  // At its own size: exactly a transparent copy.
  Bitmap copied = flat(4, 2, under), expected = flat(4, 2, under);
  resample_area(copied, Rect{0, 0, 4, 2}, src);
  stretch_copy(expected, Rect{0, 0, 4, 2}, src);
  EXPECT_TRUE(test::same_pixels(copied, expected));

  // Halved: the first block is three quarters the mean of its three other pixels and one
  // quarter the destination; the second block, all transparent, leaves it alone.
  Bitmap halved = flat(2, 1, under);
  resample_area(halved, Rect{0, 0, 2, 1}, src);
  for (int c = 0; c < 3; ++c) {
    const double mean = (src.row(0)[3 + c] + src.row(1)[c] + src.row(1)[3 + c]) / 3.0;
    const double want = 0.75 * mean + 0.25 * under_bytes[c];
    EXPECT_LE(std::abs(halved.row(0)[c] - want), 0.5 + 1e-9) << c;
  }
  EXPECT_EQ(halved.pixel(1, 0), under);
}

TEST(Resample, ScalingAnImageOntoItselfReadsTheOldPixels) {
  Bitmap b = test::pattern(20, 10);
  const Bitmap before(b);
  resample_area(b, Rect{5, 0, 15, 5}, b);
  Bitmap expected(before);
  resample_area(expected, Rect{5, 0, 15, 5}, before);
  EXPECT_TRUE(test::same_pixels(b, expected));
}

TEST(Resample, TheNearestModeIsTheStretchCopy) {
  const Bitmap src = test::pattern(13, 7);
  Bitmap a(30, 20), b(30, 20);
  scale_copy(a, Rect{-3, 2, 26, 19}, src, Resample::Nearest);
  stretch_copy(b, Rect{-3, 2, 26, 19}, src);
  EXPECT_TRUE(test::same_pixels(a, b));
  scale_copy(a, Rect{-3, 2, 26, 19}, src, Resample::Area);
  resample_area(b, Rect{-3, 2, 26, 19}, src);
  EXPECT_TRUE(test::same_pixels(a, b));
}

}  // namespace
}  // namespace kelv::raster
