// PNG: every colour type and bit depth, interlaced or not, against pixels computed from
// the samples written; transparency mixed over a background or kept as an exact colour;
// round trips at every level; the header probe and the format sniffer; and damaged files
// (checksums, truncation, sizes the data can't fill), which must fail cleanly.
#include "image/codec/png.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>

#include "image/codec/format.h"
#include "unit/image/pixels.h"
#include "unit/image/png_builder.h"

namespace kelv::codec {
namespace {

using raster::Bgr;
using raster::Bitmap;
using test::make_png;
using test::PngLayout;

// A sample of the file's depth as libpng gives it at 8 bits: low depths by repeating
// the bits, 16 bits rounded.
uint32_t to8(uint32_t v, int depth) {
  switch (depth) {
    case 1: return v * 255;
    case 2: return v * 85;
    case 4: return v * 17;
    case 16: return (v * 255 + 32895) >> 16;
    default: return v;
  }
}

uint8_t mix(uint32_t c, uint32_t a, uint32_t bg) { return static_cast<uint8_t>((c * a + bg * (255 - a) + 127) / 255); }

// Samples that differ from pixel to pixel; alpha runs through transparent, opaque and
// partial values.
uint32_t sample(uint32_t x, uint32_t y, int c, int depth, bool is_alpha) {
  const uint32_t top = (1u << depth) - 1;
  if (is_alpha) return (x + 2 * y) % 3 == 0 ? 0 : (x + 2 * y) % 3 == 1 ? top : (x * 997 + y * 131) % top;
  return (x * 37 + y * 11 + static_cast<uint32_t>(c) * 53 + (depth == 16 ? x * 4099 : 0)) % (top + 1);
}

std::vector<png_color> palette(int depth) {
  std::vector<png_color> p(1u << depth);
  for (size_t i = 0; i < p.size(); ++i)
    p[i] = png_color{static_cast<uint8_t>(i * 29), static_cast<uint8_t>(i * 67 + 5), static_cast<uint8_t>(255 - i)};
  return p;
}

struct Kind {
  int colour_type;
  int depth;
};

constexpr Kind kKinds[] = {
    {PNG_COLOR_TYPE_GRAY, 1},        {PNG_COLOR_TYPE_GRAY, 2},      {PNG_COLOR_TYPE_GRAY, 4},
    {PNG_COLOR_TYPE_GRAY, 8},        {PNG_COLOR_TYPE_GRAY, 16},     {PNG_COLOR_TYPE_PALETTE, 1},
    {PNG_COLOR_TYPE_PALETTE, 2},     {PNG_COLOR_TYPE_PALETTE, 4},   {PNG_COLOR_TYPE_PALETTE, 8},
    {PNG_COLOR_TYPE_RGB, 8},         {PNG_COLOR_TYPE_RGB, 16},      {PNG_COLOR_TYPE_GRAY_ALPHA, 8},
    {PNG_COLOR_TYPE_GRAY_ALPHA, 16}, {PNG_COLOR_TYPE_RGB_ALPHA, 8}, {PNG_COLOR_TYPE_RGB_ALPHA, 16},
};

// The file of a kind (palette images with a few translucent entries), and the pixels
// it must load as over `bg`.
struct Made {
  std::vector<uint8_t> file;
  Bitmap expected;
};

Made make(Kind k, bool interlaced, Bgr bg, uint32_t w = 13, uint32_t h = 7) {
  PngLayout layout;
  layout.width = w, layout.height = h, layout.bit_depth = k.depth, layout.colour_type = k.colour_type;
  layout.interlaced = interlaced;
  const bool indexed = k.colour_type == PNG_COLOR_TYPE_PALETTE;
  const bool grey = (k.colour_type & PNG_COLOR_MASK_COLOR) == 0;
  const bool alpha = (k.colour_type & PNG_COLOR_MASK_ALPHA) != 0;
  if (indexed) {
    layout.palette = palette(k.depth);
    // Entry 0 opaque, 1 transparent, 2 (where there is one) half.
    layout.palette_alpha = {255, 0, 128};
    layout.palette_alpha.resize(std::min(layout.palette_alpha.size(), layout.palette.size()));
  }
  const int colours = grey ? 1 : 3;
  auto at = [&](uint32_t x, uint32_t y, int c) { return sample(x, y, c, k.depth, alpha && c == colours); };
  Made m{make_png(layout, at), Bitmap(static_cast<int32_t>(w), static_cast<int32_t>(h))};
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      uint32_t r, g, b, a = 255;
      if (indexed) {
        const uint32_t i = at(x, y, 0);
        const png_color& p = layout.palette[i];
        r = p.red, g = p.green, b = p.blue;
        if (i < layout.palette_alpha.size()) a = layout.palette_alpha[i];
      } else {
        r = to8(at(x, y, 0), k.depth);
        g = grey ? r : to8(at(x, y, 1), k.depth);
        b = grey ? r : to8(at(x, y, 2), k.depth);
        if (alpha) a = to8(at(x, y, colours), k.depth);
      }
      m.expected.set_pixel(static_cast<int32_t>(x), static_cast<int32_t>(y),
                           Bgr{mix(b, a, bg.b), mix(g, a, bg.g), mix(r, a, bg.r)});
    }
  return m;
}

std::string describe(Kind k, bool interlaced) {
  return "colour type " + std::to_string(k.colour_type) + ", " + std::to_string(k.depth) + " bits" +
         (interlaced ? ", interlaced" : "");
}

TEST(PngRead, EveryColourTypeAndDepthInterlacedOrNot) {
  const Bgr bg{10, 200, 30};
  for (Kind k : kKinds)
    for (bool interlaced : {false, true}) {
      const Made m = make(k, interlaced, bg);
      ASSERT_FALSE(m.file.empty()) << describe(k, interlaced);
      Bitmap b;
      PngReadInfo info;
      std::string message;
      ASSERT_TRUE(read_png(m.file, b, PngReadOptions{bg, PngAlpha::Composite}, &info, &message))
          << describe(k, interlaced) << ": " << message;
      EXPECT_TRUE(test::same_pixels(b, m.expected)) << describe(k, interlaced);
      EXPECT_EQ(info.has_alpha, (k.colour_type & PNG_COLOR_MASK_ALPHA) != 0 || k.colour_type == PNG_COLOR_TYPE_PALETTE)
          << describe(k, interlaced);
      EXPECT_FALSE(info.keyed);
      EXPECT_FALSE(b.transparency().enabled);
    }
}

TEST(PngRead, SixteenBitSamplesAreRoundedToTheNearestLevel) {
  PngLayout layout;
  layout.width = 6, layout.height = 1, layout.bit_depth = 16, layout.colour_type = PNG_COLOR_TYPE_GRAY;
  const uint32_t values[6] = {0x0000, 0x0080, 0x0081, 0x7F7F, 0x8080, 0xFFFF};
  const uint8_t want[6] = {0, 0, 1, 127, 128, 255};
  Bitmap b;
  ASSERT_TRUE(read_png(make_png(layout, [&](uint32_t x, uint32_t, int) { return values[x]; }), b));
  for (int32_t x = 0; x < 6; ++x) EXPECT_EQ(b.pixel(x, 0), (Bgr{want[x], want[x], want[x]})) << x;
}

// An RGBA picture whose alpha is only 0 or 255 (or, with `partial`, one pixel at 128).
std::vector<uint8_t> cutout(Bgr opaque_extra, bool partial) {
  PngLayout layout;
  layout.width = 6, layout.height = 4, layout.colour_type = PNG_COLOR_TYPE_RGB_ALPHA;
  return make_png(layout, [&](uint32_t x, uint32_t y, int c) -> uint32_t {
    if (c == 3) return partial && x == 5 && y == 3 ? 128 : (x + y) % 2 ? 255 : 0;
    if (x == 1 && y == 0) return c == 0 ? opaque_extra.r : c == 1 ? opaque_extra.g : opaque_extra.b;
    return (x * 40 + y * 7 + c * 90) % 256;
  });
}

TEST(PngRead, WholeTransparencyIsKeptAsAColourNoOpaquePixelHas) {
  const Bgr bg{0, 0, 255};
  // The background is free: it becomes the transparent colour.
  Bitmap b;
  PngReadInfo info;
  ASSERT_TRUE(read_png(cutout(Bgr{1, 2, 3}, false), b, PngReadOptions{bg, PngAlpha::KeepExact}, &info));
  EXPECT_TRUE(info.has_alpha);
  ASSERT_TRUE(info.keyed);
  EXPECT_EQ(info.key, bg);
  EXPECT_TRUE(b.transparency().enabled);
  EXPECT_TRUE(b.transparency().fixed);
  EXPECT_EQ(raster::resolve(b.transparency().colour), bg);
  Bitmap mixed;
  ASSERT_TRUE(read_png(cutout(Bgr{1, 2, 3}, false), mixed, PngReadOptions{bg, PngAlpha::Composite}));
  EXPECT_TRUE(test::same_pixels(b, mixed));  // the same pixels, only the flag differs
  EXPECT_FALSE(mixed.transparency().enabled);

  // An opaque pixel has the background colour: another colour, used by no opaque pixel,
  // marks the transparent ones, and the opaque pixel keeps its colour.
  ASSERT_TRUE(read_png(cutout(bg, false), b, PngReadOptions{bg, PngAlpha::KeepExact}, &info));
  ASSERT_TRUE(info.keyed);
  EXPECT_NE(info.key, bg);
  EXPECT_EQ(b.pixel(1, 0), bg);
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 6; ++x) {
      if ((x + y) % 2 == 0)
        EXPECT_EQ(b.pixel(x, y), info.key) << x << "," << y;
      else
        EXPECT_NE(b.pixel(x, y), info.key) << x << "," << y;
    }
  EXPECT_EQ(raster::resolve(b.transparency().colour), info.key);

