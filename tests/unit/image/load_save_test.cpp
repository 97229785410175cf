// Loading and saving: the state after each, BMP round trips, the JPEG options reaching
// the codec (read back from the file's own markers), colour spaces, broken files, and
// saves that never leave a partial file.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "image/image.h"
#include "unit/binaryrw/fixture.h"
#include "unit/image/bmp_builder.h"
#include "unit/image/raw_jpeg.h"

namespace kelv {
namespace {

using raster::Bgr;
using LoadSave = test::ScratchDir;

// The markers of a JPEG file: the frame type and the first luminance quantisation value.
struct Markers {
  int sof = -1;
  int dqt0 = -1;
};

Markers scan(const std::string& bytes) {
  Markers m;
  for (size_t i = 2; i + 4 < bytes.size();) {
    if (static_cast<uint8_t>(bytes[i]) != 0xFF) break;
    auto code = static_cast<uint8_t>(bytes[i + 1]);
    size_t len = (static_cast<uint8_t>(bytes[i + 2]) << 8) | static_cast<uint8_t>(bytes[i + 3]);
    if (code >= 0xC0 && code <= 0xC2 && m.sof < 0) m.sof = code;
    if (code == 0xDB && m.dqt0 < 0) m.dqt0 = static_cast<uint8_t>(bytes[i + 5]);
    if (code == 0xDA) break;
    i += 2 + len;
  }
  return m;
}

void gradient(TImageImpl& img, int w, int h) {
  ASSERT_EQ(img.CreateFromSize(w, h, 0), 1);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      img.bitmap()->set_pixel(x, y, Bgr{static_cast<uint8_t>(4 * x), static_cast<uint8_t>(4 * y), 128});
}

// A JPEG in a colour space our encoder never writes: grey 200, or CMYK with cyan 0,
// magenta 255, yellow 255, black 0 (stored inverted when Adobe).
std::string foreign_jpeg(J_COLOR_SPACE space, int components, bool adobe) {
  std::vector<uint8_t> row(8 * static_cast<size_t>(components));
  for (size_t i = 0; i < row.size(); ++i)
    row[i] = components == 1 ? 200
                             : static_cast<uint8_t>((i % 4 == 1 || i % 4 == 2) ? (adobe ? 0 : 255) : (adobe ? 255 : 0));
  return test::raw_jpeg(8, 8, components, space, row, [&](jpeg_compress_struct& c) { c.write_Adobe_marker = adobe; });
}

}  // namespace

namespace {

TEST(ImageState, ANewObject) {
  TImageImpl img;
  EXPECT_EQ(img.IsNullImage(), 1);
  EXPECT_EQ(img.IsValidImage(), 0);
  EXPECT_EQ(img.get_DefaultJpgQuality(), 78);
  EXPECT_EQ(img.get_DefaultJpgProgressive(), 0);
  EXPECT_EQ(img.get_DefaultJpgSmoothing(), 1);
  img.DeleteImage();
  img.DeleteImage();
}

TEST(ImageState, DefaultPropertiesClampAndTakeOnlyOne) {
  TImageImpl img;
  img.put_DefaultJpgQuality(0);
  EXPECT_EQ(img.get_DefaultJpgQuality(), 1);
  img.put_DefaultJpgQuality(101);
  EXPECT_EQ(img.get_DefaultJpgQuality(), 100);
  img.put_DefaultJpgQuality(-1);
  EXPECT_EQ(img.get_DefaultJpgQuality(), 1);
  img.put_DefaultJpgProgressive(-1);  // a script's True switches it off
  EXPECT_EQ(img.get_DefaultJpgProgressive(), 0);
  img.put_DefaultJpgProgressive(1);
  EXPECT_EQ(img.get_DefaultJpgProgressive(), 1);
  img.put_DefaultJpgSmoothing(2);
  EXPECT_EQ(img.get_DefaultJpgSmoothing(), 0);
  codec::JpegOptions o = img.resolve_jpeg(-1, -1, -1);
  EXPECT_EQ(o.quality, 1);
  EXPECT_TRUE(o.progressive);
  EXPECT_FALSE(o.smoothing);
  o = img.resolve_jpeg(250, 2, 1);
  EXPECT_EQ(o.quality, 100);
  EXPECT_FALSE(o.progressive);
  EXPECT_TRUE(o.smoothing);
  EXPECT_EQ(img.resolve_jpeg(0, 0, 0).quality, 1);
}

TEST_F(LoadSave, FailedLoadsLeaveAnEmptyImage) {
  TImageImpl img;
  gradient(img, 4, 4);
  EXPECT_EQ(img.LoadFromBmp(path("missing.bmp")), 0);
  EXPECT_EQ(img.IsNullImage(), 0);
  EXPECT_EQ(img.IsValidImage(), 0);
  EXPECT_EQ(img.get_Width(), 0);
  ASSERT_EQ(img.CreateFromSize(3, 3, 0), 1);
  ASSERT_EQ(img.SaveToBmp(path("a.bmp")), 1);
  EXPECT_EQ(img.LoadFromJpg(path("a.bmp")), 0);  // not a JPEG stream
  EXPECT_EQ(img.IsValidImage(), 0);
  EXPECT_EQ(img.LoadFromJpg(""), 0);
}

TEST_F(LoadSave, BmpRoundTripsOddWidths) {
  for (int w : {1, 2, 3, 5, 7, 33}) {
    TImageImpl img, back;
    gradient(img, w, 3);
    ASSERT_EQ(img.SaveToBmp(path("odd.bmp")), 1);
    EXPECT_EQ(std::filesystem::file_size(path("odd.bmp")), 54u + 3u * ((3u * w + 3u) & ~3u));
    ASSERT_EQ(back.LoadFromBmp(path("odd.bmp")), 1);
    ASSERT_EQ(back.get_Width(), w);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < w; ++x) ASSERT_EQ(back.bitmap()->pixel(x, y), img.bitmap()->pixel(x, y));
  }
}

// Tall files read from disk: 24-bit rows go straight into the bitmap (bottom-up files in
// batches of rows, top-down ones in one read), other depths in blocks of rows.
TEST_F(LoadSave, BmpFilesReadFromDisk) {
  const int32_t W = 7, H = 2500;  // rows of 21 bytes padded to 24; more rows than one batch
  auto colour = [](int32_t x, int32_t y) {
    return Bgr{static_cast<uint8_t>(x * 37 + y), static_cast<uint8_t>(y >> 3), static_cast<uint8_t>(x + 3 * y)};
  };
  for (bool top_down : {false, true}) {
    test::BmpSpec tall{40, W, top_down ? -H : H, 24, 0, 0, {}, {}, {}};
    for (int32_t k = 0; k < H; ++k) {
      int32_t y = top_down ? k : H - 1 - k;
      for (int32_t x = 0; x < W; ++x) {
        Bgr c = colour(x, y);
        tall.pixels.insert(tall.pixels.end(), {c.b, c.g, c.r});
      }
      tall.pixels.insert(tall.pixels.end(), {0, 0, 0});
    }
    std::vector<uint8_t> file = test::build_bmp(tall);
    write_file("tall.bmp", std::string(file.begin(), file.end()));
    TImageImpl img;
    ASSERT_EQ(img.LoadFromBmp(path("tall.bmp")), 1) << top_down;
    ASSERT_EQ(img.get_Height(), H);
    int differing = 0;
    for (int32_t y = 0; y < H; ++y)
      for (int32_t x = 0; x < W; ++x) differing += !(img.bitmap()->pixel(x, y) == colour(x, y));
    EXPECT_EQ(differing, 0) << top_down;
    // One byte short: refused, and the image is empty.
    write_file("tall.bmp", std::string(file.begin(), file.end() - 1));
    EXPECT_EQ(img.LoadFromBmp(path("tall.bmp")), 0);
    EXPECT_EQ(img.IsNullImage(), 0);
    EXPECT_EQ(img.get_Width(), 0);
  }
  // 8 bits, 1,500 by 800: the rows come in blocks of about a megabyte.
  test::BmpSpec pal{40, 1500, 800, 8, 0, 256, {}, {}, {}};
  for (uint32_t i = 0; i < 256; ++i) pal.palette.push_back(i * 0x010101u);
  for (int32_t k = 0; k < 800; ++k)
    for (int32_t x = 0; x < 1500; ++x) pal.pixels.push_back(static_cast<uint8_t>(x + k));
  std::vector<uint8_t> file = test::build_bmp(pal);
  write_file("pal.bmp", std::string(file.begin(), file.end()));
  TImageImpl img;
  ASSERT_EQ(img.LoadFromBmp(path("pal.bmp")), 1);
  int differing = 0;
  for (int32_t y = 0; y < 800; ++y)
    for (int32_t x = 0; x < 1500; ++x) {
      auto v = static_cast<uint8_t>(x + (799 - y));
      differing += !(img.bitmap()->pixel(x, y) == Bgr{v, v, v});
    }
  EXPECT_EQ(differing, 0);
  EXPECT_EQ(img.LoadFromBmp(m_dir.string()), 0);  // a directory is no bitmap
}

TEST_F(LoadSave, JpegOptionsReachTheCodec) {
  TImageImpl img;
  gradient(img, 32, 32);
  ASSERT_EQ(img.SaveToJpg(path("d.jpg"), -1, -1, -1), 1);
  Markers d = scan(read_file("d.jpg"));
  EXPECT_EQ(d.sof, 0xC0);  // baseline
  ASSERT_EQ(img.SaveToJpg(path("p.jpg"), -1, 1, -1), 1);
  EXPECT_EQ(scan(read_file("p.jpg")).sof, 0xC2);
  ASSERT_EQ(img.SaveToJpg(path("b.jpg"), -1, 2, -1), 1);
  EXPECT_EQ(scan(read_file("b.jpg")).sof, 0xC0);
  img.put_DefaultJpgProgressive(1);
  ASSERT_EQ(img.SaveToJpg(path("dp.jpg"), -1, -1, -1), 1);
  EXPECT_EQ(scan(read_file("dp.jpg")).sof, 0xC2);
  // Quality: 0 is 1, 250 is 100; the first quantisation value shows which.
  img.SaveToJpg(path("q0.jpg"), 0, 0, 0);
  img.SaveToJpg(path("q1.jpg"), 1, 0, 0);
  img.SaveToJpg(path("q100.jpg"), 100, 0, 0);
  img.SaveToJpg(path("q250.jpg"), 250, 0, 0);
  img.SaveToJpg(path("q78.jpg"), 78, 0, 0);
  EXPECT_EQ(scan(read_file("q0.jpg")).dqt0, scan(read_file("q1.jpg")).dqt0);
  EXPECT_EQ(scan(read_file("q250.jpg")).dqt0, scan(read_file("q100.jpg")).dqt0);
  EXPECT_EQ(scan(read_file("q100.jpg")).dqt0, 1);
  EXPECT_EQ(scan(read_file("q1.jpg")).dqt0, 255);  // baseline tables stop at 255
  EXPECT_EQ(scan(read_file("q78.jpg")).dqt0, d.dqt0);
  // The smoothing flag does not change the encoded data.
  img.SaveToJpg(path("s1.jpg"), 50, 0, 1);
  img.SaveToJpg(path("s0.jpg"), 50, 0, 0);
  EXPECT_EQ(read_file("s1.jpg"), read_file("s0.jpg"));
  // A saved JPEG loads back close to the original.
  TImageImpl back;
  ASSERT_EQ(back.LoadFromJpg(path("q100.jpg")), 1);
  Bgr a = back.bitmap()->pixel(20, 10), b = img.bitmap()->pixel(20, 10);
  EXPECT_NEAR(a.b, b.b, 4);
  EXPECT_NEAR(a.g, b.g, 4);
  EXPECT_NEAR(a.r, b.r, 4);
}

TEST_F(LoadSave, GreyAndCmykFilesLoadAsColour) {
  write_file("grey.jpg", foreign_jpeg(JCS_GRAYSCALE, 1, false));
  write_file("cmyk.jpg", foreign_jpeg(JCS_CMYK, 4, false));
  write_file("adobe.jpg", foreign_jpeg(JCS_CMYK, 4, true));
  TImageImpl img;
  ASSERT_EQ(img.LoadFromJpg(path("grey.jpg")), 1);
  Bgr g = img.bitmap()->pixel(3, 3);
  EXPECT_NEAR(g.r, 200, 2);
  EXPECT_EQ(g.r, g.g);
  EXPECT_EQ(g.g, g.b);
  for (const char* f : {"cmyk.jpg", "adobe.jpg"}) {
    ASSERT_EQ(img.LoadFromJpg(path(f)), 1) << f;
    Bgr c = img.bitmap()->pixel(3, 3);  // magenta and yellow full: red
    EXPECT_GT(c.r, 240) << f;
    EXPECT_LT(c.g, 15) << f;
    EXPECT_LT(c.b, 15) << f;
  }
}

TEST_F(LoadSave, BrokenJpegFiles) {
  TImageImpl img;
  gradient(img, 64, 64);
  ASSERT_EQ(img.SaveToJpg(path("ok.jpg"), 90, 0, 1), 1);
  std::string whole = read_file("ok.jpg");
  // A baseline file cut inside its scan data: libjpeg warns and completes, and so do we.
  write_file("cut.jpg", whole.substr(0, whole.size() * 2 / 3));
  EXPECT_EQ(img.LoadFromJpg(path("cut.jpg")), 1);
  EXPECT_EQ(img.get_Width(), 64);
  // Cut inside the headers: an error.
  write_file("head.jpg", whole.substr(0, 100));
  EXPECT_EQ(img.LoadFromJpg(path("head.jpg")), 0);
  write_file("empty.jpg", "");
  EXPECT_EQ(img.LoadFromJpg(path("empty.jpg")), 0);
  write_file("soi.jpg", "\xFF\xD8\xFF\xD9");
  EXPECT_EQ(img.LoadFromJpg(path("soi.jpg")), 0);
  for (const auto& e :
       std::filesystem::directory_iterator(std::filesystem::path(KELV_TEST_INPUTS) / "jpeg" / "malformed")) {
    EXPECT_EQ(img.LoadFromJpg(e.path().string()), 0) << e.path();
    img.HeaderReadJpg(e.path().string());  // any result, read within the file
  }
}

TEST_F(LoadSave, SavesWithoutAnImageWriteNothing) {
  TImageImpl img;
  EXPECT_EQ(img.SaveToBmp(path("none.bmp")), 0);
  EXPECT_EQ(img.SaveToJpg(path("none.jpg"), -1, -1, -1), 0);
  EXPECT_FALSE(std::filesystem::exists(path("none.bmp")));
  EXPECT_FALSE(std::filesystem::exists(path("none.jpg")));
}

TEST_F(LoadSave, AFailedSaveLeavesTheTargetAndNoPartialFile) {
  write_file("keep.jpg", "precious");
  TImageImpl img;
  ASSERT_EQ(img.CreateFromSize(0, 0, 0), 1);  // libjpeg refuses an empty image
  EXPECT_EQ(img.SaveToJpg(path("keep.jpg"), -1, -1, -1), 0);
  EXPECT_EQ(read_file("keep.jpg"), "precious");
  gradient(img, 8, 8);
  EXPECT_EQ(img.SaveToBmp(path("no-such-dir/x.bmp")), 0);
  EXPECT_EQ(img.SaveToBmp(m_dir.string()), 0);  // a directory as the target
  size_t entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(m_dir)) (void)e, ++entries;
  EXPECT_EQ(entries, 1u);                         // nothing but keep.jpg
  ASSERT_EQ(img.SaveToBmp(path("keep.jpg")), 1);  // a good save replaces it
  EXPECT_EQ(read_file("keep.jpg").substr(0, 2), "BM");
}

