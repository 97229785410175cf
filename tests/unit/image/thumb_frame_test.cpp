// The framed thumbnail as a picture of its own: with nearest-neighbour sampling exactly
// what MakeThumb makes (pixels and the drawing state left behind), and with area
// averaging the same frame around an averaged picture.
#include "image/thumb_frame.h"

#include <gtest/gtest.h>

#include <vector>

#include "image/image.h"
#include "unit/image/pixels.h"

namespace kelv {
namespace {

using raster::Bitmap;
using raster::Rect;

struct Framing {
  int32_t src_w, src_h, w, h;
  std::vector<int32_t> rings;
  int32_t background;
};

TEST(ThumbFrame, TheNearestModeIsExactlyMakeThumb) {
  const Framing setups[] = {
      {400, 300, 100, 100, {0x0000FF, 0x00FF00}, 0x123456},  // the worked example
      {100, 400, 100, 100, {}, 0},
      {200, 100, 50, 25, {}, 0xFFFFFF},
      {37, 91, 160, 120, {1, 2, 3}, 0x808080},
      {1000, 10, 64, 64, {0xABCDEF}, 0x000001},
  };
  for (const Framing& s : setups) {
    const Bitmap src = test::pattern(s.src_w, s.src_h);
    TImageImpl img;
    ASSERT_EQ(img.CreateFromSize(s.src_w, s.src_h, 0), 1);
    *img.bitmap() = Bitmap(src);
    img.put_cntThumbBorder(static_cast<int32_t>(s.rings.size()));
    for (size_t i = 0; i < s.rings.size(); ++i) img.SetThumbBorder(static_cast<int32_t>(i), s.rings[i]);
    img.put_ThumbBgColor(s.background);
    ASSERT_EQ(img.MakeThumb(s.w, s.h), 1);

    const auto thumb = make_thumbnail(src, ThumbFrame{s.w, s.h, s.background, s.rings}, raster::Resample::Nearest);
    ASSERT_TRUE(thumb);
    EXPECT_TRUE(test::same_pixels(*thumb, *img.bitmap())) << s.src_w << "x" << s.src_h << " in " << s.w << "x" << s.h;
    // The drawing state the framing leaves is what MakeThumb leaves.
    raster::Surface& ours = thumb->surface();
    raster::Surface& theirs = *img.surface();
    EXPECT_EQ(ours.brush.colour, theirs.brush.colour);
    EXPECT_EQ(ours.pen.colour, theirs.pen.colour);
    EXPECT_EQ(ours.pen.width, theirs.pen.width);
    EXPECT_EQ(ours.position.x, theirs.position.x);
    EXPECT_EQ(ours.position.y, theirs.position.y);
    EXPECT_EQ(ours.brush.style, theirs.brush.style);
  }
}

TEST(ThumbFrame, ThePictureGoesWhereTheFitSays) {
  // The worked example: 400x300 in 100x100 with two rings.
  const std::vector<int32_t> two = {0, 0};
  const auto r = thumb_picture_rect(ThumbFrame{100, 100, 0, two}, 400, 300);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->left, 2);
  EXPECT_EQ(r->top, 14);
  EXPECT_EQ(r->right, 98);
  EXPECT_EQ(r->bottom, 86);
  // Nothing to place, or nowhere to place it.
  EXPECT_FALSE(thumb_picture_rect(ThumbFrame{4, 100, 0, two}, 400, 300));
  EXPECT_FALSE(thumb_picture_rect(ThumbFrame{0, 100, 0, {}}, 400, 300));
  EXPECT_FALSE(thumb_picture_rect(ThumbFrame{100, -1, 0, {}}, 400, 300));
  EXPECT_FALSE(thumb_picture_rect(ThumbFrame{100, 100, 0, {}}, 0, 300));
  EXPECT_FALSE(make_thumbnail(Bitmap(), ThumbFrame{100, 100, 0, {}}, raster::Resample::Area));
}

TEST(ThumbFrame, TheAreaModeAveragesThePictureInsideTheSameFrame) {
  const Bitmap src = test::decode_photo(test::photos()[0]);
  const std::vector<int32_t> rings = {0xFF0000, 0x00FF00};
  const ThumbFrame frame{160, 100, 0x0000FF, rings};
  const auto area = make_thumbnail(src, frame, raster::Resample::Area);
  const auto nearest = make_thumbnail(src, frame, raster::Resample::Nearest);
  ASSERT_TRUE(area && nearest);
  const Rect p = *thumb_picture_rect(frame, src.width(), src.height());
  Bitmap averaged(160, 100);
  raster::resample_area(averaged, p, src);
  for (int32_t y = 0; y < 100; ++y)
    for (int32_t x = 0; x < 160; ++x) {
      const bool inside = x >= p.left && x < p.right && y >= p.top && y < p.bottom;
      ASSERT_EQ(area->pixel(x, y), inside ? averaged.pixel(x, y) : nearest->pixel(x, y)) << x << "," << y;
    }
}

}  // namespace
}  // namespace kelv
