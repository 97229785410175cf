// The camera's orientation tag: files tagged by exiftool in both byte orders, all eight
// values, turned upright and compared with the picture they were made from; then
// hand-made blocks that are damaged in every way a reader could trip over.
#include "image/codec/exif.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "image/raster/orientation.h"
#include "unit/image/pixels.h"
#include "unit/image/raw_jpeg.h"
#include "unit/support.h"

namespace kelv::codec {
namespace {

using raster::Bgr;
using raster::Bitmap;

constexpr int32_t kBlock = 16;  // one JPEG MCU at 4:4:4 sampling, twice over
constexpr int32_t kWidth = 4 * kBlock, kHeight = 3 * kBlock;

// The upright picture: twelve flat blocks of different colours.
Bgr block_colour(int32_t bx, int32_t by) {
  return Bgr{static_cast<uint8_t>(40 + 60 * bx), static_cast<uint8_t>(30 + 90 * by),
             static_cast<uint8_t>(200 - 15 * (bx + 4 * by))};
}

Bitmap upright_picture() {
  Bitmap b(kWidth, kHeight, Bitmap::Fill::None);
  for (int32_t y = 0; y < kHeight; ++y)
    for (int32_t x = 0; x < kWidth; ++x) b.set_pixel(x, y, block_colour(x / kBlock, y / kBlock));
  return b;
}

// The stored picture a camera writes for orientation `o`, straight from the tag's
// definition: for each stored pixel, the upright pixel that belongs there.
Bitmap stored_picture(const Bitmap& up, int32_t o) {
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
std::string encode_444(const Bitmap& b) {
  return test::raw_jpeg_rows(
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
    s_dir = test::make_temp_dir("exif");
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
    ASSERT_TRUE(s_tagged)
        << "exiftool failed or is missing (scripts/bootstrap installs libimage-exiftool-perl)";
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

// The metadata segment as a header probe finds it: the payload of the first APP1.
std::span<const uint8_t> first_app1(const std::vector<uint8_t>& f) {
  for (size_t at = 2; at + 4 <= f.size();) {
    const size_t length = size_t{f[at + 2]} << 8 | f[at + 3];
    if (f[at + 1] == 0xE1) return std::span<const uint8_t>(f).subspan(at + 4, length - 2);
    at += 2 + length;
  }
  return {};
}

TEST_F(TaggedFiles, EachFileReadsItsOwnTag) {
  for (int32_t o = 1; o <= 8; ++o)
    for (const char* order : {"MM", "II"}) {
      const std::vector<uint8_t> f = bytes(o, order);
      EXPECT_EQ(jpeg_orientation(f), o) << order;
      EXPECT_EQ(exif_orientation(first_app1(f)), o) << order;
    }
}

TEST_F(TaggedFiles, TurnedUprightEachShowsThePictureItWasMadeFrom) {
  const Bitmap up = upright_picture();
  for (int32_t o = 1; o <= 8; ++o)
    for (const char* order : {"MM", "II"}) {
      Bitmap decoded;
      ASSERT_TRUE(read_jpeg(bytes(o, order), decoded));
      const Bitmap turned = raster::upright(decoded, jpeg_orientation(bytes(o, order)));
      ASSERT_EQ(turned.width(), kWidth) << o;
      ASSERT_EQ(turned.height(), kHeight) << o;
      EXPECT_GE(test::psnr(turned, up), 40.0) << o << order;
      for (int32_t by = 0; by < 3; ++by)
        for (int32_t bx = 0; bx < 4; ++bx) {
          const Bgr got = turned.pixel(bx * kBlock + kBlock / 2, by * kBlock + kBlock / 2),
                    want = block_colour(bx, by);
          EXPECT_NEAR(got.b, want.b, 2) << o << order << " block " << bx << "," << by;
          EXPECT_NEAR(got.g, want.g, 2) << o << order << " block " << bx << "," << by;
          EXPECT_NEAR(got.r, want.r, 2) << o << order << " block " << bx << "," << by;
        }
    }
}

// A metadata segment's payload: "Exif\0\0", a TIFF header of the byte order, and a first
// directory at `ifd` with the given entries (tag, type, count, value).
struct Entry {
  uint16_t tag, type;
  uint32_t count, value;
};

std::vector<uint8_t> exif_block(bool big, const std::vector<Entry>& entries, uint32_t ifd = 8,
                                int32_t declared = -1) {
  std::vector<uint8_t> b = {'E', 'x', 'i', 'f', 0, 0};
  auto u16 = [&](uint16_t v) {
    if (big)
      b.insert(b.end(), {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)});
    else
      b.insert(b.end(), {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)});
  };
  auto u32 = [&](uint32_t v) {
    if (big)
      u16(static_cast<uint16_t>(v >> 16)), u16(static_cast<uint16_t>(v));
    else
      u16(static_cast<uint16_t>(v)), u16(static_cast<uint16_t>(v >> 16));
  };
  b.push_back(big ? 'M' : 'I');
  b.push_back(big ? 'M' : 'I');
  u16(42);
  u32(ifd);
  while (b.size() < 6 + size_t{ifd}) b.push_back(0);
  u16(static_cast<uint16_t>(declared >= 0 ? declared : static_cast<int32_t>(entries.size())));
  for (const Entry& e : entries) {
    u16(e.tag), u16(e.type), u32(e.count);
    if (e.type == 3)
      u16(static_cast<uint16_t>(e.value)), u16(0);
    else if (e.type == 1)
      b.insert(b.end(), {static_cast<uint8_t>(e.value), 0, 0, 0});
    else
      u32(e.value);
  }
  u32(0);  // no next directory
  return b;
}

TEST(Exif, TheTagInAnyByteOrderAndNumberType) {
  for (bool big : {false, true}) {
    EXPECT_EQ(exif_orientation(exif_block(big, {{0x0112, 3, 1, 6}})), 6);
    EXPECT_EQ(exif_orientation(exif_block(big, {{0x0110, 2, 4, 0}, {0x0112, 3, 1, 8}, {0x011A, 5, 1, 0}})),
              8);
    EXPECT_EQ(exif_orientation(exif_block(big, {{0x0112, 4, 1, 3}})), 3);  // a LONG
    EXPECT_EQ(exif_orientation(exif_block(big, {{0x0112, 1, 1, 5}})), 5);  // a BYTE
    // The directory after other data, and a value that needs the byte order.
    EXPECT_EQ(exif_orientation(exif_block(big, {{0x0112, 3, 1, 7}}, 40)), 7);
  }
}

TEST(Exif, AnythingUnreadableOrOutOfRangeIsUpright) {
  const std::vector<uint8_t> good = exif_block(true, {{0x0112, 3, 1, 6}});
  // Every cut: the tag counts only once its whole entry is there.
  for (size_t n = 0; n <= good.size(); ++n)
    EXPECT_EQ(exif_orientation(std::span<const uint8_t>(good).first(n)), n >= 6 + 8 + 2 + 12 ? 6 : 1) << n;
  EXPECT_EQ(exif_orientation(exif_block(true, {{0x0112, 3, 1, 0}})), 1);
  EXPECT_EQ(exif_orientation(exif_block(true, {{0x0112, 3, 1, 9}})), 1);
  EXPECT_EQ(exif_orientation(exif_block(true, {{0x0112, 3, 0, 6}})), 1);  // no values
  EXPECT_EQ(exif_orientation(exif_block(true, {{0x0112, 2, 1, 6}})), 1);  // text
  EXPECT_EQ(exif_orientation(exif_block(true, {{0x0112, 4, 1, 0x10006}})), 1);
  EXPECT_EQ(exif_orientation(exif_block(true, {{0x0110, 3, 1, 6}})), 1);  // another tag
  std::vector<uint8_t> far = good;  // the directory's offset far past the end
  far[10] = far[11] = far[12] = 0xFF;
  EXPECT_EQ(exif_orientation(far), 1);
  // More entries declared than the bytes hold: those present are read, no further.
  EXPECT_EQ(exif_orientation(exif_block(false, {{0x0100, 4, 1, 1}, {0x0112, 3, 1, 2}}, 8, 0xFFFF)), 2);
  EXPECT_EQ(exif_orientation(exif_block(false, {{0x0100, 4, 1, 1}}, 8, 0xFFFF)), 1);
  // Not a metadata block, or a broken TIFF header.
  std::vector<uint8_t> bad = good;
  bad[0] = 'e';
  EXPECT_EQ(exif_orientation(bad), 1);
  bad = good;
  bad[6] = 'M', bad[7] = 'I';
  EXPECT_EQ(exif_orientation(bad), 1);
  bad = good;
  bad[9] = 43;
  EXPECT_EQ(exif_orientation(bad), 1);
  const std::string xmp = "http://ns.adobe.com/xap/1.0/";
  EXPECT_EQ(exif_orientation(std::vector<uint8_t>(xmp.begin(), xmp.end())), 1);
}

// A JPEG's head: SOI, then the given segments (marker, payload), then the image data.
std::vector<uint8_t> jpeg_with(const std::vector<std::pair<uint8_t, std::vector<uint8_t>>>& segments) {
  std::vector<uint8_t> f = {0xFF, 0xD8};
  for (const auto& [marker, payload] : segments) {
    const size_t length = payload.size() + 2;
    f.insert(f.end(), {0xFF, marker, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)});
    f.insert(f.end(), payload.begin(), payload.end());
  }
  return f;
}

TEST(Exif, TheFileWalkFindsTheMetadataSegmentAndStopsAtTheImageData) {
  const std::vector<uint8_t> tag = exif_block(false, {{0x0112, 3, 1, 6}});
  const std::string xmp_text = "http://ns.adobe.com/xap/1.0/\0<x/>";
  const std::vector<uint8_t> xmp(xmp_text.begin(), xmp_text.end());
  EXPECT_EQ(jpeg_orientation(jpeg_with({{0xE0, {'J', 'F', 'I', 'F', 0}}, {0xE1, tag}})), 6);
  // Another APP1 first (XMP) is passed over.
  EXPECT_EQ(jpeg_orientation(jpeg_with({{0xE1, xmp}, {0xE1, tag}})), 6);
  // Fill bytes before a marker are allowed.
  std::vector<uint8_t> filled = jpeg_with({{0xE1, tag}});
  filled.insert(filled.begin() + 2, {0xFF, 0xFF});
  EXPECT_EQ(jpeg_orientation(filled), 6);
  // After the start of scan nothing counts, nor does a file without SOI.
  EXPECT_EQ(jpeg_orientation(jpeg_with({{0xDA, {0, 1, 2}}, {0xE1, tag}})), 1);
  std::vector<uint8_t> no_soi = jpeg_with({{0xE1, tag}});
  no_soi[1] = 0xD9;
  EXPECT_EQ(jpeg_orientation(no_soi), 1);
  // A segment running past the end, at every cut of the file.
  const std::vector<uint8_t> whole = jpeg_with({{0xE0, {1, 2, 3}}, {0xE1, tag}});
  for (size_t n = 0; n < whole.size(); ++n)
    EXPECT_EQ(jpeg_orientation(std::span<const uint8_t>(whole).first(n)), 1) << n;
  EXPECT_EQ(jpeg_orientation(whole), 6);
  // A length below two, and garbage where a marker should be.
  std::vector<uint8_t> short_length = jpeg_with({{0xE0, {}}, {0xE1, tag}});
  short_length[5] = 1;
  EXPECT_EQ(jpeg_orientation(short_length), 1);
  std::vector<uint8_t> garbage = jpeg_with({{0xE1, tag}});
  garbage[2] = 0x00;
  EXPECT_EQ(jpeg_orientation(garbage), 1);
}

}  // namespace
}  // namespace kelv::codec
