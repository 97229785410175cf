// GIF, WebP and AVIF against each format's own reference decoder, on files made here with
// the format's tools (cwebp, img2webp, avifenc, ImageMagick's convert) or written with
// giflib: exact where the file is lossless or a palette; lossy AVIF against libheif's
// heif-convert, and against avifdec where its chroma is not subsampled. Reduced loads against the
// whole picture reduced; damaged and cut-off files of every format fail cleanly; the
// pixel limit refuses before decoding.
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "image/codec/heif.h"
#include "image/codec/bmp.h"
#include "image/codec/formats.h"
#include "image/codec/gif.h"
#include "image/codec/jpeg.h"
#include "image/codec/png.h"
#include "image/codec/webp.h"
#include "image/raster/reduce.h"
#include "unit/image/pixels.h"
#include "unit/image/png_builder.h"
#include "unit/support.h"

namespace kelv::codec {
namespace {

namespace fs = std::filesystem;
using raster::Bgr;
using raster::Bitmap;

constexpr Bgr kBg{40, 160, 220};

using test::slurp;
using test::spill;

// An RGBA picture whose alpha runs through transparent, opaque and partial values.
std::vector<uint8_t> rgba_png(uint32_t w, uint32_t h) {
  test::PngLayout layout;
  layout.width = w, layout.height = h, layout.colour_type = PNG_COLOR_TYPE_RGB_ALPHA;
  return test::make_png(layout, [](uint32_t x, uint32_t y, int c) -> uint32_t {
    if (c == 3) return (x + y) % 5 == 0 ? 0 : (x * 13 + y * 7) % 3 == 0 ? 255 : (x * 29 + y * 3) % 256;
    return (x * 9 + y * 5 + static_cast<uint32_t>(c) * 70) % 256;
  });
}

class Formats : public test::ToolDir {
 protected:
  Formats() : ToolDir("formats") {}

  // The pattern picture as a PNG file, our writer.
  fs::path pattern_png(const std::string& name, int32_t w, int32_t h) {
    Bytes png;
    EXPECT_TRUE(write_png(test::pattern(w, h), PngWriteOptions{}, png));
    spill(at(name), png);
    return at(name);
  }

  // A PNG file as libpng gives it, alpha mixed over kBg: the reference decoders' output.
  Bitmap png_pixels(const std::string& name) {
    Bitmap b;
    EXPECT_TRUE(read_png(slurp(at(name)), b, PngReadOptions{kBg, PngAlpha::Composite})) << name;
    return b;
  }

  LoadRequest request(bool reduce = false, int32_t min_w = 0, int32_t min_h = 0) const {
    LoadRequest r;
    r.background = kBg;
    r.reduce = reduce;
    r.min_width = min_w, r.min_height = min_h;
    return r;
  }

  // Our load of a file through the row of the format its bytes show.
  bool load(const std::string& name, const LoadRequest& r, Bitmap& out, std::string* why = nullptr) {
    const std::vector<uint8_t> bytes = slurp(at(name));
    SpanSource source(bytes);
    LoadResult result;
    const bool ok = load_image(source, sniff_format(bytes), r, result);
    out = std::move(result.bitmap);
    if (why) *why = result.message;
    return ok;
  }

