// Thumbnails, header probes and transfer between Image objects.
#include <gtest/gtest.h>

#include <fstream>

#include "image/image.h"
#include "unit/binaryrw/fixture.h"

#include "unit/image/raw_jpeg.h"

namespace kelv {
namespace {

using raster::Bgr;

// Another Image object, reached the way a method reaches one: through its GetBmp.
class Other final : public ImageSource {
 public:
  explicit Other(TImageImpl* img, bool fails = false) : m_img(img), m_fails(fails) {}
  bool get_bmp(int32_t& handle) override {
    if (m_fails) return false;
    handle = m_img->GetBmp();
    return true;
  }

 private:
  TImageImpl* m_img;
  bool m_fails;
};

void solid(TImageImpl& img, int w, int h, int32_t colour) {
  ASSERT_EQ(img.CreateFromSize(w, h, 0), 1);
  img.put_BrushColor(colour);
  img.FillRect(0, 0, w - 1, h - 1);
}

TEST(Thumbnails, TheWorkedExample) {
  TImageImpl img;
  solid(img, 400, 300, 0x0000FF);
  img.put_cntThumbBorder(2);
  img.SetThumbBorder(0, 0x00FF00);
  img.SetThumbBorder(1, 0xFF0000);
  img.put_ThumbBgColor(0x808080);
  ASSERT_EQ(img.MakeThumb(100, 100), 1);
  ASSERT_EQ(img.get_Width(), 100);
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 100; ++x) {
      int32_t want;
      if (x == 0 || y == 0 || x == 99 || y == 99)
        want = 0x00FF00;  // ring 0
      else if (x == 1 || y == 1 || x == 98 || y == 98)
        want = 0xFF0000;  // ring 1
      else if (x >= 2 && x <= 97 && y >= 14 && y <= 85)
        want = 0x0000FF;  // the picture
      else
        want = 0x808080;  // background
      ASSERT_EQ(img.GetColor(x, y), want) << x << "," << y;
    }
  // The drawing state the thumbnail left: background brush, the innermost ring's pen.
  EXPECT_EQ(img.get_BrushColor(), 0x808080);
  EXPECT_EQ(img.get_PenColor(), 0xFF0000);
  EXPECT_EQ(img.get_PenWidth(), 1);
}

TEST(Thumbnails, FitAndCentre) {
  TImageImpl img;
  solid(img, 60, 60, 0x0000FF);
  ASSERT_EQ(img.MakeThumb(50, 50), 1);  // square without rings: no background shows
  EXPECT_EQ(img.GetColor(0, 0), 0x0000FF);
  EXPECT_EQ(img.GetColor(49, 49), 0x0000FF);
  solid(img, 200, 100, 0x0000FF);
  ASSERT_EQ(img.MakeThumb(50, 25), 1);  // equal ratios: the height branch, no offset
  EXPECT_EQ(img.GetColor(0, 0), 0x0000FF);
  EXPECT_EQ(img.GetColor(49, 24), 0x0000FF);
  solid(img, 100, 400, 0x0000FF);
  ASSERT_EQ(img.MakeThumb(100, 100), 1);  // newW 25 at offX 37
  EXPECT_EQ(img.GetColor(36, 50), 0);
  EXPECT_EQ(img.GetColor(37, 50), 0x0000FF);
  EXPECT_EQ(img.GetColor(61, 50), 0x0000FF);
  EXPECT_EQ(img.GetColor(62, 50), 0);
}

TEST(Thumbnails, RingSettings) {
  TImageImpl img;
  EXPECT_EQ(img.get_cntThumbBorder(), 0);
  EXPECT_EQ(img.GetThumbBorder(0), 0);
  EXPECT_EQ(img.SetThumbBorder(0, 255), 0);
  img.put_cntThumbBorder(3);
  EXPECT_EQ(img.SetThumbBorder(2, 77), 1);
  EXPECT_EQ(img.GetThumbBorder(2), 77);
  EXPECT_EQ(img.SetThumbBorder(3, 77), 0);
  EXPECT_EQ(img.GetThumbBorder(-1), 0);
  img.SetThumbBorder(0, 11);
  img.SetThumbBorder(1, 22);
  img.put_cntThumbBorder(2);
  EXPECT_EQ(img.GetThumbBorder(0), 11);
  EXPECT_EQ(img.GetThumbBorder(1), 22);
  img.put_cntThumbBorder(5);
  EXPECT_EQ(img.GetThumbBorder(4), 0);  // new entries are black
  img.put_cntThumbBorder(256);
  EXPECT_EQ(img.get_cntThumbBorder(), 5);
  img.put_cntThumbBorder(255);
  EXPECT_EQ(img.get_cntThumbBorder(), 255);
  img.put_cntThumbBorder(-1);
  EXPECT_EQ(img.get_cntThumbBorder(), 0);
  img.put_cntThumbBorder(3);
  img.put_cntThumbBorder(0);
  EXPECT_EQ(img.get_cntThumbBorder(), 0);
}

TEST(Thumbnails, ImpossibleSizesLeaveTheImage) {
  TImageImpl img;
  EXPECT_EQ(img.MakeThumb(10, 10), 0);  // no image
  solid(img, 40, 30, 0x0000FF);
  img.put_cntThumbBorder(5);
  EXPECT_EQ(img.MakeThumb(10, 20), 0);  // the rings leave no picture area
  EXPECT_EQ(img.MakeThumb(0, 20), 0);
  EXPECT_EQ(img.MakeThumb(20, -3), 0);
  EXPECT_EQ(img.get_Width(), 40);
  img.CreateFromSize(0, 0, 0);
  img.put_cntThumbBorder(0);
  EXPECT_EQ(img.MakeThumb(10, 10), 0);  // an empty image has no ratio
}

TEST(Thumbnails, TransparentImagesAreCopiedWholeAndStayTransparent) {
  TImageImpl img;
  solid(img, 20, 20, 0x0000FF);
  img.SetTransparentColor(0x0000FF);
  img.put_ThumbBgColor(0x00FF00);
  ASSERT_EQ(img.MakeThumb(20, 20), 1);
  EXPECT_EQ(img.GetColor(10, 10), 0x0000FF);  // no background through it
  EXPECT_TRUE(img.bitmap()->transparency().enabled);
  EXPECT_FALSE(img.bitmap()->transparency().fixed);
}

class Probe : public test::ScratchDir {
 protected:
  std::string jpeg(int quality, bool progressive) {
    TImageImpl img;
    img.CreateFromSize(320, 200, 0x123456);
    return str(img.SaveToBufferJpg(quality, progressive ? 1 : 0, -1).bytes);
  }
  static std::string str(const Bytes& b) { return std::string(b.begin(), b.end()); }
  // A JPEG written with arithmetic coding.
  std::string arithmetic() {
    return test::raw_jpeg(33, 17, 3, JCS_RGB, std::vector<uint8_t>(33 * 3, 90),
                          [](jpeg_compress_struct& c) { c.arith_code = TRUE; });
  }
  int32_t probe(const std::string& bytes, int32_t& w, int32_t& h) {
    write_file("p", bytes);
    TImageImpl img;
    int32_t r = img.HeaderReadJpg(path("p"));
    w = img.HeaderGetWidth();
    h = img.HeaderGetHeight();
    return r;
  }
};

TEST_F(Probe, JpegFramesOfEveryKind) {
  int32_t w, h;
  EXPECT_EQ(probe(jpeg(80, false), w, h), 1);
  EXPECT_EQ(w, 320);
  EXPECT_EQ(h, 200);
  EXPECT_EQ(probe(jpeg(80, true), w, h), 1);  // progressive, 0xC2
  EXPECT_EQ(w, 320);
  std::string arith = arithmetic();
  EXPECT_NE(arith.find("\xFF\xC9"), std::string::npos);
  EXPECT_EQ(probe(arith, w, h), 1);
  EXPECT_EQ(w, 33);
  EXPECT_EQ(h, 17);
  // A lossless frame (0xC3) is skipped like any segment: no listed frame follows.
  std::string lossless = jpeg(80, false);
  size_t sof = lossless.find("\xFF\xC0");
  lossless[sof + 1] = static_cast<char>(0xC3);
  EXPECT_EQ(probe(lossless, w, h), 0);
  EXPECT_EQ(w, -1);
  // Bytes before the start-of-image marker, and an EXIF segment before the frame.
  EXPECT_EQ(probe(std::string("envelope\xFF\x00", 10) + jpeg(50, false), w, h), 1);
  std::string exif = jpeg(50, false);
  std::string app1 = "\xFF\xE1";
  size_t len = 60000;
  app1 += static_cast<char>(len >> 8);
  app1 += static_cast<char>(len & 0xFF);
  app1 += std::string(len - 2, 'E');
  exif.insert(2, app1);
  EXPECT_EQ(probe(exif, w, h), 1);
  EXPECT_EQ(w, 320);
}

TEST_F(Probe, TheMarkerSearchAndBrokenFiles) {
  int32_t w, h;
  // 0xFF 0xFF 0xD8: the byte after the first 0xFF is not looked at again.
  std::string body = jpeg(50, false).substr(2);
  EXPECT_EQ(probe("\xFF\xFF\xD8" + body, w, h), 0);
  EXPECT_EQ(probe("", w, h), 0);
  std::string whole = jpeg(50, false);
  size_t sof = whole.find("\xFF\xC0");
  EXPECT_EQ(probe(whole.substr(0, sof + 6), w, h), 0);  // frame header cut short
  TImageImpl img;
  EXPECT_EQ(img.HeaderReadJpg(path("missing")), 0);
  // A failed probe after a good one resets both fields.
  write_file("good.jpg", whole);
  EXPECT_EQ(img.HeaderReadJpg(path("good.jpg")), 1);
  EXPECT_EQ(img.HeaderGetHtmlWH(), "width=\"320\" height=\"200\"");
  EXPECT_EQ(img.HeaderReadJpg(path("missing")), 0);
  EXPECT_EQ(img.HeaderGetWidth(), -1);
  EXPECT_EQ(img.HeaderGetHtmlWH(), "");
}

TEST_F(Probe, AJpegProbeReadsOnlyWhatItNeeds) {
  std::string exif = jpeg(50, false);
  std::string app1 = std::string("\xFF\xE1\xEA\x60") + std::string(0xEA60 - 2, 'E');
  exif.insert(2, app1);
  write_file("exif.jpg", exif);
  auto read_bytes = [] {
    std::ifstream io("/proc/self/io");
    std::string key;
    long long v = 0;
    while (io >> key >> v)
      if (key == "rchar:") return v;
    return -1LL;
  };
  TImageImpl img;
  long long before = read_bytes();
  ASSERT_EQ(img.HeaderReadJpg(path("exif.jpg")), 1);
  long long after = read_bytes();
  EXPECT_LT(after - before, 4096);
}

TEST_F(Probe, BmpHeaders) {
  TImageImpl img;
  std::string h(54, '\0');
  h[0] = 'B', h[1] = 'M';
  h[14] = 40;
  auto le32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) h[at + i] = static_cast<char>(v >> (8 * i));
  };
  le32(18, 800);
  le32(22, 600);
  write_file("a.bmp", h);
  EXPECT_EQ(img.HeaderReadBmp(path("a.bmp")), 1);
  EXPECT_EQ(img.HeaderGetHtmlWH(), "width=\"800\" height=\"600\"");
  le32(22, static_cast<uint32_t>(-600));
  write_file("b.bmp", h);
  EXPECT_EQ(img.HeaderReadBmp(path("b.bmp")), 1);
  EXPECT_EQ(img.HeaderGetHtmlWH(), "width=\"800\" height=\"-600\"");
  le32(22, static_cast<uint32_t>(-1));  // a stored height of -1 reads back as unknown
  write_file("c.bmp", h);
  EXPECT_EQ(img.HeaderReadBmp(path("c.bmp")), 1);
  EXPECT_EQ(img.HeaderGetHtmlWH(), "");
  h[0] = 'X';  // the signature is not checked
  le32(22, 5);
  write_file("d.bmp", h);
  EXPECT_EQ(img.HeaderReadBmp(path("d.bmp")), 1);
  le32(14, 124);
  write_file("e.bmp", h);
  EXPECT_EQ(img.HeaderReadBmp(path("e.bmp")), 0);
  std::string core(26, '\0');
  core[14] = 12;
  core[18] = static_cast<char>(0xFF), core[19] = static_cast<char>(0xFF);
  core[20] = 3;
  write_file("core.bmp", core);
  EXPECT_EQ(img.HeaderReadBmp(path("core.bmp")), 1);
  EXPECT_EQ(img.HeaderGetWidth(), 65535);
  EXPECT_EQ(img.HeaderGetHeight(), 3);
  write_file("short.bmp", core.substr(0, 20));
  EXPECT_EQ(img.HeaderReadBmp(path("short.bmp")), 0);
  // A successful BMP load sets the probe fields back to unknown; a JPEG load does not.
  EXPECT_EQ(img.HeaderReadBmp(path("core.bmp")), 1);
  TImageImpl pic;
  pic.CreateFromSize(3, 2, 0);
  pic.SaveToBmp(path("pic.bmp"));
  ASSERT_EQ(img.LoadFromBmp(path("pic.bmp")), 1);
  EXPECT_EQ(img.HeaderGetWidth(), -1);
  EXPECT_EQ(img.GetHtmlWH(), "width=\"3\" height=\"2\"");
  img.DeleteImage();
  EXPECT_EQ(img.GetHtmlWH(), "");
}