TEST_F(LoadSave, SavesNeverReplaceAReadOnlyFile) {
  // Without write permission a file counts as read-only; root could write it, so the
  // save has to look for itself.
  TImageImpl img;
  gradient(img, 16, 16);
  for (const char* name : {"ro.bmp", "ro.jpg"}) {
    write_file(name, "protected bytes");
    std::filesystem::permissions(path(name), std::filesystem::perms::owner_read | std::filesystem::perms::others_read);
  }
  EXPECT_EQ(img.SaveToBmp(path("ro.bmp")), 0);
  EXPECT_EQ(img.SaveToJpg(path("ro.jpg"), -1, -1, -1), 0);
  EXPECT_EQ(img.SaveToJpg(path("ro.bmp"), 90, 1, 1), 0);
  EXPECT_EQ(read_file("ro.bmp"), "protected bytes");
  EXPECT_EQ(read_file("ro.jpg"), "protected bytes");
  size_t entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(m_dir)) (void)e, ++entries;
  EXPECT_EQ(entries, 2u);  // no temporary file left behind
  // Made writable again, the same saves succeed.
  std::filesystem::permissions(path("ro.bmp"), std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
  EXPECT_EQ(img.SaveToBmp(path("ro.bmp")), 1);
  EXPECT_EQ(read_file("ro.bmp").substr(0, 2), "BM");
}

}  // namespace
}  // namespace kelv
