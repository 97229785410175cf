// Image geometry: blank images, quarter and half turns, scaling, cropping and extending
// with the new-area rule, width and height, transparency.
#include <gtest/gtest.h>

#include "image/image.h"
#include "image/raster/blit.h"
#include "image/raster/graphics_error.h"

namespace kelv {
namespace {

using raster::Bgr;
using raster::Bitmap;

constexpr Bgr kRed{0, 0, 255}, kWhite{255, 255, 255}, kBlue{255, 0, 0};

Bgr at(TImageImpl& img, int x, int y) { return img.bitmap()->pixel(x, y); }

// An image whose every pixel is distinct, so that any misplaced pixel shows.
void numbered(TImageImpl& img, int w, int h) {
  ASSERT_EQ(img.CreateFromSize(w, h, 0), 1);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      img.bitmap()->set_pixel(x, y, Bgr{static_cast<uint8_t>(x), static_cast<uint8_t>(y), static_cast<uint8_t>(x ^ y)});
}

TEST(Geometry, CreateFromSizeAndTheBackgroundRule) {
  TImageImpl img;
  EXPECT_EQ(img.CreateFromSize(100, 50, 0), 1);
  EXPECT_EQ(img.get_Width(), 100);
  EXPECT_EQ(img.get_Height(), 50);
  EXPECT_EQ(at(img, 0, 0), kWhite);
  EXPECT_EQ(at(img, 99, 49), kWhite);
  EXPECT_FALSE(img.bitmap()->surface_used());
  EXPECT_EQ(img.CreateFromSize(10, 10, 255), 1);
  EXPECT_EQ(at(img, 9, 9), kRed);
  EXPECT_EQ(img.bitmap()->surface().brush.colour, 255);
  EXPECT_EQ(img.CreateFromSize(10, 10, -1), 1);  // negative leaves it white
  EXPECT_EQ(at(img, 5, 5), kWhite);
  EXPECT_EQ(img.CreateFromSize(0, 5, 0), 1);  // no pixels, but an image
  EXPECT_EQ(img.IsValidImage(), 1);
  EXPECT_EQ(img.CreateFromSize(0, 0, 0), 1);
  EXPECT_EQ(img.IsValidImage(), 0);
  EXPECT_EQ(img.IsNullImage(), 0);
  EXPECT_EQ(img.CreateFromSize(-1, 5, 0), 0);  // refused, leaving an empty image
  EXPECT_EQ(img.IsNullImage(), 0);
  EXPECT_EQ(img.CreateFromSize(100000, 100000, 0), 0);  // beyond the 1 GiB limit
}

TEST(Geometry, RotationsMoveTheTopLeftPixel) {
  TImageImpl img;
  img.CreateFromSize(3, 2, 0);
  img.bitmap()->set_pixel(0, 0, kRed);
  ASSERT_EQ(img.RotateCW(), 1);
  EXPECT_EQ(img.get_Width(), 2);
  EXPECT_EQ(img.get_Height(), 3);
  EXPECT_EQ(at(img, 1, 0), kRed);
  img.CreateFromSize(3, 2, 0);
  img.bitmap()->set_pixel(0, 0, kRed);
  ASSERT_EQ(img.RotateCCW(), 1);
  EXPECT_EQ(at(img, 0, 2), kRed);
  img.CreateFromSize(3, 2, 0);
  img.bitmap()->set_pixel(0, 0, kRed);
  ASSERT_EQ(img.Rotate180(), 1);
  EXPECT_EQ(at(img, 2, 1), kRed);
}

TEST(Geometry, TurnsComposeToTheIdentity) {
  // Sizes that cross the rotation's 64-pixel blocks unevenly.
  TImageImpl a, ref;
  numbered(a, 131, 70);
  numbered(ref, 131, 70);
  for (int i = 0; i < 4; ++i) ASSERT_EQ(a.RotateCW(), 1);
  EXPECT_EQ(a.RotateCW() + a.RotateCCW() + a.Rotate180() + a.Rotate180(), 4);
  ASSERT_EQ(a.get_Width(), 131);
  for (int y = 0; y < 70; ++y)
    for (int x = 0; x < 131; ++x) ASSERT_EQ(at(a, x, y), at(ref, x, y)) << x << "," << y;
  // A clockwise turn maps (x, y) to (H-1-y, x) for every pixel.
  a.RotateCW();
  for (int y = 0; y < 70; ++y)
    for (int x = 0; x < 131; ++x) ASSERT_EQ(at(a, 69 - y, x), at(ref, x, y));
}

TEST(Geometry, RotationStartsWithAFreshSurfaceAndNoTransparency) {
  TImageImpl img;
  img.CreateFromSize(4, 4, 0);
  img.bitmap()->surface().pen.colour = 255;
  img.SetTransparentColor(0);
  img.RotateCW();
  EXPECT_FALSE(img.bitmap()->surface_used());
  EXPECT_FALSE(img.bitmap()->transparency().enabled);
  EXPECT_EQ(img.bitmap()->surface().pen.colour, 0);
}

TEST(Geometry, ResizeRepeatsAndDropsPixels) {
  TImageImpl img;
  numbered(img, 100, 50);
  TImageImpl ref;
  numbered(ref, 100, 50);
  ASSERT_EQ(img.ResizeImg(200, 100), 1);
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 200; ++x) ASSERT_EQ(at(img, x, y), at(ref, x / 2, y / 2));
  ASSERT_EQ(img.ResizeImg(50, 25), 1);  // down to a quarter: every fourth
  for (int y = 0; y < 25; ++y)
    for (int x = 0; x < 50; ++x) ASSERT_EQ(at(img, x, y), at(ref, 2 * x, 2 * y));
  EXPECT_EQ(img.ResizeImg(-5, 10), 0);
  EXPECT_EQ(img.get_Width(), 50);  // unchanged after a failure
}

TEST(Geometry, ResizeCarriesOnlyTheTransparentFlag) {
  TImageImpl img;
  img.CreateFromSize(4, 4, 0);
  img.SetTransparentColor(kBlue.b << 16);
  img.ResizeImg(8, 8);
  EXPECT_TRUE(img.bitmap()->transparency().enabled);
  EXPECT_FALSE(img.bitmap()->transparency().fixed);  // automatic mode on the new bitmap
  img.RemoveTransparency();
  EXPECT_FALSE(img.bitmap()->transparency().enabled);
  EXPECT_EQ(img.ResizeImg(-1, -1), 0);
}

TEST(Geometry, ChangeSizeCropsAndExtendsFromTheTopLeft) {
  TImageImpl img, ref;
  numbered(img, 100, 100);
  numbered(ref, 100, 100);
  ASSERT_EQ(img.ChangeSize(50, 50), 1);
  EXPECT_EQ(at(img, 49, 49), at(ref, 49, 49));
  numbered(img, 100, 100);
  ASSERT_EQ(img.ChangeSize(150, 100), 1);
  EXPECT_EQ(at(img, 99, 99), at(ref, 99, 99));
  EXPECT_EQ(at(img, 100, 0), kWhite);  // the surface was never used: white
  EXPECT_EQ(at(img, 149, 99), kWhite);
  // Once the surface is used, new area takes the brush.
  img.bitmap()->surface().brush.colour = 255;
  img.put_Width(160);
  EXPECT_EQ(at(img, 155, 3), kRed);
  EXPECT_EQ(at(img, 149, 3), kWhite);
  img.put_Height(110);
  EXPECT_EQ(at(img, 0, 105), kRed);
  EXPECT_EQ(img.ChangeSize(-1, 3), 0);
  EXPECT_EQ(img.get_Width(), 160);
}

TEST(Geometry, WidthPutRaisesForSizesTheBitmapCannotHave) {
  TImageImpl img;
  img.put_Width(50);  // no image: nothing happens
  EXPECT_EQ(img.get_Width(), 0);
  img.CreateFromSize(10, 10, 0);
  EXPECT_THROW(img.put_Width(-3), raster::GraphicsError);
  EXPECT_THROW(img.put_Height(2000000000), raster::GraphicsError);
  EXPECT_EQ(img.get_Height(), 10);
}

TEST(Geometry, EveryMemberWithoutAnImage) {
  TImageImpl img;
  EXPECT_EQ(img.RotateCW(), 0);
  EXPECT_EQ(img.RotateCCW(), 0);
  EXPECT_EQ(img.Rotate180(), 0);
  EXPECT_EQ(img.ResizeImg(10, 10), 0);
  EXPECT_EQ(img.ChangeSize(10, 10), 0);
  EXPECT_EQ(img.get_Width(), 0);
  EXPECT_EQ(img.get_Height(), 0);
  img.SetTransparentColor(5);
  img.RemoveTransparency();
  img.put_Height(5);
  EXPECT_EQ(img.IsNullImage(), 1);
}

TEST(Blit, ClippingAndTransparency) {
  Bitmap dst(20, 20), src(10, 10);
  raster::fill_rect(src, {0, 0, 10, 10}, raster::Brush{255, raster::BrushStyle::Solid});
  raster::copy_at(dst, -5, -5, src);
  EXPECT_EQ(dst.pixel(4, 4), kRed);
  EXPECT_EQ(dst.pixel(5, 5), kWhite);
  EXPECT_EQ(dst.pixel(0, 5), kWhite);
  // Automatic mode: the bottom-left pixel's colour is transparent.
  src.set_pixel(0, 9, kBlue);
  src.set_pixel(3, 3, kBlue);
  src.transparency().enabled = true;
  Bitmap d2(10, 10);
  raster::copy_at(d2, 0, 0, src);
  EXPECT_EQ(d2.pixel(3, 3), kWhite);
  EXPECT_EQ(d2.pixel(4, 4), kRed);
  // Fixed mode: the stored colour.
  src.transparency().fixed = true;
  src.transparency().colour = 255;
  Bitmap d3(10, 10);
  raster::stretch_copy(d3, {0, 0, 10, 10}, src);
  EXPECT_EQ(d3.pixel(3, 3), kBlue);
  EXPECT_EQ(d3.pixel(4, 4), kWhite);
  // Far outside and inverted rectangles draw nothing and do not overflow.
  raster::stretch_copy(d3, {INT32_MAX - 5, INT32_MAX - 5, INT32_MAX, INT32_MAX}, src);
  raster::stretch_copy(d3, {5, 5, 4, 4}, src);
  raster::copy_at(d3, INT32_MIN, INT32_MIN, src);
}

}  // namespace
}  // namespace kelv

#include <cstdlib>

#include "unit/address_space.h"

namespace kelv {
namespace {

#if !defined(KELV_UNDER_ASAN)
// Runs in a child process whose address space leaves no room for a second copy of the
// image: the turn fails, and the image it had stays.
void rotate_without_memory() {
  TImageImpl img;
  if (img.CreateFromSize(4000, 3000, 255) != 1) std::exit(2);
  img.bitmap()->set_pixel(0, 0, kBlue);
  test::leave_address_space(8 << 20);
  bool kept = img.RotateCW() == 0 && img.get_Width() == 4000 && img.get_Height() == 3000 &&
              img.bitmap()->pixel(0, 0) == kBlue && img.bitmap()->pixel(3999, 2999) == kRed;
  std::exit(kept ? 0 : 1);
}

TEST(GeometryDeathTest, AFailedRotationKeepsTheImage) {
  EXPECT_EXIT(rotate_without_memory(), ::testing::ExitedWithCode(0), "");
}
#endif

}  // namespace
}  // namespace kelv