TEST(Transfer, DrawClipsAtNegativeOffsets) {
  TImageImpl dst, src;
  dst.CreateFromSize(20, 20, 0);
  solid(src, 10, 10, 0x0000FF);
  Other other(&src);
  ASSERT_EQ(dst.Draw(-5, -5, &other), 1);
  int changed = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) changed += dst.GetColor(x, y) != 0xFFFFFF;
  EXPECT_EQ(changed, 25);
  EXPECT_EQ(dst.GetColor(4, 4), 0x0000FF);
  // StretchDraw with w and h of 9 fills a 10 by 10 square.
  dst.CreateFromSize(20, 20, 0);
  solid(src, 3, 3, 0x0000FF);
  ASSERT_EQ(dst.StretchDraw(2, 2, 9, 9, &other), 1);
  EXPECT_EQ(dst.GetColor(11, 11), 0x0000FF);
  EXPECT_EQ(dst.GetColor(12, 12), 0xFFFFFF);
  EXPECT_EQ(dst.GetColor(1, 1), 0xFFFFFF);
  EXPECT_EQ(dst.StretchDraw(0, 0, -1, -1, &other), 1);  // an empty rectangle draws nothing
}

TEST(Transfer, FailuresOfTheOtherObject) {
  TImageImpl dst, none, src;
  solid(src, 4, 4, 0x0000FF);
  Other fails(&src, true), empty(&none), good(&src);
  EXPECT_EQ(dst.Draw(0, 0, &good), 0);  // no image here
  dst.CreateFromSize(10, 10, 0);
  EXPECT_EQ(dst.Draw(0, 0, nullptr), 0);
  EXPECT_EQ(dst.Draw(0, 0, &fails), 0);
  EXPECT_EQ(dst.Draw(0, 0, &empty), 0);
  EXPECT_EQ(dst.StretchDraw(0, 0, 5, 5, &empty), 0);
  // A handle the other object gave for a bitmap it has since replaced names nothing.
  int32_t old = src.GetBmp();
  src.RotateCW();
  EXPECT_EQ(raster::Bitmap::from_handle(old), nullptr);
  EXPECT_NE(src.GetBmp(), old);
  EXPECT_EQ(raster::Bitmap::from_handle(12345678), nullptr);
  // An image drawn onto itself.
  Other self(&dst);
  dst.put_PenColor(0x0000FF);
  dst.Line(0, 0, 9, 0);
  EXPECT_EQ(dst.Draw(0, 1, &self), 1);
  EXPECT_EQ(dst.GetColor(3, 1), 0x0000FF);
  EXPECT_EQ(dst.GetColor(3, 2), 0xFFFFFF);
}