  // One partly transparent pixel: no colour can stand for it, so everything is mixed.
  ASSERT_TRUE(read_png(cutout(Bgr{1, 2, 3}, true), b, PngReadOptions{bg, PngAlpha::KeepExact}, &info));
  EXPECT_FALSE(info.keyed);
  EXPECT_FALSE(b.transparency().enabled);
  ASSERT_TRUE(read_png(cutout(Bgr{1, 2, 3}, true), mixed, PngReadOptions{bg, PngAlpha::Composite}));
  EXPECT_TRUE(test::same_pixels(b, mixed));
}

TEST(PngRead, ATransparentColourInTheFileIsExact) {
  // Grey and colour files with a tRNS colour: only pixels of exactly that value are
  // transparent, at 16 bits too (a pixel that differs in the low byte stays opaque).
  const Bgr bg{50, 60, 70};
  for (int depth : {8, 16}) {
    for (bool grey : {true, false}) {
      PngLayout layout;
      layout.width = 4, layout.height = 1, layout.bit_depth = depth;
      layout.colour_type = grey ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB;
      const uint32_t key = depth == 16 ? 0x1234 : 0x12, near = depth == 16 ? 0x1235 : 0x13;
      layout.key = png_color_16{0, static_cast<png_uint_16>(key), static_cast<png_uint_16>(key),
                                static_cast<png_uint_16>(key), static_cast<png_uint_16>(key)};
      const std::vector<uint8_t> file = make_png(layout, [&](uint32_t x, uint32_t, int) {
        return x == 0 ? key : x == 1 ? near : 200u;
      });
      Bitmap b;
      PngReadInfo info;
      ASSERT_TRUE(read_png(file, b, PngReadOptions{bg, PngAlpha::KeepExact}, &info)) << depth << grey;
      ASSERT_TRUE(info.keyed) << depth << grey;
      EXPECT_EQ(b.pixel(0, 0), info.key);
      EXPECT_NE(b.pixel(1, 0), info.key);
      const auto v = static_cast<uint8_t>(to8(near, depth));
      EXPECT_EQ(b.pixel(1, 0), (Bgr{v, v, v})) << depth << grey;
    }
  }
}

