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
#include "unit/image/tagged_jpegs.h"

namespace kelv::codec {
namespace {

using raster::Bgr;
using raster::Bitmap;

using test::block_colour;
using test::kBlock;
using test::kHeight;
using test::kWidth;
using test::TaggedFiles;
using test::upright_picture;

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
          const Bgr got = turned.pixel(bx * kBlock + kBlock / 2, by * kBlock + kBlock / 2), want = block_colour(bx, by);
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

std::vector<uint8_t> exif_block(bool big, const std::vector<Entry>& entries, uint32_t ifd = 8, int32_t declared = -1) {
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
    EXPECT_EQ(exif_orientation(exif_block(big, {{0x0110, 2, 4, 0}, {0x0112, 3, 1, 8}, {0x011A, 5, 1, 0}})), 8);
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
  std::vector<uint8_t> far = good;                                        // the directory's offset far past the end
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