TEST(Transfer, TransparencyInBothModes) {
  TImageImpl dst, src;
  dst.CreateFromSize(10, 10, 0x00FF00);
  src.CreateFromSize(10, 10, 0x0000FF);
  src.put_PenColor(0xFF0000);
  src.Line(0, 5, 10, 5);
  Other other(&src);
  src.SetTransparentColor(0x0000FF);  // fixed: red is transparent
  ASSERT_EQ(dst.Draw(0, 0, &other), 1);
  EXPECT_EQ(dst.GetColor(2, 2), 0x00FF00);
  EXPECT_EQ(dst.GetColor(2, 5), 0xFF0000);
  src.RemoveTransparency();
  src.bitmap()->transparency().enabled = true;
  src.bitmap()->transparency().fixed = false;  // automatic: the bottom-left pixel, red
  dst.CreateFromSize(10, 10, 0x00FF00);
  dst.Draw(0, 0, &other);
  EXPECT_EQ(dst.GetColor(2, 2), 0x00FF00);
  src.RotateCW();  // rotation clears transparency: every pixel is copied
  dst.Draw(0, 0, &other);
  EXPECT_EQ(dst.GetColor(2, 2), 0x0000FF);
}

TEST(Transfer, AssignPictureResetsAndCopies) {
  TImageImpl a, b, none;
  solid(b, 6, 4, 0x0000FF);
  b.SetTransparentColor(0x0000FF);
  a.put_DefaultJpgQuality(50);
  a.put_cntThumbBorder(3);
  Other ob(&b), onone(&none);
  ASSERT_EQ(a.AssignPicture(&ob), 1);
  EXPECT_EQ(a.get_DefaultJpgQuality(), 78);
  EXPECT_EQ(a.get_cntThumbBorder(), 0);
  EXPECT_EQ(a.get_Width(), 6);
  EXPECT_TRUE(a.bitmap()->transparency().enabled);
  EXPECT_TRUE(a.bitmap()->transparency().fixed);
  b.put_PenColor(0);
  b.Line(0, 0, 6, 0);  // later changes to one do not show in the other
  EXPECT_EQ(a.GetColor(0, 0), 0x0000FF);
  EXPECT_EQ(a.AssignPicture(&onone), 1);
  EXPECT_EQ(a.IsValidImage(), 0);
  EXPECT_EQ(a.IsNullImage(), 0);
  Other fails(&b, true);
  EXPECT_EQ(a.AssignPicture(&fails), 0);
  EXPECT_EQ(a.IsNullImage(), 0);
  Other self(&a);
  solid(a, 5, 5, 0x0000FF);
  EXPECT_EQ(a.AssignPicture(&self), 1);  // itself: reset first, so an empty image
  EXPECT_EQ(a.get_Width(), 0);
}

