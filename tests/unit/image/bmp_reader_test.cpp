// The BMP reader on every variant users meet, built byte by byte, and on broken files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "image/codec/bmp.h"
#include "unit/image/bmp_builder.h"

namespace kelv {
namespace {

using raster::Bgr;
using raster::Bitmap;
using test::BmpSpec;
using test::build_bmp;

constexpr Bgr kRed{0, 0, 255}, kGreen{0, 255, 0}, kBlue{255, 0, 0}, kWhite{255, 255, 255}, kBlack{0, 0, 0};

Bitmap decode(const BmpSpec& s) {
  Bitmap b;
  EXPECT_TRUE(codec::read_bmp(build_bmp(s), b));
  return b;
}

TEST(BmpReader, PaletteDepths) {
  // 1 bit: 3 pixels wide, 2 rows, bottom row first, rows padded to 4 bytes.
  BmpSpec one{40, 3, 2, 1, 0, 0, {}, {0xFF0000, 0x0000FF}, {0xA0, 0, 0, 0, 0x40, 0, 0, 0}};
  Bitmap b = decode(one);
  ASSERT_EQ(b.width(), 3);
  EXPECT_EQ(b.pixel(0, 1), kBlue);  // bottom row: bits 1 0 1
  EXPECT_EQ(b.pixel(1, 1), kRed);
  EXPECT_EQ(b.pixel(2, 1), kBlue);
  EXPECT_EQ(b.pixel(1, 0), kBlue);  // top row: bits 0 1 0
  // 4 bits with a two-entry table: index 5 is past it and reads as black.
  BmpSpec four{40, 2, 1, 4, 0, 2, {}, {0x00FF00, 0xFFFFFF}, {0x15, 0, 0, 0}};
  b = decode(four);
  EXPECT_EQ(b.pixel(0, 0), kWhite);
  EXPECT_EQ(b.pixel(1, 0), kBlack);
  // 8 bits.
  BmpSpec eight{40, 2, 1, 8, 0, 3, {}, {0, 0xFF0000, 0x00FF00}, {2, 1, 0, 0}};
  b = decode(eight);
  EXPECT_EQ(b.pixel(0, 0), kGreen);
  EXPECT_EQ(b.pixel(1, 0), kRed);
}

TEST(BmpReader, CoreHeaderWithThreeByteTable) {
  BmpSpec core{12, 2, 1, 8, 0, 0, {}, {}, {1, 0, 0, 0}};
  core.palette.assign(256, 0);
  core.palette[1] = 0x0000FF;
  Bitmap b = decode(core);
  EXPECT_EQ(b.pixel(0, 0), kBlue);
  BmpSpec core24{12, 1, 1, 24, 0, 0, {}, {}, {1, 2, 3, 0}};
  EXPECT_EQ(decode(core24).pixel(0, 0), (Bgr{1, 2, 3}));
}

TEST(BmpReader, TrueColourLayouts) {
  // 24-bit top-down.
  BmpSpec top{40, 1, -2, 24, 0, 0, {}, {}, {255, 0, 0, 0, 0, 0, 255, 0}};
  Bitmap b = decode(top);
  EXPECT_EQ(b.pixel(0, 0), kBlue);
  EXPECT_EQ(b.pixel(0, 1), kRed);
  // 16-bit 5-5-5 and 5-6-5 with bit fields.
  BmpSpec s555{40, 1, 1, 16, 0, 0, {}, {}, {0x00, 0x7C, 0, 0}};
  EXPECT_EQ(decode(s555).pixel(0, 0), kRed);
  BmpSpec s565{40, 2, 1, 16, 3, 0, {0xF800, 0x07E0, 0x001F}, {}, {0xE0, 0x07, 0x1F, 0x00}};
  b = decode(s565);
  EXPECT_EQ(b.pixel(0, 0), kGreen);
  EXPECT_EQ(b.pixel(1, 0), kBlue);
  // 32-bit BGRX, and with bit fields in a 56-byte header (alpha ignored).
  BmpSpec bgrx{40, 1, 1, 32, 0, 0, {}, {}, {10, 20, 30, 99}};
  EXPECT_EQ(decode(bgrx).pixel(0, 0), (Bgr{10, 20, 30}));
  BmpSpec rgba{56, 1, 1, 32, 3, 0, {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000}, {}, {10, 20, 30, 40}};
  EXPECT_EQ(decode(rgba).pixel(0, 0), (Bgr{30, 20, 10}));
}

TEST(BmpReader, LaterHeaderSizes) {
  for (uint32_t size : {52u, 56u, 108u, 124u}) {
    BmpSpec s{size, 1, 1, 24, 0, 0, {}, {}, {7, 8, 9, 0}};
    EXPECT_EQ(decode(s).pixel(0, 0), (Bgr{7, 8, 9})) << size;
  }
}

TEST(BmpReader, RunLengthEncoding) {
  // RLE8, 4x3: row 0 a run of 4 of index 1; row 1 an absolute run 1 2 1 (odd, padded);
  // a delta to (1, 2); a run past the row end is cut; end of bitmap.
  BmpSpec rle8{40,
               4,
               3,
               8,
               1,
               3,
               {},
               {0x000000, 0xFF0000, 0x00FF00},
               {4, 1, 0, 0, 0, 3, 1, 2, 1, 0, 0, 0, 0, 2, 1, 0, 9, 2, 0, 1}};
  Bitmap b = decode(rle8);
  EXPECT_EQ(b.pixel(0, 2), kRed);  // bottom row
  EXPECT_EQ(b.pixel(3, 2), kRed);
  EXPECT_EQ(b.pixel(1, 1), kGreen);
  EXPECT_EQ(b.pixel(3, 1), kBlack);  // not in the data
  EXPECT_EQ(b.pixel(0, 0), kBlack);  // skipped by the delta
  EXPECT_EQ(b.pixel(1, 0), kGreen);
  EXPECT_EQ(b.pixel(3, 0), kGreen);  // the run of 9 ends at the row end
  // RLE4: a run alternates its two nibbles.
  BmpSpec rle4{40, 5, 1, 4, 2, 2, {}, {0x0000FF, 0xFFFFFF}, {5, 0x01, 0, 1}};
  b = decode(rle4);
  EXPECT_EQ(b.pixel(0, 0), kBlue);
  EXPECT_EQ(b.pixel(1, 0), kWhite);
  EXPECT_EQ(b.pixel(4, 0), kBlue);
}

TEST(BmpReader, RunLengthDataThatEndsEarlyIsRefused) {
  // Neither picture ends with an end of line, so every cut leaves it unfinished: a run
  // cut in two, a delta without its offsets, an absolute run short of its bytes or of
  // its padding byte, a missing end of bitmap.
  BmpSpec rle8{40,
               4,
               3,
               8,
               1,
               3,
               {},
               {0x000000, 0xFF0000, 0x00FF00},
               {4, 1, 0, 0, 0, 3, 1, 2, 1, 0, 0, 2, 1, 0, 0, 0, 9, 2, 0, 1}};
  BmpSpec rle4{
      40, 6, 2, 4, 2, 2, {}, {0x0000FF, 0xFFFFFF}, {0, 5, 0x01, 0x10, 0x10, 0, 0, 2, 1, 0, 0, 0, 5, 0x10, 0, 1}};
  for (const BmpSpec& file : {rle8, rle4}) {
    std::vector<uint8_t> whole = build_bmp(file);
    Bitmap b;
    ASSERT_TRUE(codec::read_bmp(whole, b));
    const size_t pixels_at = whole.size() - file.pixels.size();
    for (size_t n = pixels_at; n < whole.size(); ++n)
      EXPECT_FALSE(codec::read_bmp(std::span<const uint8_t>(whole.data(), n), b)) << file.bpp << " bits, cut at " << n;
  }
}

TEST(BmpReader, RunLengthDeltasAndAbsoluteRunsPastTheEnd) {
  auto rle8 = [](std::vector<uint8_t> data) {
    return build_bmp(BmpSpec{40, 4, 3, 8, 1, 2, {}, {0x000000, 0xFF0000}, std::move(data)});
  };
  Bitmap b;
  // A delta past the bottom row ends the picture; the rows it skipped stay black.
  ASSERT_TRUE(codec::read_bmp(rle8({4, 1, 0, 2, 0, 9}), b));
  EXPECT_EQ(b.pixel(3, 2), kRed);
  EXPECT_EQ(b.pixel(0, 0), kBlack);
  // The delta's offsets are not in the file.
  EXPECT_FALSE(codec::read_bmp(rle8({4, 1, 0, 2, 1}), b));
  // An absolute run of 5 with 3 of its bytes; one of 3 without its padding byte (read
  // on from the wrong place, its bytes would pass for commands).
  EXPECT_FALSE(codec::read_bmp(rle8({0, 5, 1, 1, 1}), b));
  EXPECT_FALSE(codec::read_bmp(rle8({0, 3, 1, 1, 1}), b));
  // With the padding byte and an end of bitmap it is a good file.
  ASSERT_TRUE(codec::read_bmp(rle8({0, 3, 1, 0, 1, 0, 0, 1}), b));
  EXPECT_EQ(b.pixel(0, 2), kRed);
  EXPECT_EQ(b.pixel(1, 2), kBlack);
  EXPECT_EQ(b.pixel(2, 2), kRed);
  // A picture whose last row ends with an end of line needs no end of bitmap.
  EXPECT_TRUE(codec::read_bmp(rle8({4, 1, 0, 0, 4, 1, 0, 0, 4, 1, 0, 0}), b));
  EXPECT_EQ(b.pixel(3, 0), kRed);
}

TEST(BmpReader, MalformedFilesAreRefusedWithoutReadingPastTheEnd) {
  std::vector<BmpSpec> bad = {
      {40, 2, 2, 24, 0, 0, {}, {}, {1, 2, 3}},               // rows missing
      {41, 1, 1, 24, 0, 0, {}, {}, {0, 0, 0, 0}},            // unknown header size
      {40, 0, 1, 24, 0, 0, {}, {}, {0, 0, 0, 0}},            // no width
      {40, 1, 0, 24, 0, 0, {}, {}, {}},                      // no height
      {40, 1, 1, 7, 0, 0, {}, {}, {0, 0, 0, 0}},             // no such depth
      {40, 1, 1, 24, 4, 0, {}, {}, {0, 0, 0, 0}},            // embedded JPEG
      {40, 1, 1, 24, 1, 0, {}, {}, {0, 0, 0, 0}},            // RLE8 on 24 bits
      {40, 1, -1, 8, 1, 0, {}, {}, {0, 1}},                  // top-down RLE
      {40, 100000, 100000, 24, 0, 0, {}, {}, {0, 0, 0, 0}},  // 30 GB of pixels
      {40, 1, 1, 8, 0, 300, {}, {}, {0, 0, 0, 0}},           // more entries than 8 bits index
  };
  BmpSpec short_table{40, 1, 1, 8, 0, 200, {}, {0, 0}, {}};  // table longer than the file
  bad.push_back(short_table);
  for (size_t i = 0; i < bad.size(); ++i) {
    Bitmap b;
    EXPECT_FALSE(codec::read_bmp(build_bmp(bad[i]), b)) << "case " << i;
  }
  // Every prefix of a valid file is refused or read within bounds.
  BmpSpec ok{40, 3, 2, 8, 0, 2, {}, {0x112233, 0x445566}, {0, 1, 0, 0, 1, 0, 1, 0}};
  std::vector<uint8_t> whole = build_bmp(ok);
  for (size_t n = 0; n < whole.size(); ++n) {
    Bitmap b;
    EXPECT_FALSE(codec::read_bmp(std::span<const uint8_t>(whole.data(), n), b)) << n;
  }
  Bitmap b;
  EXPECT_FALSE(codec::read_bmp(std::vector<uint8_t>{'B', 'X', 0, 0}, b));
}

TEST(BmpReader, StoredMalformedInputs) {
  std::filesystem::path dir = std::filesystem::path(KELV_TEST_INPUTS) / "bmp" / "malformed";
  int seen = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    std::ifstream in(e.path(), std::ios::binary);
    std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), {});
    Bitmap b;
    EXPECT_FALSE(codec::read_bmp(data, b)) << e.path();
    ++seen;
  }
  EXPECT_GT(seen, 0);
}