TEST(PngRead, TheSuiteLoadsAndEachInterlacedImageEqualsItsTwin) {
  const std::string dir = std::string(KELV_TEST_INPUTS) + "/png/suite";
  int pairs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name[0] != 'i' || entry.path().extension() != ".png") continue;
    for (PngAlpha mode : {PngAlpha::Composite, PngAlpha::KeepExact}) {
      Bitmap interlaced, plain;
      PngReadInfo a, b;
      std::string message;
      ASSERT_TRUE(read_png(test::read_input("png/suite/" + name), interlaced, {Bgr{9, 99, 199}, mode}, &a, &message))
          << name << ": " << message;
      ASSERT_TRUE(
          read_png(test::read_input("png/suite/" + name.substr(1)), plain, {Bgr{9, 99, 199}, mode}, &b, &message))
          << name.substr(1) << ": " << message;
      EXPECT_TRUE(test::same_pixels(interlaced, plain)) << name;
      EXPECT_EQ(a.keyed, b.keyed) << name;
      EXPECT_EQ(interlaced.width(), 32) << name;
    }
    ++pairs;
  }
  EXPECT_EQ(pairs, 21);
}

TEST(PngWrite, RoundTripsAtEveryLevel) {
  const Bitmap src = test::decode_photo(test::photos()[1]);
  size_t stored = 0, smallest = SIZE_MAX;
  for (int level = -3; level <= 12; ++level) {
    Bytes out;
    ASSERT_TRUE(write_png(src, PngWriteOptions{level, false, {}}, out)) << level;
    EXPECT_TRUE(is_png(out));
    Bitmap back;
    ASSERT_TRUE(read_png(out, back)) << level;
    EXPECT_TRUE(test::same_pixels(back, src)) << level;
    if (level <= 0) stored = out.size();
    smallest = std::min(smallest, out.size());
  }
  // Level 0 stores; higher levels compress.
  EXPECT_GE(stored, 3 * static_cast<size_t>(src.width()) * static_cast<size_t>(src.height()));
  EXPECT_LT(smallest, stored * 2 / 3);
  // No pixels, no file.
  Bytes out;
  std::string message;
  EXPECT_FALSE(write_png(Bitmap(), PngWriteOptions{}, out, &message));
  EXPECT_FALSE(message.empty());
  EXPECT_FALSE(write_png(Bitmap(0, 5), PngWriteOptions{}, out));
}

