// Flips in place, and the eight camera orientations turned upright: sizes, and where
// the stored corners end up as the tag's definition says.
#include "image/raster/orientation.h"

#include <gtest/gtest.h>

#include "image/raster/blit.h"
#include "unit/image/pixels.h"

namespace kelv::raster {
namespace {

TEST(Flip, MirrorsInPlaceAndKeepsTheState) {
  for (int32_t w : {1, 4, 5}) {
    for (int32_t h : {1, 3, 4}) {
      const Bitmap src = test::pattern(w, h);
      Bitmap hor(src), ver(src);
      hor.transparency() = Transparency{true, true, 0x123456};
      flip(hor, Axis::Horizontal);
      flip(ver, Axis::Vertical);
      for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
          ASSERT_EQ(hor.pixel(x, y), src.pixel(w - 1 - x, y)) << w << "x" << h << " at " << x << "," << y;
          ASSERT_EQ(ver.pixel(x, y), src.pixel(x, h - 1 - y)) << w << "x" << h << " at " << x << "," << y;
        }
      EXPECT_TRUE(hor.transparency().enabled);
      EXPECT_EQ(hor.transparency().colour, 0x123456);
    }
  }
  Bitmap none;
  flip(none, Axis::Horizontal);
  flip(none, Axis::Vertical);
  EXPECT_TRUE(none.empty());
}

// Where the stored picture's top-left and top-right pixels belong in the upright one,
// per orientation, as the tag defines it (row 0 and column 0 of the stored picture are
// the upright picture's top and left side (1), top and right (2), bottom and right (3),
// bottom and left (4), left and top (5), right and top (6), right and bottom (7), left
// and bottom (8)). Corners are given as 0 (left or top) or 1 (right or bottom).
struct Corners {
  int tl_x, tl_y, tr_x, tr_y;
};
constexpr Corners kDefinition[9] = {
    {0, 0, 1, 0},                                            // unused
    {0, 0, 1, 0}, {1, 0, 0, 0}, {1, 1, 0, 1}, {0, 1, 1, 1},  // 1-4
    {0, 0, 0, 1}, {1, 0, 1, 1}, {1, 1, 1, 0}, {0, 1, 0, 0},  // 5-8
};

TEST(Orientation, EachOfTheEightTurnsTheStoredCornersWhereTheTagSays) {
  const int32_t w = 6, h = 4;
  const Bitmap stored = test::pattern(w, h);
  for (int32_t o = 1; o <= 8; ++o) {
    const Bitmap up = upright(stored, o);
    const bool swapped = o >= 5;
    EXPECT_EQ(swaps_sides(o), swapped) << o;
    ASSERT_EQ(up.width(), swapped ? h : w) << o;
    ASSERT_EQ(up.height(), swapped ? w : h) << o;
    const Corners c = kDefinition[o];
    const int32_t right = up.width() - 1, bottom = up.height() - 1;
    EXPECT_EQ(up.pixel(c.tl_x * right, c.tl_y * bottom), stored.pixel(0, 0)) << o;
    EXPECT_EQ(up.pixel(c.tr_x * right, c.tr_y * bottom), stored.pixel(w - 1, 0)) << o;
    // Every pixel moved, none lost: the upright picture holds each stored pixel once
    // (the pattern's pixels are all different).
    int matched = 0;
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x)
        for (int32_t v = 0; v < up.height(); ++v)
          for (int32_t u = 0; u < up.width(); ++u) matched += up.pixel(u, v) == stored.pixel(x, y);
    EXPECT_EQ(matched, w * h) << o;
  }
}

TEST(Orientation, ValuesOutsideTheTagsRangeCountAsUpright) {
  const Bitmap stored = test::pattern(5, 3);
  for (int32_t o : {0, -1, 9, 1000}) {
    EXPECT_FALSE(swaps_sides(o));
    EXPECT_TRUE(test::same_pixels(upright(stored, o), stored)) << o;
  }
  // The turned picture is new: not transparent, whatever the stored one was.
  Bitmap keyed(stored);
  keyed.transparency() = Transparency{true, true, 0};
  EXPECT_FALSE(upright(keyed, 6).transparency().enabled);
  EXPECT_FALSE(upright(keyed, 1).transparency().enabled);
}

}  // namespace
}  // namespace kelv::raster
