// The members for the formats pictures are uploaded in, as a script reaches them by name:
// FileFormat after every kind of load and probe, WebP saves (file and buffer alike, never
// over a read-only file), LoadFromFileMin's upright bounds, and MaxPixels on every member
// that makes a picture; LastError after each kind of failure.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "image/codec/png.h"
#include "image/codec/webp.h"
#include "platform/platform.h"
#include "server/native/client.h"
#include "unit/image/pixels.h"
#include "unit/image/png_builder.h"
#include "unit/support.h"

namespace kelv::native {
namespace {

namespace fs = std::filesystem;

Variant text(const fs::path& p) { return Variant::str(platform::to_wide(p.string())); }
Variant i4(int32_t v) { return Variant::i4(v); }

std::vector<uint8_t> slurp(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

class FormatsByName : public test::ImageObject {
 protected:
  void SetUp() override {
    test::ImageObject::SetUp();
    // One picture in every format: 64 x 40, saved by us as PNG and BMP, then made into
    // the others by their tools.
    ASSERT_EQ(img.call_i4("CreateFromSize", {i4(64), i4(40), i4(0x204080)}), 1);
    ASSERT_EQ(img.call_i4("SaveToPng", {text(at("p.png"))}), 1);
    ASSERT_EQ(img.call_i4("SaveToBmp", {text(at("p.bmp"))}), 1);
    ASSERT_EQ(img.call_i4("SaveToJpg", {text(at("p.jpg"))}), 1);
    const std::string tools =
        "cd '" + m_dir.string() +
        "' && (cwebp -quiet -lossless p.png -o p.webp && avifenc -s 10 --lossless p.png p.avif && "
        "convert p.png p.gif) >/dev/null 2>&1";
    ASSERT_EQ(std::system(tools.c_str()), 0);
    img.call("DeleteImage");
  }
  fs::path at(const std::string& name) const { return m_dir / name; }
};

constexpr const char* kFiles[][2] = {{"p.bmp", "bmp"}, {"p.jpg", "jpeg"},  {"p.png", "png"},
                                     {"p.gif", "gif"}, {"p.webp", "webp"}, {"p.avif", "avif"}};

TEST_F(FormatsByName, FileFormatNamesTheFileLastLoadedOrProbedAndIsEmptyAfterAFailure) {
  EXPECT_EQ(img.get("FileFormat").s, u"");
  for (const auto& f : kFiles) {
    for (const char* member : {"LoadFromFile", "HeaderReadFile"}) {
      ASSERT_EQ(img.call_i4(member, {text(at(f[0]))}), 1) << member << " " << f[0];
      EXPECT_EQ(platform::to_narrow(img.get("FileFormat").s), f[1]) << member << " " << f[0];
      EXPECT_EQ(img.call_text(member == std::string("LoadFromFile") ? "GetHtmlWH" : "HeaderGetHtmlWH"),
                "width=\"64\" height=\"40\"")
          << member << " " << f[0];
      // A failure of either kind ends what the last success said.
      EXPECT_EQ(img.call_i4(member, {text(at("missing"))}), 0);
      EXPECT_EQ(img.get("FileFormat").s, u"") << member << " " << f[0];
    }
    ASSERT_EQ(img.call_i4("LoadFromFileMin", {text(at(f[0])), i4(16), i4(10)}), 1) << f[0];
    EXPECT_EQ(platform::to_narrow(img.get("FileFormat").s), f[1]);
    EXPECT_EQ(img.call_text("GetHtmlWH"), "width=\"16\" height=\"10\"") << f[0];
  }
  // The format's own members name it too; a file of another format fails them.
  EXPECT_EQ(img.call_i4("LoadFromPng", {text(at("p.png"))}), 1);
  EXPECT_EQ(platform::to_narrow(img.get("FileFormat").s), "png");
  EXPECT_EQ(img.call_i4("HeaderReadJpg", {text(at("p.jpg"))}), 1);
  EXPECT_EQ(platform::to_narrow(img.get("FileFormat").s), "jpeg");
  EXPECT_EQ(img.call_i4("LoadFromJpg", {text(at("p.webp"))}), 0);
  EXPECT_EQ(img.get("FileFormat").s, u"");
  EXPECT_EQ(img.call_i4("IsValidImage"), 0);
  EXPECT_EQ(img.call_i4("IsNullImage"), 0);  // a failed load leaves an empty image
}

TEST_F(FormatsByName, WebpSavesWriteTheBytesTheBufferHoldsAndKeepEveryPixelLossless) {
  EXPECT_EQ(img.call_i4("SaveToWebp", {text(at("none.webp"))}), 0);
  EXPECT_EQ(img.call("SaveToBufferWebp").vt, VT_NULL);
  EXPECT_FALSE(fs::exists(at("none.webp")));

  ASSERT_EQ(img.call_i4("LoadFromFile", {text(at("p.png"))}), 1);
  img.put("PenColor", i4(0x00FF00));
  img.call("Line", {i4(0), i4(0), i4(63), i4(39)});
  ASSERT_EQ(img.call_i4("SaveToPng", {text(at("drawn.png"))}), 1);
  struct Case {
    std::vector<Variant> args;
    const char* file;
  };
  for (const Case& c : {Case{{}, "default.webp"}, Case{{i4(30)}, "q30.webp"}, Case{{i4(-1), i4(1)}, "lossless.webp"},
                        Case{{i4(500), i4(0)}, "q100.webp"}}) {
    std::vector<Variant> save = c.args;
    save.insert(save.begin(), text(at(c.file)));
    ASSERT_EQ(img.call_i4("SaveToWebp", save), 1) << c.file;
    const Variant buffer = img.call("SaveToBufferWebp", c.args);
    ASSERT_EQ(buffer.vt, VT_ARRAY | VT_UI1) << c.file;
    const std::vector<uint8_t> file = slurp(at(c.file));
    EXPECT_TRUE(std::equal(file.begin(), file.end(), buffer.arr->data.begin(), buffer.arr->data.end())) << c.file;
  }
  // Quality -1 is DefaultJpgQuality's; above 100 is 100.
  img.put("DefaultJpgQuality", i4(30));
  const Variant q30 = img.call("SaveToBufferWebp");
  EXPECT_EQ(std::vector<uint8_t>(q30.arr->data.begin(), q30.arr->data.end()), slurp(at("q30.webp")));
  EXPECT_NE(slurp(at("q30.webp")), slurp(at("q100.webp")));
  // Lossless loads back pixel for pixel.
  raster::Bitmap drawn, back;
  ASSERT_TRUE(codec::read_png(slurp(at("drawn.png")), drawn));
  ASSERT_TRUE(codec::read_webp(slurp(at("lossless.webp")), codec::LoadRequest{}, back));
  EXPECT_TRUE(test::same_pixels(drawn, back));
}

TEST_F(FormatsByName, AWebpSaveNeverReplacesAReadOnlyFile) {
  const auto target = at("keep.webp");
  std::ofstream(target) << "old";
  ASSERT_EQ(chmod(target.c_str(), 0444), 0);
  ASSERT_EQ(img.call_i4("CreateFromSize", {i4(5), i4(5)}), 1);
  EXPECT_EQ(img.call_i4("SaveToWebp", {text(target)}), 0);
  EXPECT_EQ(fs::file_size(target), 3u);
  // A picture WebP can't hold fails the same way, writing nothing.
  ASSERT_EQ(img.call_i4("CreateFromSize", {i4(16384), i4(1)}), 1);
  EXPECT_EQ(img.call_i4("SaveToWebp", {text(at("wide.webp"))}), 0);
  EXPECT_EQ(img.call("SaveToBufferWebp").vt, VT_NULL);
  EXPECT_FALSE(fs::exists(at("wide.webp")));
}

TEST_F(FormatsByName, LoadFromFileMinBoundsTheUprightPictureOfATaggedJpeg) {
  // Orientation 6 stores the 32 x 24 upright picture as 24 x 32. By the largest factor
  // keeping 15 x 11 upright, 2 (the 1/2 DCT scale): 16 x 12.
  const fs::path tagged = fs::path(KELV_TEST_INPUTS) / "jpeg/orientation/o6.jpg";
  ASSERT_EQ(img.call_i4("LoadFromFileMin", {text(tagged), i4(15), i4(11)}), 1);
  EXPECT_EQ(img.get("JpgOrientation").i, 6);
  EXPECT_EQ(img.call_text("GetHtmlWH"), "width=\"12\" height=\"16\"");
  ASSERT_EQ(img.call_i4("ApplyOrientation"), 1);
  EXPECT_EQ(img.call_text("GetHtmlWH"), "width=\"16\" height=\"12\"");
  // No bounds: the smallest picture, one pixel.
  ASSERT_EQ(img.call_i4("LoadFromFileMin", {text(at("p.webp")), i4(0), i4(0)}), 1);
  EXPECT_EQ(img.call_text("GetHtmlWH"), "width=\"1\" height=\"1\"");
  EXPECT_EQ(img.call_i4("GetColor", {i4(0), i4(0)}), 0x204080);
  // Bounds above the picture's size: the picture as it is.
  ASSERT_EQ(img.call_i4("LoadFromFileMin", {text(at("p.gif")), i4(1000), i4(1000)}), 1);
  EXPECT_EQ(img.call_text("GetHtmlWH"), "width=\"64\" height=\"40\"");
}

TEST_F(FormatsByName, MaxPixelsRefusesEveryNewPictureAboveItAndCountsReducedLoadsReduced) {
  EXPECT_EQ(img.get("MaxPixels").i, 0);
  img.put("MaxPixels", i4(2000));
  img.put("MaxPixels", i4(-5));  // ignored
  EXPECT_EQ(img.get("MaxPixels").i, 2000);

  // Loads of the 64 x 40 picture (2560 pixels) fail, whole; reduced to 32 x 20 they pass.
  for (const auto& f : kFiles) {
    for (const char* member : {"LoadFromFile", "LoadFromBmp", "LoadFromJpg", "LoadFromPng"}) {
      EXPECT_EQ(img.call_i4(member, {text(at(f[0]))}), 0) << member << " " << f[0];
      EXPECT_EQ(img.call_i4("IsNullImage"), 0);
      EXPECT_EQ(img.get("Width").i, 0);
    }
    EXPECT_EQ(img.call_i4("LoadFromFileMin", {text(at(f[0])), i4(64), i4(40)}), 0) << f[0];
    EXPECT_EQ(img.call_i4("HeaderReadFile", {text(at(f[0]))}), 1) << f[0];  // a probe takes no pixels
    ASSERT_EQ(img.call_i4("LoadFromFileMin", {text(at(f[0])), i4(32), i4(20)}), 1) << f[0];
    EXPECT_EQ(img.get("Width").i, 32) << f[0];
  }
  EXPECT_EQ(img.call_i4("LoadFromJpgMin", {text(at("p.jpg")), i4(64), i4(40)}), 0);
  EXPECT_EQ(img.call_i4("LoadFromJpgMin", {text(at("p.jpg")), i4(32), i4(20)}), 1);

  // New bitmaps: within the limit they are made, beyond it the member fails as it fails
  // for a size it can't take.
  ASSERT_EQ(img.call_i4("CreateFromSize", {i4(50), i4(40)}), 1);
  EXPECT_EQ(img.call_i4("CreateFromSize", {i4(50), i4(41)}), 0);
  EXPECT_EQ(img.call_i4("IsValidImage"), 0);
  ASSERT_EQ(img.call_i4("CreateFromSize", {i4(40), i4(40)}), 1);
  for (const char* member : {"ResizeImg", "ChangeSize", "MakeThumb"}) {
    EXPECT_EQ(img.call_i4(member, {i4(60), i4(40)}), 0) << member;
    EXPECT_EQ(img.call_text("GetHtmlWH"), "width=\"40\" height=\"40\"") << member;  // kept
    EXPECT_EQ(img.call_i4(member, {i4(50), i4(40)}), 1) << member;
    ASSERT_EQ(img.call_i4("CreateFromSize", {i4(40), i4(40)}), 1);
  }
  img.put("Width", i4(51));
  EXPECT_EQ(img.status(), hr::DISP_E_EXCEPTION);
  img.put("Height", i4(51));
  EXPECT_EQ(img.status(), hr::DISP_E_EXCEPTION);
  EXPECT_EQ(img.call_text("GetHtmlWH"), "width=\"40\" height=\"40\"");
  img.put("Height", i4(50));
  EXPECT_EQ(img.status(), hr::S_OK);
  // 0 lifts the limit again.
  img.put("MaxPixels", i4(0));
  EXPECT_EQ(img.call_i4("LoadFromFile", {text(at("p.avif"))}), 1);
}

TEST_F(FormatsByName, TransparencyOfEveryFormatIsMixedOverTheThumbnailBackground) {
  // A fully transparent picture shows the background alone.
  test::PngLayout layout;
  layout.width = 6, layout.height = 4, layout.colour_type = PNG_COLOR_TYPE_RGB_ALPHA;
  const std::vector<uint8_t> clear =
      test::make_png(layout, [](uint32_t, uint32_t, int c) -> uint32_t { return c == 3 ? 0 : 200; });
  std::ofstream(at("clear.png"), std::ios::binary)
      .write(reinterpret_cast<const char*>(clear.data()), static_cast<std::streamsize>(clear.size()));
  const std::string tools = "cd '" + m_dir.string() +
                            "' && (cwebp -quiet -lossless clear.png -o clear.webp && "
                            "avifenc -s 10 --lossless clear.png clear.avif && convert clear.png clear.gif) "
                            ">/dev/null 2>&1";
  ASSERT_EQ(std::system(tools.c_str()), 0);
  img.put("ThumbBgColor", i4(0x3366CC));
  for (const char* name : {"clear.png", "clear.webp", "clear.avif", "clear.gif"}) {
    ASSERT_EQ(img.call_i4("LoadFromFile", {text(at(name))}), 1) << name;
    EXPECT_EQ(img.call_i4("GetColor", {i4(3), i4(2)}), 0x3366CC) << name;
  }
}

TEST_F(FormatsByName, LastErrorSaysWhyTheLastLoadProbeSaveOrBufferFailedAndClearsOnSuccess) {
  const std::vector<uint8_t> png = slurp(at("p.png"));
  std::ofstream(at("cut.png"), std::ios::binary).write(reinterpret_cast<const char*>(png.data()), 60);
  std::ofstream(at("notes.txt")) << "not a picture at all";
  EXPECT_EQ(img.get("LastError").s, u"");
  struct Case {
    const char* member;
    std::vector<Variant> args;
    int32_t max_pixels;
    bool with_image;
    const char* reason;  // "?": the decoder's own, any text but ""
  };
  const Variant missing = text(at("missing.png")), nowhere = text(at("no/such/folder/x.jpg"));
  for (const Case& c : {
           Case{"LoadFromFile", {missing}, 0, false, "The file could not be opened"},
           Case{"HeaderReadFile", {missing}, 0, false, "The file could not be opened"},
           Case{"LoadFromFile",
                {text(at("notes.txt"))},
                0,
                false,
                "The file is not a picture in a format this member reads"},
           Case{"HeaderReadFile",
                {text(at("notes.txt"))},
                0,
                false,
                "The file is not a picture in a format this member reads"},
           Case{"LoadFromFile",
                {text(at("p.png"))},
                2000,
                false,
                "The picture holds 64 x 40 pixels, more than MaxPixels"},
           Case{"LoadFromBmp",
                {text(at("p.bmp"))},
                2000,
                false,
                "The picture holds 64 x 40 pixels, more than MaxPixels"},
           Case{"LoadFromFileMin",
                {text(at("p.avif")), i4(64), i4(40)},
                2000,
                false,
                "The picture holds 64 x 40 pixels, more than MaxPixels"},
           Case{"LoadFromFile", {text(at("cut.png"))}, 0, false, "?"},
           Case{"LoadFromJpg", {text(at("p.webp"))}, 0, false, "?"},
           Case{"HeaderReadJpg", {text(at("p.png"))}, 0, false, "The file ends before the JPEG picture's size"},
           Case{"SaveToJpg", {nowhere}, 0, true, "The file could not be written"},
           Case{"SaveToBmp", {nowhere}, 0, false, "There is no image"},
           Case{"SaveToBufferPng", {}, 0, false, "There is no image"},
       }) {
    img.call("DeleteImage");
    img.put("MaxPixels", i4(c.max_pixels));
    if (c.with_image) {
      ASSERT_EQ(img.call_i4("CreateFromSize", {i4(8), i4(8)}), 1);
    }
    const Variant result = img.call(c.member, c.args);
    EXPECT_TRUE(result.vt == VT_NULL || (result.vt == VT_I4 && result.i == 0)) << c.member;
    const std::string reason = platform::to_narrow(img.get("LastError").s);
    if (std::string(c.reason) == "?") {
      EXPECT_NE(reason, "") << c.member;
    } else {
      EXPECT_EQ(reason, c.reason) << c.member;
    }
    // The next member of these kinds that succeeds clears it.
    img.put("MaxPixels", i4(0));
    ASSERT_EQ(img.call_i4("HeaderReadFile", {text(at("p.png"))}), 1);
    EXPECT_EQ(img.get("LastError").s, u"") << c.member;
  }
  // An encoder's reason reaches the script from a buffer too.
  ASSERT_EQ(img.call_i4("CreateFromSize", {i4(16384), i4(1)}), 1);
  EXPECT_EQ(img.call("SaveToBufferWebp").vt, VT_NULL);
  EXPECT_EQ(platform::to_narrow(img.get("LastError").s), "A WebP image holds 1 to 16383 pixels a side");
  EXPECT_EQ(img.call("SaveToBufferBmp").vt, VT_ARRAY | VT_UI1);
  EXPECT_EQ(img.get("LastError").s, u"");
}

}  // namespace
}  // namespace kelv::native