  Bitmap loaded(const std::string& name, const LoadRequest& r) {
    Bitmap b;
    std::string why;
    EXPECT_TRUE(load(name, r, b, &why)) << name << ": " << why;
    return b;
  }
};

// Mean and largest difference of two pictures' samples.
struct Difference {
  double mean = 0;
  int largest = 0;
};
Difference difference(const Bitmap& a, const Bitmap& b) {
  Difference d;
  if (a.width() != b.width() || a.height() != b.height()) return Difference{255, 255};
  double sum = 0;
  for (int32_t y = 0; y < a.height(); ++y)
    for (int32_t k = 0; k < 3 * a.width(); ++k) {
      const int e = std::abs(a.row(y)[k] - b.row(y)[k]);
      sum += e;
      d.largest = std::max(d.largest, e);
    }
  d.mean = sum / (3.0 * a.width() * a.height());
  return d;
}

TEST_F(Formats, WebpLosslessLossyAlphaAnimatedAndScaledMatchTheLibrarysOwnTool) {
  pattern_png("src.png", 61, 37);
  spill(at("alpha.png"), rgba_png(45, 30));
  run("cwebp -quiet -lossless src.png -o lossless.webp && cwebp -quiet -q 70 src.png -o lossy.webp && "
      "cwebp -quiet -lossless -exact alpha.png -o alpha.webp && cwebp -quiet -q 60 alpha.png -o lossy-alpha.webp");
  run("convert src.png -flop second.png && img2webp -lossless src.png second.png -o anim.webp");
  run("dwebp lossy.webp -o lossy.ref.png && dwebp lossy-alpha.webp -o lossy-alpha.ref.png && "
      "dwebp lossy.webp -scale 16 10 -o scaled.ref.png");

  const Bitmap src = png_pixels("src.png");
  EXPECT_TRUE(test::same_pixels(loaded("lossless.webp", request()), src));
  EXPECT_TRUE(test::same_pixels(loaded("anim.webp", request()), src)) << "the first frame";
  EXPECT_TRUE(test::same_pixels(loaded("alpha.webp", request()), png_pixels("alpha.png")));
  EXPECT_TRUE(test::same_pixels(loaded("lossy.webp", request()), png_pixels("lossy.ref.png")));
  EXPECT_TRUE(test::same_pixels(loaded("lossy-alpha.webp", request()), png_pixels("lossy-alpha.ref.png")));
  // 61 x 37 reduced for at least 15 x 9: factor 4 gives 16 x 10; the library scales to it.
  const Bitmap scaled = loaded("lossy.webp", request(true, 15, 9));
  EXPECT_EQ(scaled.width(), 16);
  EXPECT_EQ(scaled.height(), 10);
  EXPECT_TRUE(test::same_pixels(scaled, png_pixels("scaled.ref.png")));

  for (const char* name : {"lossless.webp", "anim.webp", "alpha.webp"}) {
    int32_t w = 0, h = 0;
    const std::vector<uint8_t> bytes = slurp(at(name));
    SpanSource source(bytes);
    EXPECT_TRUE(probe_webp(source, w, h)) << name;
    const Bitmap b = loaded(name, request());
    EXPECT_EQ(w, b.width()) << name;
    EXPECT_EQ(h, b.height()) << name;
  }
}

TEST_F(Formats, WebpSavesRoundTripLosslessExactlyAndLossyCloseAndRefuseWhatTheFormatCantHold) {
  // Smooth, as photographs are, so that lossy coding keeps it close.
  Bitmap src(70, 50);
  for (int32_t y = 0; y < 50; ++y)
    for (int32_t x = 0; x < 70; ++x)
      src.set_pixel(x, y, Bgr{static_cast<uint8_t>(x * 3), static_cast<uint8_t>(y * 4), static_cast<uint8_t>(x + y)});
  Bytes lossless, lossy;
  ASSERT_TRUE(write_webp(src, WebpOptions{78, true, {}}, lossless));
  ASSERT_TRUE(write_webp(src, WebpOptions{90, false, {}}, lossy));
  Bitmap back;
  ASSERT_TRUE(read_webp(lossless, request(), back));
  EXPECT_TRUE(test::same_pixels(back, src));
  ASSERT_TRUE(read_webp(lossy, request(), back));
  EXPECT_GT(test::psnr(back, src), 30.0);
  // The reference decoder reads what we write.
  spill(at("ours.webp"), lossless);
  run("dwebp ours.webp -o ours.ref.png");
  EXPECT_TRUE(test::same_pixels(png_pixels("ours.ref.png"), src));
  Bytes none;
  EXPECT_FALSE(write_webp(Bitmap(16384, 1), WebpOptions{}, none));
  EXPECT_FALSE(write_webp(Bitmap(), WebpOptions{}, none));
}

TEST_F(Formats, AvifLosslessAtEveryDepthAlphaAndSequencesMatchAvifdec) {
  pattern_png("src.png", 40, 28);
  spill(at("alpha.png"), rgba_png(33, 21));
  run("convert src.png -flop second.png");
  run("avifenc -s 10 --lossless src.png l8.avif && avifenc -s 10 --lossless alpha.png la.avif && "
      "avifenc -s 10 --lossless src.png second.png seq.avif && "
      "avifenc -s 10 -d 10 -y 444 --min 0 --max 0 -r full src.png d10.avif && "
      "avifenc -s 10 -d 12 -y 444 --min 0 --max 0 -r full src.png d12.avif");
  run("avifdec -d 8 d10.avif d10.ref.png && avifdec -d 8 d12.avif d12.ref.png");
  const Bitmap src = png_pixels("src.png");
  EXPECT_TRUE(test::same_pixels(loaded("l8.avif", request()), src));
  EXPECT_TRUE(test::same_pixels(loaded("seq.avif", request()), src)) << "the first frame";
  EXPECT_TRUE(test::same_pixels(loaded("la.avif", request()), png_pixels("alpha.png")));
  // 10 and 12 bits, rounded to 8 as avifdec rounds them.
  for (const char* depth : {"d10", "d12"}) {
    const Difference d =
        difference(loaded(std::string(depth) + ".avif", request()), png_pixels(std::string(depth) + ".ref.png"));
    EXPECT_LE(d.largest, 1) << depth;
  }
}

// Lossy AVIF is converted to colour by libheif, which takes each subsampled chroma sample
// for the pixels it covers where libavif interpolates: heif-convert is the reference, and
// avifdec agrees where no chroma is shared between pixels.
TEST_F(Formats, AvifLossyAndItsAlphaMatchHeifConvertAndAvifdecWithoutSubsampling) {
  pattern_png("src.png", 64, 48);
  spill(at("alpha.png"), rgba_png(48, 32));
  run("avifenc -s 10 --min 10 --max 20 -y 420 src.png q420.avif && "
      "avifenc -s 10 --min 10 --max 20 -y 444 -d 10 src.png q444.avif && "
      "avifenc -s 10 --min 10 --max 20 -y 420 alpha.png qa.avif && "
      "avifenc -s 10 --min 10 --max 20 -y 420 -r limited src.png limited.avif");
  for (const char* name : {"q420", "q444", "qa", "limited"}) {
    run(std::string("heif-convert ") + name + ".avif " + name + ".heif.png && avifdec -d 8 " + name + ".avif " + name +
        ".ref.png");
    const Bitmap ours = loaded(std::string(name) + ".avif", request());
    EXPECT_LE(difference(ours, png_pixels(std::string(name) + ".heif.png")).largest, 1) << name;
    if (std::string(name) != "q444") continue;
    const Difference d = difference(ours, png_pixels(std::string(name) + ".ref.png"));
    EXPECT_LE(d.mean, 0.5) << name;
    EXPECT_LE(d.largest, 3) << name;
  }
}

// A GIF written with giflib: a logical screen far larger than the frame, an optional
// local palette, interlacing and a transparent index.
std::vector<uint8_t> make_gif(int screen_w, int screen_h, int w, int h, bool local, bool interlaced, int transparent) {
  std::vector<uint8_t> out;
  int error = 0;
  GifFileType* gif = EGifOpen(
      &out,
      [](GifFileType* g, const GifByteType* data, int n) {
        auto* v = static_cast<std::vector<uint8_t>*>(g->UserData);
        v->insert(v->end(), data, data + n);
        return n;
      },
      &error);
  GifColorType global[16], own[16];
  for (int i = 0; i < 16; ++i) {
    global[i] = GifColorType{static_cast<GifByteType>(i * 16), static_cast<GifByteType>(255 - i * 9),
                             static_cast<GifByteType>(i * 5)};
    own[i] = GifColorType{static_cast<GifByteType>(255 - i * 3), static_cast<GifByteType>(i * 11),
                          static_cast<GifByteType>(i * 15)};
  }
  ColorMapObject* gmap = GifMakeMapObject(16, global);
  ColorMapObject* lmap = GifMakeMapObject(16, own);
  EGifSetGifVersion(gif, true);
  EGifPutScreenDesc(gif, screen_w, screen_h, 4, 0, gmap);
  if (transparent >= 0) {
    GraphicsControlBlock gcb{};
    gcb.TransparentColor = transparent;
    GifByteType ext[4];
    const size_t n = EGifGCBToExtension(&gcb, ext);
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(n), ext);
  }
  EGifPutImageDesc(gif, 3, 2, w, h, interlaced, local ? lmap : nullptr);
  std::vector<GifPixelType> row(static_cast<size_t>(w));
  // giflib takes an interlaced frame's rows in the order of its passes.
  std::vector<int> order;
  if (interlaced) {
    for (int p : {0, 4, 2, 1})
      for (int y = p; y < h; y += (p == 0 ? 8 : p == 4 ? 8 : p == 2 ? 4 : 2)) order.push_back(y);
  } else {
    for (int y = 0; y < h; ++y) order.push_back(y);
  }
  for (int y : order) {
    for (int x = 0; x < w; ++x) row[static_cast<size_t>(x)] = static_cast<GifPixelType>((x * 3 + y * 5) % 16);
    EGifPutLine(gif, row.data(), w);
  }
  EGifCloseFile(gif, &error);
  GifFreeMapObject(gmap);
  GifFreeMapObject(lmap);
  return out;
}

// What giflib itself gives for the first frame (DGifSlurp), with the transparent index
// showing kBg.
Bitmap giflib_reference(const std::vector<uint8_t>& file) {
  struct Cursor {
    const std::vector<uint8_t>* data;
    size_t at;
  } cur{&file, 0};
  int error = 0;
  GifFileType* gif = DGifOpen(
      &cur,
      [](GifFileType* g, GifByteType* out, int n) {
        auto* c = static_cast<Cursor*>(g->UserData);
        const int k = std::min<int>(n, static_cast<int>(c->data->size() - c->at));
        std::memcpy(out, c->data->data() + c->at, static_cast<size_t>(k));
        c->at += static_cast<size_t>(k);
        return k;
      },
      &error);
  EXPECT_EQ(DGifSlurp(gif), GIF_OK);
  const SavedImage& f = gif->SavedImages[0];
  GraphicsControlBlock gcb{};
  gcb.TransparentColor = -1;
  DGifSavedExtensionToGCB(gif, 0, &gcb);
  const ColorMapObject* map = f.ImageDesc.ColorMap ? f.ImageDesc.ColorMap : gif->SColorMap;
  Bitmap b(f.ImageDesc.Width, f.ImageDesc.Height);
  for (int y = 0; y < f.ImageDesc.Height; ++y)
    for (int x = 0; x < f.ImageDesc.Width; ++x) {
      // DGifSlurp puts an interlaced frame's rows back in picture order.
      const int i = f.RasterBits[y * f.ImageDesc.Width + x];
      const GifColorType c = map->Colors[i];
      b.set_pixel(x, y, i == gcb.TransparentColor ? kBg : Bgr{c.Blue, c.Green, c.Red});
    }
  DGifCloseFile(gif, &error);
  return b;
}

TEST_F(Formats, GifFirstFramesOfEveryShapeMatchGiflib) {
  struct Case {
    const char* what;
    bool local, interlaced;
    int transparent;
  };
  for (const Case& c : {Case{"global palette", false, false, -1}, Case{"local palette", true, false, -1},
                        Case{"interlaced", false, true, -1}, Case{"interlaced, local, transparent", true, true, 5},
                        Case{"transparent", false, false, 0}}) {
    // A 30000 x 30000 logical screen: the load holds only the 37 x 23 frame.
    const std::vector<uint8_t> file = make_gif(30000, 30000, 37, 23, c.local, c.interlaced, c.transparent);
    SpanSource source(file);
    Bitmap b;
    std::string why;
    ASSERT_TRUE(read_gif(source, request(), b, &why)) << c.what << ": " << why;
    EXPECT_TRUE(test::same_pixels(b, giflib_reference(file))) << c.what;
    int32_t w = 0, h = 0;
    EXPECT_TRUE(probe_gif(source, w, h));
    EXPECT_EQ(w, 37);
    EXPECT_EQ(h, 23);
  }
}

TEST_F(Formats, GifsFromImageMagickWithTransparencyAndAnimationMatchGiflib) {
  spill(at("alpha.png"), rgba_png(40, 30));
  pattern_png("src.png", 50, 20);
  run("convert src.png -colors 200 plain.gif && convert src.png -colors 64 -interlace GIF interlaced.gif && "
      "convert alpha.png -colors 100 cutout.gif && convert -delay 10 plain.gif src.png -colors 32 -loop 0 anim.gif");
  for (const char* name : {"plain.gif", "interlaced.gif", "cutout.gif", "anim.gif"}) {
    const Bitmap b = loaded(name, request());
    EXPECT_TRUE(test::same_pixels(b, giflib_reference(slurp(at(name))))) << name;
  }
}

TEST(Reduction, FactorsAreTheLargestThatKeepTheLeastSize) {
  struct Case {
    int32_t w, h, min_w, min_h, factor;
  };
  for (const Case& c :
       {Case{12000, 12000, 160, 120, 75}, Case{16000, 16000, 160, 120, 100}, Case{4000, 3000, 160, 120, 25},
        Case{4001, 3000, 160, 120, 25}, Case{161, 121, 160, 120, 1}, Case{100, 100, 160, 120, 1},
        Case{100, 50, 0, 0, 100}, Case{100, 50, 10, 0, 11}, Case{100, 50, 1, 1, 100}, Case{3000, 4000, 0, 120, 33}}) {
    const int32_t f = raster::reduction_factor(c.w, c.h, c.min_w, c.min_h);
    EXPECT_EQ(f, c.factor) << c.w << "x" << c.h << " for " << c.min_w << "x" << c.min_h;
    // Never smaller than asked (where the picture is large enough), and one step more
    // would be.
    if (c.min_w <= c.w) {
      EXPECT_GE(raster::reduced_size(c.w, f), c.min_w);
    }
    if (c.min_h <= c.h) {
      EXPECT_GE(raster::reduced_size(c.h, f), c.min_h);
    }
    if (f < std::max(c.w, c.h) && f > 1) {
      EXPECT_TRUE(raster::reduced_size(c.w, f + 1) < c.min_w || raster::reduced_size(c.h, f + 1) < c.min_h);
    }
  }
}

TEST(Reduction, EveryPixelIsTheMeanOfItsBlockEdgesIncluded) {
  const Bitmap src = test::pattern(10, 7);
  const Bitmap r = raster::reduce(src, 4);
  ASSERT_EQ(r.width(), 3);
  ASSERT_EQ(r.height(), 2);
  for (int32_t by = 0; by < 2; ++by)
    for (int32_t bx = 0; bx < 3; ++bx) {
      unsigned sum[3] = {}, n = 0;
      for (int32_t y = by * 4; y < std::min(7, by * 4 + 4); ++y)
        for (int32_t x = bx * 4; x < std::min(10, bx * 4 + 4); ++x, ++n) {
          const Bgr p = src.pixel(x, y);
          sum[0] += p.b, sum[1] += p.g, sum[2] += p.r;
        }
      const Bgr want{static_cast<uint8_t>((sum[0] + n / 2) / n), static_cast<uint8_t>((sum[1] + n / 2) / n),
                     static_cast<uint8_t>((sum[2] + n / 2) / n)};
      EXPECT_EQ(r.pixel(bx, by), want) << bx << "," << by;
    }
  // Blocks too large for 32-bit sums: a flat picture stays flat.
  Bitmap flat(9000, 2);
  EXPECT_EQ(raster::reduce(flat, 5000).pixel(1, 0), (Bgr{255, 255, 255}));
}

TEST_F(Formats, ReducedLoadsEqualTheWholePictureReduced) {
  // PNG rows averaged as they are decoded, with and without alpha, interlaced or not.
  pattern_png("src.png", 203, 101);
  spill(at("alpha.png"), rgba_png(150, 90));
  run("convert src.png -interlace PNG interlaced.png && convert src.png -quality 90 photo.jpg && "
      "cwebp -quiet -lossless src.png -o src.webp && avifenc -s 10 --lossless src.png src.avif && "
      "convert src.png -colors 128 src.gif");
  for (const char* name : {"src.png", "alpha.png", "interlaced.png", "src.gif", "src.avif"}) {
    const Bitmap whole = loaded(name, request());
    const int32_t f = raster::reduction_factor(whole.width(), whole.height(), 30, 20);
    const Bitmap reduced = loaded(name, request(true, 30, 20));
    EXPECT_TRUE(test::same_pixels(reduced, raster::reduce(whole, f))) << name << " by " << f;
    EXPECT_GE(reduced.width(), 30);
    EXPECT_GE(reduced.height(), 20);
  }
  // JPEG: the smallest DCT scale that keeps the size, then its rows reduced further (for
  // 12 x 6 from 203 x 101: 1/8 gives 26 x 13, halved to 13 x 7).
  const std::vector<uint8_t> jpg = slurp(at("photo.jpg"));
  Bitmap dct;
  int denominator = 0;
  ASSERT_TRUE(read_jpeg_min(jpg, 12, 6, dct, nullptr, &denominator));
  const Bitmap reduced = loaded("photo.jpg", request(true, 12, 6));
  const int32_t rest = raster::reduction_factor(dct.width(), dct.height(), 12, 6);
  EXPECT_EQ(denominator, 8);
  EXPECT_EQ(rest, 2);
  EXPECT_TRUE(test::same_pixels(reduced, raster::reduce(dct, rest))) << denominator << " then " << rest;
}

TEST_F(Formats, ThePixelLimitRefusesBeforeDecodingAndCountsTheReducedSize) {
  pattern_png("src.png", 64, 40);
  run("cwebp -quiet -lossless src.png -o src.webp && avifenc -s 10 --lossless src.png src.avif && "
      "convert src.png -colors 64 src.gif && convert src.png photo.jpg && convert src.png src.bmp");
  for (const char* name : {"src.png", "src.webp", "src.avif", "src.gif", "photo.jpg"}) {
    LoadRequest r = request();
    r.max_pixels = 64 * 40 - 1;
    Bitmap b;
    std::string why;
    EXPECT_FALSE(load(name, r, b, &why)) << name;
    EXPECT_EQ(why, "The picture holds 64 x 40 pixels, more than MaxPixels") << name;
    r.max_pixels = 64 * 40;
    EXPECT_TRUE(load(name, r, b, &why)) << name << ": " << why;
    // Reduced to 16 x 10, the limit of 160 pixels admits it.
    LoadRequest small = request(true, 16, 10);
    small.max_pixels = 160;
    EXPECT_TRUE(load(name, small, b, &why)) << name << ": " << why;
    EXPECT_EQ(b.width() * b.height(), 160) << name;
  }
  const std::vector<uint8_t> bmp = slurp(at("src.bmp"));
  SpanSource source(bmp);
  Bitmap b;
  LoadRequest r = request();
  r.max_pixels = 64 * 40 - 1;
  EXPECT_FALSE(read_bmp(source, b, &r));
  r.max_pixels = 64 * 40;
  EXPECT_TRUE(read_bmp(source, b, &r));
  // Reduced, the limit counts the result, before the whole picture is read.
  LoadRequest small = request(true, 16, 10);
  small.max_pixels = 159;
  EXPECT_FALSE(read_bmp(source, b, &small));
  small.max_pixels = 160;
  EXPECT_TRUE(read_bmp(source, b, &small));
}

TEST_F(Formats, DamagedAndCutOffFilesOfEveryFormatFailCleanly) {
  pattern_png("src.png", 48, 36);
  spill(at("alpha.png"), rgba_png(48, 36));
  run("cwebp -quiet -q 80 src.png -o lossy.webp && cwebp -quiet -lossless alpha.png -o alpha.webp && "
      "img2webp -lossless src.png alpha.png -o anim.webp && avifenc -s 10 src.png lossy.avif && "
      "avifenc -s 10 --lossless alpha.png alpha.avif && avifenc -s 10 src.png alpha.png seq.avif && "
      "convert src.png -colors 64 plain.gif && convert src.png -colors 64 -interlace GIF interlaced.gif && "
      "convert src.png photo.jpg");
  for (const char* name : {"lossy.webp", "alpha.webp", "anim.webp", "lossy.avif", "alpha.avif", "seq.avif", "plain.gif",
                           "interlaced.gif", "src.png", "photo.jpg"}) {
    const std::vector<uint8_t> whole = slurp(at(name));
    ASSERT_GT(whole.size(), 64u) << name;
    // Cut off anywhere from the signature to the last byte: a clean failure each time,
    // except where the cut leaves what the format may end without: a JPEG's end marker
    // is made up, as libjpeg does for any cut file, and a sequence's first frame can be
    // whole before the cut.
    const bool may_load = std::string(name) == "photo.jpg" || std::string(name) == "seq.avif";
    for (size_t keep :
         {size_t{0}, size_t{5}, size_t{13}, size_t{40}, whole.size() / 3, whole.size() / 2, whole.size() - 20}) {
      spill(at("cut"), std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(keep)));
      Bitmap b;
      const bool ok = load("cut", request(), b);
      if (!may_load || (keep < whole.size() / 2 && std::string(name) != "photo.jpg")) {
        EXPECT_FALSE(ok) << name << " cut at " << keep;
      }
      for (bool reduce : {false, true}) {
        Bitmap r;
        load("cut", request(reduce, 8, 8), r);  // must come back, whatever it says
      }
    }
    // Bytes changed all through the file: whatever the result, the call comes back.
    for (size_t step : {size_t{7}, size_t{31}, size_t{97}}) {
      std::vector<uint8_t> broken = whole;
      for (size_t i = 16; i < broken.size(); i += step) broken[i] ^= 0x5A;
      spill(at("broken"), broken);
      Bitmap b;
      load("broken", request(), b);
      load("broken", request(true, 4, 4), b);
      const std::vector<uint8_t> bytes = slurp(at("broken"));
      SpanSource source(bytes);
      int32_t w, h;
      probe_gif(source, w, h);
      probe_webp(source, w, h);
      probe_heif(source, w, h);
    }
  }
}