TEST(BmpWriter, LayoutOfTheFile) {
  Bitmap b(3, 2);
  b.set_pixel(0, 0, kRed);
  Bytes out = codec::write_bmp(b);
  ASSERT_EQ(out.size(), 14u + 40u + 2 * 12u);
  EXPECT_EQ(out[0], 'B');
  EXPECT_EQ(out[1], 'M');
  EXPECT_EQ(out[10], 54);  // pixels right after the headers
  EXPECT_EQ(out[14], 40);
  EXPECT_EQ(out[28], 24);
  EXPECT_EQ(out[22], 2);  // positive height: bottom row first
  // The top row is the second row in the file; its padding is zero.
  EXPECT_EQ(out[54 + 12 + 2], 255);
  EXPECT_EQ(out[54 + 12 + 9], 0);
  Bitmap again;
  ASSERT_TRUE(codec::read_bmp(out, again));
  EXPECT_EQ(again.pixel(0, 0), kRed);
  EXPECT_EQ(again.pixel(2, 1), kWhite);
}

}  // namespace
}  // namespace kelv

namespace kelv {
namespace {

TEST(BmpReader, EveryStoredVariantLoads) {
  int seen = 0;
  for (const auto& e : std::filesystem::directory_iterator(std::filesystem::path(KELV_TEST_INPUTS) / "bmp")) {
    if (!e.is_regular_file()) continue;
    std::ifstream in(e.path(), std::ios::binary);
    std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), {});
    raster::Bitmap b;
    EXPECT_TRUE(codec::read_bmp(data, b)) << e.path();
    EXPECT_GT(b.width(), 0) << e.path();
    ++seen;
  }
  EXPECT_GE(seen, 10);
}