TEST(PngWrite, ATransparentBitmapCanKeepItsColour) {
  Bitmap src = test::pattern(9, 5);
  const Bgr key = src.pixel(3, 2);
  src.transparency() = raster::Transparency{true, true, raster::to_colour(key)};
  Bytes plain, keyed;
  ASSERT_TRUE(write_png(src, PngWriteOptions{6, false, {}}, plain));
  ASSERT_TRUE(write_png(src, PngWriteOptions{6, true, {}}, keyed));
  std::vector<uint8_t> keyed_file(keyed.begin(), keyed.end()), plain_file(plain.begin(), plain.end());
  EXPECT_EQ(test::find_chunk(plain_file, "tRNS"), 0u);
  EXPECT_NE(test::find_chunk(keyed_file, "tRNS"), 0u);
  Bitmap back;
  PngReadInfo info;
  ASSERT_TRUE(read_png(keyed, back, PngReadOptions{Bgr{0, 0, 0}, PngAlpha::KeepExact}, &info));
  EXPECT_TRUE(info.keyed);
  EXPECT_TRUE(back.transparency().enabled);
  // The background (black) was free, so it stands for the one transparent pixel now.
  EXPECT_EQ(back.pixel(3, 2), (Bgr{0, 0, 0}));
  EXPECT_EQ(back.pixel(4, 2), src.pixel(4, 2));
}