TEST(FormatSniffing, SignaturesTellTheSevenFormatsAndNamesFollow) {
  struct Case {
    std::vector<uint8_t> head;
    ImageFormat format;
    const char* name;
  };
  using namespace std::string_view_literals;
  auto bytes = [](std::string_view s) { return std::vector<uint8_t>(s.begin(), s.end()); };
  const std::vector<uint8_t> avif = {0, 0, 0,   28,  'f', 't', 'y', 'p', 'm', 'i', 'f', '1', 0,   0,
                                     0, 0, 'm', 'i', 'a', 'f', 'a', 'v', 'i', 'f', 'M', 'A', '1', 'B'};
  std::vector<uint8_t> heic = avif;
  heic[20] = 'h', heic[21] = 'e', heic[22] = 'i', heic[23] = 'c';
  for (const Case& c :
       {Case{bytes("GIF89a...."), ImageFormat::Gif, "gif"}, Case{bytes("GIF87a...."), ImageFormat::Gif, "gif"},
        Case{bytes("GIF88a...."), ImageFormat::Unknown, ""},
        Case{bytes("RIFF\x10\0\0\0WEBPVP8 "sv), ImageFormat::Webp, "webp"},
        Case{bytes("RIFF\x10\0\0\0WAVEfmt "sv), ImageFormat::Unknown, ""}, Case{avif, ImageFormat::Avif, "avif"},
        Case{heic, ImageFormat::Heic, "heic"}, Case{bytes("BM"), ImageFormat::Bmp, "bmp"}}) {
    EXPECT_EQ(sniff_format(c.head), c.format) << c.name;
    EXPECT_EQ(format_name(sniff_format(c.head)), c.name);
  }
}

}  // namespace
}  // namespace kelv::codec