// A header probe reads the size from the first bytes: the 12-byte header's 16-bit sizes,
// the 40-byte header's 32-bit ones with a negative height kept; nothing from a later
// header or from too few bytes.
TEST(BmpProbe, SizesFromTheFirstBytes) {
  std::vector<uint8_t> core(codec::kBmpProbeBytes, 0), info(codec::kBmpProbeBytes, 0);
  core[14] = 12, core[18] = 0x2C, core[19] = 0x01, core[20] = 200;
  info[14] = 40, info[18] = 0x70, info[19] = 0x11, info[20] = 0x01;
  info[22] = 0xFB, info[23] = 0xFF, info[24] = 0xFF, info[25] = 0xFF;
  int32_t w = 0, h = 0;
  EXPECT_TRUE(codec::probe_bmp(std::span<const uint8_t>(core.data(), 22), w, h));
  EXPECT_EQ(w, 300);
  EXPECT_EQ(h, 200);
  EXPECT_FALSE(codec::probe_bmp(std::span<const uint8_t>(core.data(), 21), w, h));
  EXPECT_TRUE(codec::probe_bmp(info, w, h));
  EXPECT_EQ(w, 70000);
  EXPECT_EQ(h, -5);
  EXPECT_FALSE(codec::probe_bmp(std::span<const uint8_t>(info.data(), 25), w, h));
  info[14] = 108;
  EXPECT_FALSE(codec::probe_bmp(info, w, h));
}

}  // namespace
}  // namespace kelv
