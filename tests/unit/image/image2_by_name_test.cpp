// The photo members of IImage2 as a script reaches them: by name through the dispatcher,
// on an object that still answers for IImage. Orientation uses the exiftool-tagged files
// of the codec tests; PNG files come from our own writer and from libpng directly.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "image/codec/png.h"
#include "platform/platform.h"
#include "server/native/client.h"
#include "unit/image/png_builder.h"
#include "unit/image/tagged_jpegs.h"
#include "unit/support.h"

namespace kelv::native {
namespace {

Variant text(const std::filesystem::path& p) { return Variant::str(platform::to_wide(p.string())); }
Variant i4(int32_t v) { return Variant::i4(v); }

int32_t rgb(int r, int g, int b) { return r | g << 8 | b << 16; }

class Image2ByName : public test::ImageObject {
 protected:
  // A w by h picture, black on the left half and white on the right.
  void halves(int32_t w, int32_t h) {
    ASSERT_EQ(img.call_i4("CreateFromSize", {i4(w), i4(h), i4(rgb(255, 255, 255))}), 1);
    img.put("BrushColor", i4(0));
    img.call("FillRect", {i4(0), i4(0), i4(w / 2 - 1), i4(h - 1)});
  }
  void write(const std::filesystem::path& p, const std::vector<uint8_t>& bytes) {
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  int32_t colour(int32_t x, int32_t y) { return img.call_i4("GetColor", {i4(x), i4(y)}); }
};

TEST_F(Image2ByName, OneObjectAnswersForBothInterfacesAndResolvesBothSetsOfNames) {
  void* first = nullptr;
  void* second = nullptr;
  ASSERT_EQ(img.get()->QueryInterface(kIidIImage, &first), hr::S_OK);
  ASSERT_EQ(img.get()->QueryInterface(kIidIImage2, &second), hr::S_OK);
  EXPECT_EQ(first, second);
  EXPECT_EQ(first, static_cast<void*>(img.get()));
  static_cast<Dispatch*>(first)->Release();
  static_cast<Dispatch*>(second)->Release();
  // The type information a host names the object after stays IImage's.
  TypeInfo* ti = nullptr;
  ASSERT_EQ(img.get()->GetTypeInfo(0, 0, &ti), hr::S_OK);
  EXPECT_EQ(ti->table().name, "IImage");
  ti->Release();

  const char16_t* names[] = {u"LoadFromBmp", u"ResampleMode", u"getbfromcolor", u"headerreadfile"};
  int32_t ids[4] = {};
  for (int k = 0; k < 4; ++k) EXPECT_EQ(img.get()->GetIDsOfNames(kIidNull, &names[k], 1, 0, &ids[k]), hr::S_OK);
  EXPECT_EQ(ids[0], 1);
  EXPECT_EQ(ids[1], 200);
  EXPECT_EQ(ids[2], 63);
  EXPECT_EQ(ids[3], 211);
}

TEST_F(Image2ByName, ResampleModeTakesOnlyItsTwoValuesAndPicksTheSampling) {
  EXPECT_EQ(img.get("ResampleMode").i, 0);
  for (int32_t bad : {2, -1, 1000}) {
    img.put("ResampleMode", i4(bad));
    EXPECT_EQ(img.status(), hr::S_OK);
    EXPECT_EQ(img.get("ResampleMode").i, 0) << bad;
  }
  // Nearest neighbour takes one of the two halves' pixels; the area average mixes them.
  halves(2, 2);
  ASSERT_EQ(img.call_i4("ResizeImg", {i4(1), i4(1)}), 1);
  const int32_t nearest = colour(0, 0);
  EXPECT_TRUE(nearest == 0 || nearest == rgb(255, 255, 255)) << nearest;
  img.put("ResampleMode", i4(1));
  img.put("ResampleMode", i4(7));  // ignored: the mode stays 1
  EXPECT_EQ(img.get("ResampleMode").i, 1);
  halves(2, 2);
  ASSERT_EQ(img.call_i4("ResizeImg", {i4(1), i4(1)}), 1);
  EXPECT_NEAR(colour(0, 0) & 0xFF, 128, 1);

  // MakeThumb: both halves into one pixel inside no rings.
  halves(2, 2);
  ASSERT_EQ(img.call_i4("MakeThumb", {i4(1), i4(1)}), 1);
  EXPECT_NEAR(colour(0, 0) & 0xFF, 128, 1);

  // StretchDraw follows the drawing object's mode.
  Object src = Object::create("Kelvarin.Image");
  ASSERT_EQ(src.call_i4("CreateFromSize", {i4(2), i4(2), i4(rgb(255, 255, 255))}), 1);
  src.put("BrushColor", i4(0));
  src.call("FillRect", {i4(0), i4(0), i4(0), i4(1)});
  ASSERT_EQ(img.call_i4("CreateFromSize", {i4(3), i4(3)}), 1);
  Variant other = Variant::dispatch(src.get());
  ASSERT_EQ(img.call_i4("StretchDraw", {i4(0), i4(0), i4(0), i4(0), other}), 1);
  EXPECT_NEAR(colour(0, 0) & 0xFF, 128, 1);

  // AssignPicture returns every setting to a new object's, the mode too.
  ASSERT_EQ(img.call_i4("AssignPicture", {other}), 1);
  EXPECT_EQ(img.get("ResampleMode").i, 0);
}

TEST_F(Image2ByName, FlipsMirrorTheImageAndNeedOne) {
  EXPECT_EQ(img.call_i4("FlipHorizontal"), 0);
  EXPECT_EQ(img.call_i4("FlipVertical"), 0);
  halves(4, 2);
  img.put("PenColor", i4(rgb(255, 0, 0)));
  img.call("Line", {i4(0), i4(0), i4(1), i4(0)});  // one red pixel at the top left
  ASSERT_EQ(img.call_i4("FlipHorizontal"), 1);
  EXPECT_EQ(colour(0, 1), rgb(255, 255, 255));
  EXPECT_EQ(colour(3, 1), 0);
  EXPECT_EQ(colour(3, 0), rgb(255, 0, 0));
  ASSERT_EQ(img.call_i4("FlipVertical"), 1);
  EXPECT_EQ(colour(3, 1), rgb(255, 0, 0));
  EXPECT_EQ(colour(3, 0), 0);
  EXPECT_EQ(img.get("Width").i, 4);
}

TEST_F(Image2ByName, PngFilesAndBuffersKeepEveryPixelAndProbeLikeTheOtherFormats) {
  halves(6, 3);
  img.put("PenColor", i4(rgb(10, 200, 30)));
  img.call("Line", {i4(0), i4(2), i4(6), i4(2)});
  const auto png = m_dir / "a.png";
  ASSERT_EQ(img.call_i4("SaveToPng", {text(png)}), 1);  // level left out: the default
  Variant buffer = img.call("SaveToBufferPng", {i4(9)});
  ASSERT_EQ(buffer.vt, VT_ARRAY | VT_UI1);
  ASSERT_TRUE(codec::is_png(buffer.arr->data));
  EXPECT_EQ(img.call_i4("SaveToPng", {text(m_dir / "b.png"), i4(42)}), 1);  // clamped to 9

  for (const char* member : {"LoadFromPng", "LoadFromFile"}) {
    img.call("DeleteImage");
    ASSERT_EQ(img.call_i4(member, {text(png)}), 1) << member;
    EXPECT_EQ(img.call_text("GetHtmlWH"), "width=\"6\" height=\"3\"");
    EXPECT_EQ(colour(0, 0), 0) << member;
    EXPECT_EQ(colour(5, 0), rgb(255, 255, 255)) << member;
    EXPECT_EQ(colour(4, 2), rgb(10, 200, 30)) << member;
  }
  ASSERT_EQ(img.call_i4("HeaderReadPng", {text(png)}), 1);
  EXPECT_EQ(img.call_text("HeaderGetHtmlWH"), "width=\"6\" height=\"3\"");
  ASSERT_EQ(img.call_i4("SaveToBmp", {text(m_dir / "a.bmp")}), 1);
  ASSERT_EQ(img.call_i4("SaveToJpg", {text(m_dir / "a.jpg")}), 1);
  ASSERT_EQ(img.call_i4("CreateFromSize", {i4(1), i4(1)}), 1);
  for (const char* name : {"a.png", "a.bmp", "a.jpg"}) {
    EXPECT_EQ(img.call_i4("HeaderReadFile", {text(m_dir / name)}), 1) << name;
    EXPECT_EQ(img.call_i4("HeaderGetWidth"), 6) << name;
    EXPECT_EQ(img.call_i4("HeaderGetHeight"), 3) << name;
    const Variant size = img.call("HeaderGetFileSize");
    EXPECT_EQ(size.vt, VT_I8) << name;
    EXPECT_EQ(size.i, static_cast<int64_t>(std::filesystem::file_size(m_dir / name))) << name;
    EXPECT_EQ(img.call_i4("LoadFromFile", {text(m_dir / name)}), 1) << name;
    EXPECT_EQ(img.get("Width").i, 6) << name;
  }

  // A file of no known format, or none at all: a failed load leaves an empty image, a
  // failed probe unknown sizes.
  write(m_dir / "x.png", {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0});
  for (const char* name : {"x.png", "missing.png"}) {
    EXPECT_EQ(img.call_i4("LoadFromFile", {text(m_dir / name)}), 0) << name;
    EXPECT_EQ(img.call_i4("IsNullImage"), 0) << name;
    EXPECT_EQ(img.call_i4("IsValidImage"), 0) << name;
    EXPECT_EQ(img.call_i4("HeaderReadFile", {text(m_dir / name)}), 0) << name;
    EXPECT_EQ(img.call_i4("HeaderGetWidth"), -1) << name;
    EXPECT_EQ(img.call("HeaderGetFileSize").i, -1) << name;  // a failed probe knows no file size
    EXPECT_EQ(img.call_i4("LoadFromPng", {text(m_dir / name)}), 0) << name;
    EXPECT_EQ(img.call_i4("HeaderReadPng", {text(m_dir / name)}), 0) << name;
  }
  // With no image there is nothing to save.
  img.call("DeleteImage");
  EXPECT_EQ(img.call_i4("SaveToPng", {text(m_dir / "c.png")}), 0);
  EXPECT_EQ(img.call("SaveToBufferPng").vt, VT_NULL);
}

TEST_F(Image2ByName, APngSaveNeverReplacesAReadOnlyFileNorLeavesAPartOne) {
  const auto target = m_dir / "keep.png";
  write(target, {1, 2, 3});
  ASSERT_EQ(chmod(target.c_str(), 0444), 0);
  ASSERT_EQ(img.call_i4("CreateFromSize", {i4(5), i4(5)}), 1);
  EXPECT_EQ(img.call_i4("SaveToPng", {text(target)}), 0);
  EXPECT_EQ(std::filesystem::file_size(target), 3u);
  EXPECT_EQ(img.call_i4("SaveToPng", {text(m_dir / "no-such-dir" / "a.png")}), 0);
  size_t files = 0;
  for (auto& e : std::filesystem::directory_iterator(m_dir)) files += e.path().extension() != "";
  EXPECT_EQ(files, 1u);  // keep.png alone: no temporary file left behind
}

TEST_F(Image2ByName, PngTransparencyIsMixedOverTheThumbnailBackground) {
  test::PngLayout layout;
  layout.width = 2;
  layout.height = 1;
  layout.colour_type = PNG_COLOR_TYPE_RGB_ALPHA;
  // Left pixel opaque red, right pixel pure blue at half opacity.
  write(m_dir / "alpha.png", test::make_png(layout, [](uint32_t x, uint32_t, int c) -> uint32_t {
          if (c == 3) return x == 0 ? 255 : 128;
          return x == 0 ? (c == 0 ? 255 : 0) : (c == 2 ? 255 : 0);
        }));
  img.put("ThumbBgColor", i4(rgb(0, 200, 0)));
  ASSERT_EQ(img.call_i4("LoadFromFile", {text(m_dir / "alpha.png")}), 1);
  EXPECT_EQ(colour(0, 0), rgb(255, 0, 0));
  const int32_t mixed = colour(1, 0);
  EXPECT_EQ(mixed & 0xFF, 0);
  EXPECT_NEAR((mixed >> 8) & 0xFF, 100, 1);
  EXPECT_NEAR((mixed >> 16) & 0xFF, 128, 1);
}

// Loads, probes and ApplyOrientation on the tagged files, reached by name.
class TaggedByName : public test::TaggedFiles, protected test::ModuleRegistration {
 protected:
  void SetUp() override {
    TaggedFiles::SetUp();
    register_module();
    img = Object::create("Kelvarin.Image");
    ASSERT_TRUE(img);
  }
  void TearDown() override {
    img = Object();
    end_module();
  }
  void expect_upright(int32_t o, const char* order) {
    ASSERT_EQ(img.get("Width").i, test::kWidth) << o << order;
    ASSERT_EQ(img.get("Height").i, test::kHeight) << o << order;
    for (int32_t by = 0; by < 3; ++by)
      for (int32_t bx = 0; bx < 4; ++bx) {
        const int32_t c = img.call_i4("GetColor", {i4(bx * test::kBlock + 8), i4(by * test::kBlock + 8)});
        const raster::Bgr want = test::block_colour(bx, by);
        EXPECT_NEAR(c & 0xFF, want.r, 2) << o << order << " block " << bx << "," << by;
        EXPECT_NEAR((c >> 8) & 0xFF, want.g, 2) << o << order << " block " << bx << "," << by;
        EXPECT_NEAR((c >> 16) & 0xFF, want.b, 2) << o << order << " block " << bx << "," << by;
      }
  }
  Object img;
};

TEST_F(TaggedByName, EachOfTheEightLoadsWithItsTagAndTurnsUpright) {
  for (int32_t o = 1; o <= 8; ++o)
    for (const char* order : {"MM", "II"}) {
      const Variant f = text(file(o, order));
      ASSERT_EQ(img.call_i4("LoadFromJpg", {f}), 1);
      EXPECT_EQ(img.get("JpgOrientation").i, o) << order;
      ASSERT_EQ(img.call_i4("ApplyOrientation"), 1);
      EXPECT_EQ(img.get("JpgOrientation").i, 1);
      expect_upright(o, order);
      ASSERT_EQ(img.call_i4("ApplyOrientation"), 1);  // nothing left to turn
      expect_upright(o, order);

      ASSERT_EQ(img.call_i4("LoadFromFile", {f}), 1);
      EXPECT_EQ(img.get("JpgOrientation").i, o) << order;
      // A probe records the tag too, and a BMP probe or load puts it back to 1.
      ASSERT_EQ(img.call_i4("HeaderReadBmp", {f}), 0);
      EXPECT_EQ(img.get("JpgOrientation").i, 1);
      ASSERT_EQ(img.call_i4("HeaderReadJpg", {f}), 1);
      EXPECT_EQ(img.get("JpgOrientation").i, o) << order;
      EXPECT_EQ(img.call_i4("HeaderGetWidth"), o >= 5 ? test::kHeight : test::kWidth);
      ASSERT_EQ(img.call_i4("HeaderReadFile", {f}), 1);
      EXPECT_EQ(img.get("JpgOrientation").i, o) << order;

      // The smallest scale that still gives 8 by 6 upright is 1/8, whichever way the
      // picture is stored.
      ASSERT_EQ(img.call_i4("LoadFromJpgMin", {f, i4(8), i4(6)}), 1);
      EXPECT_EQ(img.get("JpgOrientation").i, o);
      ASSERT_EQ(img.call_i4("ApplyOrientation"), 1);
      EXPECT_EQ(img.get("Width").i, test::kWidth / 8) << o << order;
      EXPECT_EQ(img.get("Height").i, test::kHeight / 8) << o << order;
      // One pixel more in width needs the next scale.
      ASSERT_EQ(img.call_i4("LoadFromJpgMin", {f, i4(9), i4(1)}), 1);
      ASSERT_EQ(img.call_i4("ApplyOrientation"), 1);
      EXPECT_EQ(img.get("Width").i, test::kWidth / 4) << o << order;
    }
  // No image: nothing to turn.
  img.call("DeleteImage");
  EXPECT_EQ(img.call_i4("ApplyOrientation"), 0);
}

TEST_F(TaggedByName, ADamagedTagNeverFailsALoadAndReadsAsUpright) {
  std::vector<uint8_t> f = bytes(6, "MM");
  // The first directory's offset pointed far past the block: the tag can't be read, the
  // picture can.
  bool damaged = false;
  for (size_t at = 0; at + 8 < f.size() && !damaged; ++at)
    if (f[at] == 'M' && f[at + 1] == 'M' && f[at + 2] == 0 && f[at + 3] == 42) {
      f[at + 4] = f[at + 5] = f[at + 6] = f[at + 7] = 0xFF;
      damaged = true;
    }
  ASSERT_TRUE(damaged);
  const auto path = m_dir / "damaged.jpg";
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(f.data()), static_cast<std::streamsize>(f.size()));
  ASSERT_EQ(img.call_i4("LoadFromJpg", {text(path)}), 1);
  EXPECT_EQ(img.get("JpgOrientation").i, 1);
  EXPECT_EQ(img.get("Width").i, test::kHeight);  // stored sideways, left as stored
  ASSERT_EQ(img.call_i4("HeaderReadJpg", {text(path)}), 1);
  EXPECT_EQ(img.get("JpgOrientation").i, 1);
}

}  // namespace
}  // namespace kelv::native
