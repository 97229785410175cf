// Decoding a JPEG at a reduced DCT scale: the scale chosen for a wanted size, the full
// scale unchanged, and thumbnails from a reduced decode close to those from a full one.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>

#include "image/codec/jpeg.h"
#include "image/raster/resample.h"
#include "unit/image/pixels.h"
#include "unit/image/raw_jpeg.h"

namespace kelv::codec {
namespace {

using raster::Bitmap;

struct Scaled {
  int32_t w, h;
  int denominator;
};

Scaled load_min(const std::vector<uint8_t>& file, int32_t min_w, int32_t min_h) {
  Bitmap b;
  int denominator = 0;
  EXPECT_TRUE(read_jpeg_min(file, min_w, min_h, b, nullptr, &denominator));
  return {b.width(), b.height(), denominator};
}

bool operator==(const Scaled& a, const Scaled& b) { return a.w == b.w && a.h == b.h && a.denominator == b.denominator; }

void PrintTo(const Scaled& s, std::ostream* os) { *os << s.w << "x" << s.h << " at 1/" << s.denominator; }

TEST(JpegScale, TheSmallestScaleThatStillGivesTheAskedSize) {
  const std::vector<uint8_t> photo = test::read_input(test::photos()[0]);  // 384 x 288
  EXPECT_EQ(load_min(photo, 48, 36), (Scaled{48, 36, 8}));
  EXPECT_EQ(load_min(photo, 49, 36), (Scaled{96, 72, 4}));
  EXPECT_EQ(load_min(photo, 48, 37), (Scaled{96, 72, 4}));
  EXPECT_EQ(load_min(photo, 96, 73), (Scaled{192, 144, 2}));
  EXPECT_EQ(load_min(photo, 192, 144), (Scaled{192, 144, 2}));
  EXPECT_EQ(load_min(photo, 193, 1), (Scaled{384, 288, 1}));
  // More than the picture has: full scale, never enlarged.
  EXPECT_EQ(load_min(photo, 5000, 5000), (Scaled{384, 288, 1}));
  // A bound of 0 or less asks nothing in its direction.
  EXPECT_EQ(load_min(photo, 0, 0), (Scaled{48, 36, 8}));
  EXPECT_EQ(load_min(photo, -7, 200), (Scaled{384, 288, 1}));
  EXPECT_EQ(load_min(photo, 100, INT32_MIN), (Scaled{192, 144, 2}));

  // Sizes that don't divide: libjpeg rounds each reduced side up.
  Bitmap odd = test::pattern(100, 75);
  Bytes encoded;
  ASSERT_TRUE(write_jpeg(odd, JpegOptions{}, encoded));
  const std::vector<uint8_t> file(encoded.begin(), encoded.end());
  EXPECT_EQ(load_min(file, 13, 10), (Scaled{13, 10, 8}));
  EXPECT_EQ(load_min(file, 13, 11), (Scaled{25, 19, 4}));
  EXPECT_EQ(load_min(file, 51, 1), (Scaled{100, 75, 1}));
}

TEST(JpegScale, AtFullScaleTheLoadIsTheOrdinaryOne) {
  std::vector<std::string> files = test::photos();
  files.push_back("jpeg/progressive-64.jpg");
  files.push_back("jpeg/baseline-48x40.jpg");
  for (const std::string& name : files) {
    const std::vector<uint8_t> data = test::read_input(name);
    Bitmap plain, full;
    ASSERT_TRUE(read_jpeg(data, plain)) << name;
    ASSERT_TRUE(read_jpeg_min(data, plain.width(), plain.height(), full)) << name;
    EXPECT_TRUE(test::same_pixels(plain, full)) << name;
  }
}

TEST(JpegScale, AThumbnailFromAReducedDecodeMatchesOneFromTheFullDecode) {
  // A reduced pixel is the mean of its 8x8 (4x4, 2x2) block, so averaging reduced pixels
  // equals averaging the full picture wherever a thumbnail pixel spans whole blocks; it
  // spans pieces of blocks at its edges, which matters least when the reduced picture is
  // several times the thumbnail, as it is for photos (4224 pixels at 1/8 for 160: 3.3).
  struct Case {
    int32_t min_w, min_h, w, h;
  };
  for (const std::string& name : test::photos()) {
    const std::vector<uint8_t> data = test::read_input(name);
    Bitmap full;
    ASSERT_TRUE(read_jpeg(data, full));
    for (const Case& c : {Case{48, 36, 48, 36}, Case{16, 12, 16, 12}, Case{20, 15, 20, 15}, Case{80, 60, 40, 30},
                          Case{100, 70, 64, 48}, Case{192, 144, 80, 60}}) {
      Bitmap reduced;
      ASSERT_TRUE(read_jpeg_min(data, c.min_w, c.min_h, reduced));
      Bitmap from_reduced(c.w, c.h), from_full(c.w, c.h);
      raster::resample_area(from_reduced, raster::Rect{0, 0, c.w, c.h}, reduced);
      raster::resample_area(from_full, raster::Rect{0, 0, c.w, c.h}, full);
      EXPECT_GE(test::psnr(from_reduced, from_full), 35.0) << name << " at " << c.w << "x" << c.h;
    }
  }
}

TEST(JpegScale, DamagedFilesFailAtAnyScale) {
  for (const auto& entry : std::filesystem::directory_iterator(std::string(KELV_TEST_INPUTS) + "/jpeg/malformed")) {
    const std::vector<uint8_t> data = test::read_input("jpeg/malformed/" + entry.path().filename().string());
    Bitmap b;
    std::string message;
    EXPECT_FALSE(read_jpeg_min(data, 10, 10, b, &message)) << entry.path();
    EXPECT_FALSE(message.empty()) << entry.path();
  }
  // A photo cut in the middle of its data: what libjpeg can't decode fails the load.
  std::vector<uint8_t> cut = test::read_input(test::photos()[0]);
  cut.resize(100);
  Bitmap b;
  EXPECT_FALSE(read_jpeg_min(cut, 1, 1, b));
}

// In a child: a small progressive file made to declare 25000 x 20000 pixels and cut
// after its first scan. libjpeg would hold (and zero, as it reads the missing scans as
// empty) 1.5 GB of coefficients for it; the reduced decode fails before taking that
// memory, so the peak resident size hardly grows.
void reduce_a_huge_progressive_file() {
  std::vector<uint8_t> row(3 * 16, 90);
  const std::string small =
      test::raw_jpeg(16, 16, 3, JCS_RGB, row, [](jpeg_compress_struct& c) { jpeg_simple_progression(&c); });
  std::vector<uint8_t> data(small.begin(), small.end());
  size_t sof = 0, sos = 0;
  while (sof + 9 < data.size() && !(data[sof] == 0xFF && data[sof + 1] == 0xC2)) ++sof;
  while (sos + 4 < data.size() && !(data[sos] == 0xFF && data[sos + 1] == 0xDA)) ++sos;
  if (sof + 9 >= data.size() || sos + 4 >= data.size()) std::exit(3);
  data[sof + 5] = 20000 >> 8, data[sof + 6] = 20000 & 0xFF, data[sof + 7] = 25000 >> 8, data[sof + 8] = 25000 & 0xFF;
  data.resize(sos + 40);
  data.insert(data.end(), {0xFF, 0xD9});
  rusage before{}, after{};
  getrusage(RUSAGE_SELF, &before);
  Bitmap b;
  const bool loaded = read_jpeg_min(data, 16, 16, b);
  getrusage(RUSAGE_SELF, &after);
  const long grown_kb = after.ru_maxrss - before.ru_maxrss;
  std::exit(!loaded && grown_kb < 200 * 1024 ? 0 : 1);
}

TEST(JpegScaleDeathTest, AHugeProgressiveDeclarationFailsWithoutTakingItsMemory) {
  EXPECT_EXIT(reduce_a_huge_progressive_file(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace kelv::codec