TEST_F(Probe, BuffersHoldTheFilesTheSavesWrite) {
  TImageImpl img;
  EXPECT_EQ(img.SaveToBufferBmp().type, VarOut::Type::Null);
  EXPECT_EQ(img.SaveToBufferJpg(-1, -1, -1).type, VarOut::Type::Null);
  img.CreateFromSize(3, 2, 0);
  VarOut bmp = img.SaveToBufferBmp();
  ASSERT_EQ(bmp.type, VarOut::Type::Buffer);
  EXPECT_EQ(bmp.bytes.size(), 14u + 40u + 2u * 12u);
  img.SaveToBmp(path("a.bmp"));
  EXPECT_EQ(str(bmp.bytes), read_file("a.bmp"));
  VarOut jpg = img.SaveToBufferJpg(-1, -1, -1);
  ASSERT_EQ(jpg.type, VarOut::Type::Buffer);
  EXPECT_EQ(static_cast<uint8_t>(jpg.bytes[0]), 0xFF);
  EXPECT_EQ(static_cast<uint8_t>(jpg.bytes[1]), 0xD8);
  EXPECT_EQ(static_cast<uint8_t>(jpg.bytes[jpg.bytes.size() - 2]), 0xFF);
  EXPECT_EQ(static_cast<uint8_t>(jpg.bytes.back()), 0xD9);
  img.SaveToJpg(path("a.jpg"), -1, -1, -1);
  EXPECT_EQ(str(jpg.bytes), read_file("a.jpg"));
}

}  // namespace
// A process that has given out every handle value (months of a busy server) goes on
// from 1, passing over handles still in use; Draw keeps working.
TEST(Transfer, HandlesGoOnAfterTheLargestValue) {
  TImageImpl keep, dst, src;
  solid(keep, 2, 2, 0x00FF00);
  raster::Bitmap::continue_handles_at(7);
  int32_t kept = keep.GetBmp();
  ASSERT_EQ(kept, 7);
  raster::Bitmap::continue_handles_at(INT32_MAX - 1);
  solid(src, 3, 3, 0x0000FF);
  EXPECT_EQ(src.GetBmp(), INT32_MAX - 1);
  src.RotateCW();
  EXPECT_EQ(src.GetBmp(), INT32_MAX);
  src.RotateCW();
  int32_t wrapped = src.GetBmp();  // numbering starts again
  EXPECT_GT(wrapped, 0);
  EXPECT_LT(wrapped, 7);
  raster::Bitmap::continue_handles_at(7);  // the count meets a handle in use
  src.RotateCW();
  EXPECT_EQ(src.GetBmp(), 8);
  EXPECT_EQ(raster::Bitmap::from_handle(7), raster::Bitmap::from_handle(keep.GetBmp()));
  Other other(&src);
  dst.CreateFromSize(5, 5, 0);
  EXPECT_EQ(dst.Draw(0, 0, &other), 1);
  EXPECT_EQ(dst.GetColor(1, 1), 0x0000FF);
}

}  // namespace kelv