TEST(PngProbe, TheHeaderGivesTheSizeAndTheSnifferTheFormat) {
  PngLayout layout;
  layout.width = 300, layout.height = 2;
  const std::vector<uint8_t> file = make_png(layout, [](uint32_t, uint32_t, int) { return 0u; });
  int32_t w = -1, h = -1;
  ASSERT_TRUE(probe_png(std::span<const uint8_t>(file).first(kPngProbeBytes), w, h));
  EXPECT_EQ(w, 300);
  EXPECT_EQ(h, 2);
  EXPECT_FALSE(probe_png(std::span<const uint8_t>(file).first(kPngProbeBytes - 1), w, h));
  std::vector<uint8_t> bad = file;
  bad[19] ^= 1;  // the width, under the header's checksum
  EXPECT_FALSE(probe_png(bad, w, h));
  bad = file;
  bad[1] = 'p';
  EXPECT_FALSE(probe_png(bad, w, h));

  EXPECT_EQ(sniff_format(file), ImageFormat::Png);
  EXPECT_EQ(sniff_format(test::read_input("jpeg/baseline-48x40.jpg")), ImageFormat::Jpeg);
  EXPECT_EQ(sniff_format(test::read_input("bmp/pal8.bmp")), ImageFormat::Bmp);
  EXPECT_EQ(sniff_format(std::vector<uint8_t>{0xFF, 0xD8}), ImageFormat::Unknown);
  EXPECT_EQ(sniff_format(std::vector<uint8_t>{}), ImageFormat::Unknown);
  EXPECT_EQ(sniff_format(std::vector<uint8_t>(file.begin(), file.begin() + 7)), ImageFormat::Unknown);
}

// A file whose bytes were changed: the checksum of the chunk at `chunk` rewritten to fit,
// or left wrong.
std::vector<uint8_t> with_chunk_checksum(std::vector<uint8_t> file, size_t chunk) {
  const size_t length =
      size_t{file[chunk]} << 24 | size_t{file[chunk + 1]} << 16 | size_t{file[chunk + 2]} << 8 | file[chunk + 3];
  const uint32_t crc =
      static_cast<uint32_t>(crc32(crc32(0, Z_NULL, 0), file.data() + chunk + 4, static_cast<uInt>(length + 4)));
  const size_t at = chunk + 8 + length;
  file[at] = static_cast<uint8_t>(crc >> 24), file[at + 1] = static_cast<uint8_t>(crc >> 16);
  file[at + 2] = static_cast<uint8_t>(crc >> 8), file[at + 3] = static_cast<uint8_t>(crc);
  return file;
}

TEST(PngDamaged, ChecksumsTruncationAndBrokenHeadersFailCleanly) {
  const Made m = make(Kind{PNG_COLOR_TYPE_RGB_ALPHA, 8}, false, Bgr{});
  const size_t idat = test::find_chunk(m.file, "IDAT");
  ASSERT_NE(idat, 0u);
  Bitmap b;
  std::string message;
  // A changed byte in the image data: the chunk's checksum no longer fits.
  std::vector<uint8_t> bad = m.file;
  bad[idat + 10] ^= 0x40;
  EXPECT_FALSE(read_png(bad, b, {}, nullptr, &message));
  EXPECT_FALSE(message.empty());
  // Every cut of the file, down to nothing.
  for (size_t n = 0; n < m.file.size(); ++n) ASSERT_FALSE(read_png(std::span<const uint8_t>(m.file).first(n), b)) << n;
  // Header values libpng refuses: depth 3, an unknown colour type, width 0.
  for (auto [offset, value] : {std::pair{24, 3}, std::pair{25, 5}, std::pair{16, 0}}) {
    bad = m.file;
    bad[static_cast<size_t>(offset)] = static_cast<uint8_t>(value);
    if (offset == 16) bad[17] = bad[18] = bad[19] = 0;
    EXPECT_FALSE(read_png(with_chunk_checksum(bad, 8), b)) << offset;
  }
  // A damaged ancillary chunk is dropped, not fatal.
  PngLayout layout;
  layout.colour_type = PNG_COLOR_TYPE_PALETTE, layout.bit_depth = 8, layout.palette = palette(8);
  layout.palette_alpha = {0, 255};
  std::vector<uint8_t> file = make_png(layout, [](uint32_t x, uint32_t, int) { return x; });
  const size_t trns = test::find_chunk(file, "tRNS");
  ASSERT_NE(trns, 0u);
  file[trns + 8] ^= 0xFF;
  PngReadInfo info;
  EXPECT_TRUE(read_png(file, b, {}, &info, &message)) << message;
  EXPECT_EQ(b.width(), 8);
}

