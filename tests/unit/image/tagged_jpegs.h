// JPEG files carrying each of the eight orientation tags in both byte orders, tagged by
// exiftool: twelve flat blocks of different colours stored the way a camera stores them
// for each tag, so that turned upright every file shows the same picture.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "image/raster/bitmap.h"
#include "unit/image/raw_jpeg.h"
#include "unit/support.h"

namespace kelv::test {

using raster::Bgr;
using raster::Bitmap;

constexpr int32_t kBlock = 16;  // one JPEG MCU at 4:4:4 sampling, twice over
constexpr int32_t kWidth = 4 * kBlock, kHeight = 3 * kBlock;

// The upright picture: twelve flat blocks of different colours.
inline Bgr block_colour(int32_t bx, int32_t by) {
  return Bgr{static_cast<uint8_t>(40 + 60 * bx), static_cast<uint8_t>(30 + 90 * by),
             static_cast<uint8_t>(200 - 15 * (bx + 4 * by))};
}

inline Bitmap upright_picture() {
  Bitmap b(kWidth, kHeight, Bitmap::Fill::None);
  for (int32_t y = 0; y < kHeight; ++y)
    for (int32_t x = 0; x < kWidth; ++x) b.set_pixel(x, y, block_colour(x / kBlock, y / kBlock));
  return b;
}

// The stored picture a camera writes for orientation `o`, straight from the tag's
// definition: for each stored pixel, the upright pixel that belongs there.
inline Bitmap stored_picture(const Bitmap& up, int32_t o) {
  const bool swapped = o >= 5;
  const int32_t w = swapped ? up.height() : up.width(), h = swapped ? up.width() : up.height();
  const int32_t W = up.width() - 1, H = up.height() - 1;
  Bitmap s(w, h, Bitmap::Fill::None);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      int32_t u = x, v = y;  // upright position of stored (x, y)
      switch (o) {
        case 2: u = W - x; break;
        case 3: u = W - x, v = H - y; break;
        case 4: v = H - y; break;
        case 5: u = y, v = x; break;
        case 6: u = W - y, v = x; break;
        case 7: u = W - y, v = H - x; break;
        case 8: u = y, v = H - x; break;
        default: break;
      }
      s.set_pixel(x, y, up.pixel(u, v));
    }
  return s;
}

// Quality 100 without chroma subsampling, so flat blocks come back within a level or two.
inline std::string encode_444(const Bitmap& b) {
  return raw_jpeg_rows(
      b.width(), b.height(), 3, JCS_EXT_BGR, [&](int y) { return b.row(y); },
      [](jpeg_compress_struct& c) {
        jpeg_set_quality(&c, 100, TRUE);
        for (int i = 0; i < 3; ++i) c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
      });
}

// Sixteen files, orientations 1 to 8 in both byte orders, tagged by one exiftool run.
class TaggedFiles : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_dir = make_temp_dir("exif");
    const Bitmap up = upright_picture();
    std::ofstream args(s_dir / "args");
    for (int32_t o = 1; o <= 8; ++o)
      for (const char* order : {"MM", "II"}) {
        const auto path = file(o, order);
        std::ofstream(path, std::ios::binary) << encode_444(stored_picture(up, o));
        args << "-n\n-Orientation=" << o << "\n-ExifByteOrder=" << order << "\n-overwrite_original\n-q\n"
             << path.string() << "\n-execute\n";
      }
    args.close();
    const std::string command = "exiftool -@ '" + (s_dir / "args").string() + "' >/dev/null 2>&1";
    s_tagged = std::system(command.c_str()) == 0;
  }
  static void TearDownTestSuite() {
    std::error_code ec;
    std::filesystem::remove_all(s_dir, ec);
  }
  void SetUp() override {
    ASSERT_TRUE(s_tagged) << "exiftool failed or is missing (scripts/bootstrap installs libimage-exiftool-perl)";
  }
  static std::filesystem::path file(int32_t o, const std::string& order) {
    return s_dir / ("o" + std::to_string(o) + order + ".jpg");
  }
  static std::vector<uint8_t> bytes(int32_t o, const std::string& order) {
    std::ifstream f(file(o, order), std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
  }

  static inline std::filesystem::path s_dir;
  static inline bool s_tagged = false;
};

}  // namespace kelv::test