TEST(PngDamaged, SizesTheDataCannotFillAreRefusedBeforeAnyPixelMemory) {
  // A valid small file whose header is made to declare a huge picture.
  const Made m = make(Kind{PNG_COLOR_TYPE_RGB, 8}, false, Bgr{});
  struct Case {
    uint32_t w, h;
    const char* why;
  };
  for (const Case& c : {Case{100000, 100000, "The image is too large"},
                        Case{20000, 15000, "The file is too short for the image it declares"},
                        Case{0x7FFFFFFF, 1, "Invalid IHDR data"}}) {
    std::vector<uint8_t> big = m.file;
    for (int i = 0; i < 4; ++i) {
      big[16 + static_cast<size_t>(i)] = static_cast<uint8_t>(c.w >> (24 - 8 * i));
      big[20 + static_cast<size_t>(i)] = static_cast<uint8_t>(c.h >> (24 - 8 * i));
    }
    big = with_chunk_checksum(big, 8);
    int32_t pw = 0, ph = 0;
    EXPECT_TRUE(probe_png(big, pw, ph));
    Bitmap b;
    std::string message;
    EXPECT_FALSE(read_png(big, b, {}, nullptr, &message)) << c.w << "x" << c.h;
    EXPECT_EQ(message, c.why);
  }
  // A picture wider than libpng's own default limit of a million pixels loads.
  PngLayout wide;
  wide.width = 1200000, wide.height = 2, wide.colour_type = PNG_COLOR_TYPE_GRAY;
  Bitmap line;
  ASSERT_TRUE(read_png(make_png(wide, [](uint32_t x, uint32_t, int) { return x % 251; }), line));
  EXPECT_EQ(line.width(), 1200000);
  EXPECT_EQ(line.pixel(1199999, 1), (Bgr{1199999 % 251, 1199999 % 251, 1199999 % 251}));
  // The most compressible picture there is still loads: 2000 x 1500 black, well over
  // a thousand to one.
  PngLayout layout;
  layout.width = 2000, layout.height = 1500, layout.level = 9;
  const std::vector<uint8_t> black = make_png(layout, [](uint32_t, uint32_t, int) { return 0u; });
  ASSERT_GT(2000u * 1500u * 3u / black.size(), 900u);
  Bitmap b;
  std::string message;
  EXPECT_TRUE(read_png(black, b, {}, nullptr, &message)) << message;
  EXPECT_EQ(b.width(), 2000);
}

TEST(PngDamaged, TheKeptDamagedFilesFail) {
  const std::string dir = std::string(KELV_TEST_INPUTS) + "/png/malformed";
  int seen = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::vector<uint8_t> data = test::read_input("png/malformed/" + entry.path().filename().string());
    Bitmap b;
    EXPECT_FALSE(read_png(data, b)) << entry.path();
    EXPECT_FALSE(read_png(data, b, PngReadOptions{Bgr{}, PngAlpha::KeepExact})) << entry.path();
    ++seen;
  }
  EXPECT_GT(seen, 0);
}

}  // namespace
}  // namespace kelv::codec
