// Colour profiles: the profiles lcms2 builds and recognises, each format's profile written
// and read back byte for byte (a JPEG's across many APP2 segments), PNG's colour chunks,
// and the members ColorProfile, ColorMode and ConvertToSRGB as a script reaches them.
#include <gtest/gtest.h>
#include <png.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>

#include <lcms2.h>

#include "image/codec/colour.h"
#include "image/codec/jpeg.h"
#include "image/codec/png.h"
#include "image/codec/source.h"
#include "image/codec/webp.h"
#include "image/image.h"
#include "platform/platform.h"
#include "server/native/client.h"
#include "unit/image/raw_jpeg.h"
#include "unit/support.h"

namespace kelv {
namespace {

namespace fs = std::filesystem;
using codec::IccBytes;

const fs::path kSystemProfiles = "/usr/share/color/icc";

IccBytes slurp(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

IccBytes display_p3() { return codec::icc_from_nclx(12, 13); }

raster::Bitmap filled(raster::Bgr c, int32_t w = 8, int32_t h = 6) {
  raster::Bitmap b(w, h, raster::Bitmap::Fill::None);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) b.set_pixel(x, y, c);
  return b;
}

TEST(ColourProfiles, NclxDescriptionsBuildProfilesExceptForSrgbAndWhatIccCannotHold) {
  struct Case {
    uint16_t primaries, transfer;
    const char* description;  // "" : no profile
  } const cases[] = {
      {12, 13, "Display P3"},
      {9, 1, "BT.2020, BT.709 transfer"},
      {1, 8, "BT.709, linear"},
      {1, 13, ""},
      {1, 1, ""},
      {2, 2, ""},
      {9, 16, ""},  // PQ
      {99, 13, ""},
  };
  for (const Case& c : cases) {
    const IccBytes icc = codec::icc_from_nclx(c.primaries, c.transfer);
    EXPECT_EQ(codec::profile_description(icc), c.description) << c.primaries << "/" << c.transfer;
    EXPECT_EQ(codec::kept_profile(icc).empty(), icc.empty()) << c.primaries << "/" << c.transfer;
  }
}

TEST(ColourProfiles, SrgbCountsAsNoneAndOtherRgbProfilesAreKept) {
  ASSERT_TRUE(fs::exists(kSystemProfiles / "sRGB.icc")) << "icc-profiles-free is missing";
  const IccBytes srgb = slurp(kSystemProfiles / "sRGB.icc");
  const IccBytes adobe = slurp(kSystemProfiles / "compatibleWithAdobeRGB1998.icc");
  EXPECT_TRUE(codec::is_srgb(srgb));
  EXPECT_TRUE(codec::kept_profile(srgb).empty());
  EXPECT_FALSE(codec::is_srgb(adobe));
  EXPECT_EQ(codec::kept_profile(adobe), adobe);
  // Grey, Lab and damaged profiles describe no pixels the image holds.
  EXPECT_TRUE(codec::kept_profile(slurp(kSystemProfiles / "Gray.icc")).empty());
  EXPECT_TRUE(codec::kept_profile(IccBytes(adobe.begin(), adobe.begin() + 200)).empty());
  EXPECT_TRUE(codec::kept_profile(IccBytes(3000, 0xEE)).empty());
}

TEST(ColourProfiles, ConversionFromDisplayP3GivesKnownSrgbValues) {
  // sRGB's pure red is (234, 51, 35) in Display P3; a grey stays grey.
  raster::Bitmap b = filled({35, 51, 234});
  b.set_pixel(1, 0, {128, 128, 128});
  ASSERT_TRUE(codec::convert_pixels(b, display_p3()));
  const raster::Bgr red = b.pixel(0, 0), grey = b.pixel(1, 0);
  EXPECT_NEAR(red.r, 255, 2);
  EXPECT_NEAR(red.g, 0, 3);
  EXPECT_NEAR(red.b, 0, 3);
  EXPECT_NEAR(grey.r, 128, 1);
  EXPECT_NEAR(grey.g, 128, 1);
  EXPECT_NEAR(grey.b, 128, 1);
  EXPECT_FALSE(codec::convert_pixels(b, IccBytes(500, 1)));
}

// Each format's writer and reader, with the profile beside the pixels.
IccBytes round_trip(const std::string& format, std::span<const uint8_t> icc) {
  const raster::Bitmap src = filled({10, 20, 30}, 40, 30);
  Bytes file;
  raster::Bitmap back;
  IccBytes read;
  const codec::LoadRequest request;
  if (format == "jpeg") {
    codec::JpegOptions o;
    o.icc_profile = icc;
    EXPECT_TRUE(codec::write_jpeg(src, o, file));
    codec::SpanSource s(file);
    EXPECT_TRUE(codec::read_jpeg(s, request, codec::JpegReduce::None, back, nullptr, nullptr, &read));
  } else if (format == "png") {
    codec::PngWriteOptions o;
    o.icc_profile = icc;
    EXPECT_TRUE(codec::write_png(src, o, file));
    codec::SpanSource s(file);
    EXPECT_TRUE(codec::read_png(s, request, back, nullptr, &read));
  } else {
    codec::WebpOptions o;
    o.lossless = true;
    o.icc_profile = icc;
    EXPECT_TRUE(codec::write_webp(src, o, file));
    EXPECT_TRUE(codec::read_webp(file, request, back, nullptr, &read));
  }
  EXPECT_EQ(back.width(), 40) << format;
  EXPECT_EQ(back.pixel(5, 5).g, 20) << format;
  return read;
}

TEST(ColourProfiles, EveryFormatWritesItsProfileAndReadsItBackUnchanged) {
  const IccBytes p3 = display_p3();
  const IccBytes adobe = slurp(kSystemProfiles / "compatibleWithAdobeRGB1998.icc");
  for (const char* format : {"jpeg", "png", "webp"}) {
    EXPECT_EQ(round_trip(format, p3), p3) << format;
    EXPECT_EQ(round_trip(format, adobe), adobe) << format;
    EXPECT_TRUE(round_trip(format, {}).empty()) << format;
  }
}

TEST(ColourProfiles, AJpegProfileLongerThanOneSegmentSpansSeveralInOrder) {
  // Three segments: 65519 bytes of profile fit in one.
  IccBytes big(150000);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7 + i / 251);
  codec::JpegOptions o;
  o.icc_profile = big;
  Bytes file;
  ASSERT_TRUE(codec::write_jpeg(filled({1, 2, 3}), o, file));
  int segments = 0;
  for (size_t i = 0; i + 16 < file.size(); ++i)
    if (file[i] == 0xFF && file[i + 1] == 0xE2 && std::memcmp(&file[i + 4], "ICC_PROFILE", 12) == 0) {
      EXPECT_EQ(file[i + 16], ++segments);  // the sequence number
      EXPECT_EQ(file[i + 17], 3);           // of three
    }
  EXPECT_EQ(segments, 3);
  codec::SpanSource s(file);
  raster::Bitmap back;
  IccBytes read;
  ASSERT_TRUE(codec::read_jpeg(s, {}, codec::JpegReduce::None, back, nullptr, nullptr, &read));
  EXPECT_EQ(read, big);
}

// A CMYK printer profile made here: a table from an ink model unlike the naive one (cyan
// takes green, magenta blue, yellow red) into Lab, so that a picture converted without
// the profile, or with its inks in the wrong order or sense, shows other colours.
IccBytes cmyk_profile() {
  cmsHPROFILE srgb = cmsCreate_sRGBProfile(), lab = cmsCreateLab4Profile(nullptr);
  cmsHTRANSFORM to_lab = cmsCreateTransform(srgb, TYPE_RGB_DBL, lab, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, 0);
  cmsHPROFILE p = cmsCreateProfilePlaceholder(nullptr);
  cmsSetProfileVersion(p, 4.3);
  cmsSetDeviceClass(p, cmsSigOutputClass);
  cmsSetColorSpace(p, cmsSigCmykData);
  cmsSetPCS(p, cmsSigLabData);
  cmsPipeline* a2b = cmsPipelineAlloc(nullptr, 4, 3);
  cmsStage* table = cmsStageAllocCLut16bit(nullptr, 9, 4, 3, nullptr);
  cmsStageSampleCLut16bit(
      table,
      [](const cmsUInt16Number in[], cmsUInt16Number out[], void* cargo) -> cmsInt32Number {
        const double k = 1 - in[3] / 65535.0;
        const double rgb[3] = {(1 - in[2] / 65535.0) * k, (1 - in[0] / 65535.0) * k, (1 - in[1] / 65535.0) * k};
        cmsCIELab l;
        cmsDoTransform(cargo, rgb, &l, 1);
        cmsFloat2LabEncoded(out, &l);
        return TRUE;
      },
      to_lab, 0);
  // Stored as curves, table, curves (the form ICC's lutAtoBType holds), the curves as
  // they are.
  cmsPipelineInsertStage(a2b, cmsAT_END, cmsStageAllocToneCurves(nullptr, 4, nullptr));
  cmsPipelineInsertStage(a2b, cmsAT_END, table);
  cmsPipelineInsertStage(a2b, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
  cmsWriteTag(p, cmsSigAToB0Tag, a2b);
  cmsWriteTag(p, cmsSigMediaWhitePointTag, cmsD50_XYZ());
  cmsMLU* name = cmsMLUalloc(nullptr, 1);
  cmsMLUsetASCII(name, "en", "US", "Test CMYK");
  cmsWriteTag(p, cmsSigProfileDescriptionTag, name);
  cmsUInt32Number size = 0;
  cmsSaveProfileToMem(p, nullptr, &size);
  IccBytes icc(size);
  cmsSaveProfileToMem(p, icc.data(), &size);
  cmsMLUfree(name);
  cmsPipelineFree(a2b);
  cmsCloseProfile(p);
  cmsDeleteTransform(to_lab);
  cmsCloseProfile(lab);
  cmsCloseProfile(srgb);
  return icc;
}

TEST(ColourProfiles, ACmykJpegIsConvertedThroughItsProfileInEitherSense) {
  const IccBytes icc = cmyk_profile();
  // Six flat blocks of 16 x 16: the inks alone, two at once, and a dark grey.
  const uint8_t inks[6][4] = {{255, 0, 0, 0},   {0, 255, 0, 0},  {0, 0, 255, 0},
                              {0, 128, 200, 0}, {60, 0, 0, 100}, {0, 0, 0, 180}};
  cmsHPROFILE cmyk = cmsOpenProfileFromMem(icc.data(), static_cast<cmsUInt32Number>(icc.size()));
  cmsHPROFILE srgb = cmsCreate_sRGBProfile();
  cmsHTRANSFORM expected = cmsCreateTransform(cmyk, TYPE_CMYK_8, srgb, TYPE_BGR_8, INTENT_RELATIVE_COLORIMETRIC,
                                              cmsFLAGS_BLACKPOINTCOMPENSATION);
  // Adobe's files store the inks inverted and say so in their APP14 marker.
  for (const bool adobe : {false, true}) {
    std::vector<uint8_t> row(6 * 16 * 4);
    for (size_t x = 0; x < 6 * 16; ++x)
      for (int c = 0; c < 4; ++c) row[4 * x + c] = adobe ? 255 - inks[x / 16][c] : inks[x / 16][c];
    const std::string file = test::raw_jpeg_rows(
        6 * 16, 16, 4, JCS_CMYK, [&](int) { return row.data(); },
        [&](jpeg_compress_struct& c) {
          c.write_Adobe_marker = adobe;
          jpeg_set_quality(&c, 100, TRUE);
        },
        [&](jpeg_compress_struct& c) { jpeg_write_icc_profile(&c, icc.data(), static_cast<unsigned>(icc.size())); });
    codec::SpanSource s(std::span(reinterpret_cast<const uint8_t*>(file.data()), file.size()));
    raster::Bitmap back;
    IccBytes read{1};
    ASSERT_TRUE(codec::read_jpeg(s, {}, codec::JpegReduce::None, back, nullptr, nullptr, &read)) << adobe;
    EXPECT_TRUE(read.empty()) << "converted to sRGB, the picture keeps no profile";
    for (int b = 0; b < 6; ++b) {
      uint8_t want[3];
      cmsDoTransform(expected, inks[b], want, 1);
      const raster::Bgr got = back.pixel(16 * b + 8, 8);
      EXPECT_NEAR(got.b, want[0], 3) << "block " << b << (adobe ? " adobe" : "");
      EXPECT_NEAR(got.g, want[1], 3) << "block " << b << (adobe ? " adobe" : "");
      EXPECT_NEAR(got.r, want[2], 3) << "block " << b << (adobe ? " adobe" : "");
    }
  }
  cmsDeleteTransform(expected);
  cmsCloseProfile(srgb);
  cmsCloseProfile(cmyk);
}

// A PNG file with the given colour chunks, written with libpng.
Bytes png_with(const std::function<void(png_structp, png_infop)>& chunks) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep d, size_t n) {
        auto* o = static_cast<Bytes*>(png_get_io_ptr(p));
        o->insert(o->end(), d, d + n);
      },
      nullptr);
  png_set_IHDR(png, info, 2, 2, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  chunks(png, info);
  png_write_info(png, info);
  uint8_t row[6] = {};
  for (int y = 0; y < 2; ++y) png_write_row(png, row);
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

TEST(ColourProfiles, PngColourChunksGiveTheProfileTheyDescribe) {
  const double p3[8] = {0.3127, 0.3290, 0.680, 0.320, 0.265, 0.690, 0.150, 0.060};
  struct Case {
    const char* what;
    std::function<void(png_structp, png_infop)> chunks;
    const char* description;
  } const cases[] = {
      {"none", [](png_structp, png_infop) {}, ""},
      {"sRGB chunk", [](png_structp p, png_infop i) { png_set_sRGB_gAMA_and_cHRM(p, i, PNG_sRGB_INTENT_PERCEPTUAL); },
       ""},
      {"gamma 1/2.2 alone", [](png_structp p, png_infop i) { png_set_gAMA_fixed(p, i, 45455); }, ""},
      {"gamma 1/1.8 alone", [](png_structp p, png_infop i) { png_set_gAMA_fixed(p, i, 55556); }, "PNG gamma"},
      {"P3 primaries",
       [&](png_structp p, png_infop i) {
         png_set_gAMA_fixed(p, i, 45455);
         png_set_cHRM(p, i, p3[0], p3[1], p3[2], p3[3], p3[4], p3[5], p3[6], p3[7]);
       },
       "PNG gamma and chromaticities"},
      {"iCCP over gAMA",
       [&](png_structp p, png_infop i) {
         const IccBytes icc = display_p3();
         png_set_gAMA_fixed(p, i, 55556);
         png_set_iCCP(p, i, "P3", 0, icc.data(), static_cast<png_uint_32>(icc.size()));
       },
       "Display P3"},
  };
  for (const Case& c : cases) {
    const Bytes file = png_with(c.chunks);
    codec::SpanSource s(file);
    raster::Bitmap back;
    IccBytes icc;
    ASSERT_TRUE(codec::read_png(s, {}, back, nullptr, &icc)) << c.what;
    EXPECT_EQ(codec::profile_description(codec::kept_profile(icc)), c.description) << c.what;
  }
}

// The members by name, as a script calls them.
class ColourByName : public test::ImageObject {
 protected:
  using Variant = native::Variant;
  static Variant i4(int32_t v) { return Variant::i4(v); }
  Variant file(const std::string& name) const { return Variant::str(platform::to_wide((m_dir / name).string())); }
  // A picture in Display P3: sRGB's pure red (as P3 numbers) in the left half, grey in
  // the right, saved as PNG.
  void SetUp() override {
    test::ImageObject::SetUp();
    raster::Bitmap b = filled({35, 51, 234}, 40, 20);
    for (int32_t y = 0; y < 20; ++y)
      for (int32_t x = 20; x < 40; ++x) b.set_pixel(x, y, {128, 128, 128});
    codec::PngWriteOptions o;
    const IccBytes p3 = display_p3();
    o.icc_profile = p3;
    Bytes png;
    ASSERT_TRUE(codec::write_png(b, o, png));
    ASSERT_TRUE(platform::write_file_replacing((m_dir / "p3.png").string(), png.data(), png.size()));
  }
  std::u16string profile() { return img.get("ColorProfile").s; }
  int32_t colour(int32_t x, int32_t y) { return img.call_i4("GetColor", {i4(x), i4(y)}); }
};

constexpr int32_t kP3Red = 35 << 16 | 51 << 8 | 234;

bool near_red(int32_t c) { return (c & 0xFF) >= 252 && ((c >> 8) & 0xFF) <= 3 && ((c >> 16) & 0xFF) <= 3; }

TEST_F(ColourByName, ModeAndProfileStartEmptyAndOnlyZeroAndOneAreModes) {
  EXPECT_EQ(profile(), u"");
  EXPECT_EQ(img.get("ColorMode").i, 0);
  EXPECT_EQ(img.call_i4("ConvertToSRGB"), 0);  // no image
  for (int32_t v : {1, 2, -1, 0, 7}) img.put("ColorMode", i4(v));
  EXPECT_EQ(img.get("ColorMode").i, 0);
  img.put("ColorMode", i4(1));
  EXPECT_EQ(img.get("ColorMode").i, 1);
}

TEST_F(ColourByName, ALoadKeepsTheProfileAndEverySaveButBmpWritesIt) {
  ASSERT_EQ(img.call_i4("LoadFromFile", {file("p3.png")}), 1);
  EXPECT_EQ(profile(), u"Display P3");
  EXPECT_EQ(colour(0, 0), kP3Red);  // pixels as stored
  ASSERT_EQ(img.call_i4("SaveToJpg", {file("a.jpg"), i4(95)}), 1);
  ASSERT_EQ(img.call_i4("SaveToPng", {file("a.png")}), 1);
  ASSERT_EQ(img.call_i4("SaveToWebp", {file("a.webp")}), 1);
  ASSERT_EQ(img.call_i4("SaveToBmp", {file("a.bmp")}), 1);
  native::Object other = native::Object::create("Kelvarin.Image");
  for (const char* name : {"a.jpg", "a.png", "a.webp"}) {
    ASSERT_EQ(other.call_i4("LoadFromFile", {file(name)}), 1) << name;
    EXPECT_EQ(other.get("ColorProfile").s, u"Display P3") << name;
  }
  ASSERT_EQ(other.call_i4("LoadFromFile", {file("a.bmp")}), 1);
  EXPECT_EQ(other.get("ColorProfile").s, u"");
  // Buffers carry it as files do.
  for (const char* member : {"SaveToBufferJpg", "SaveToBufferPng", "SaveToBufferWebp"}) {
    const Variant buf = img.call(member);
    ASSERT_TRUE(buf.arr) << member;
    const Bytes& bytes = buf.arr->data;
    ASSERT_TRUE(platform::write_file_replacing((m_dir / "b").string(), bytes.data(), bytes.size()));
    ASSERT_EQ(other.call_i4("LoadFromFile", {file("b")}), 1) << member;
    EXPECT_EQ(other.get("ColorProfile").s, u"Display P3") << member;
  }
}

TEST_F(ColourByName, ConvertToSrgbAndColorModeOneGiveSrgbPixelsWithoutAProfile) {
  ASSERT_EQ(img.call_i4("LoadFromFile", {file("p3.png")}), 1);
  EXPECT_EQ(img.call_i4("ConvertToSRGB"), 1);
  EXPECT_EQ(profile(), u"");
  EXPECT_TRUE(near_red(colour(0, 0))) << std::hex << colour(0, 0);
  const int32_t converted = colour(30, 10);
  EXPECT_EQ(img.call_i4("ConvertToSRGB"), 1);  // nothing left to convert
  EXPECT_EQ(colour(30, 10), converted);

  img.put("ColorMode", i4(1));
  for (const char* member : {"LoadFromFile", "LoadFromPng"}) {
    ASSERT_EQ(img.call_i4(member, {file("p3.png")}), 1);
    EXPECT_EQ(profile(), u"") << member;
    EXPECT_TRUE(near_red(colour(0, 0))) << member;
  }
  ASSERT_EQ(img.call_i4("LoadFromFileMin", {file("p3.png"), i4(10), i4(5)}), 1);
  EXPECT_EQ(profile(), u"");
  EXPECT_TRUE(near_red(colour(0, 0)));
}

TEST_F(ColourByName, GeometryKeepsTheProfileAndANewPictureDropsIt) {
  struct Step {
    const char* member;
    std::vector<Variant> args;
    const char16_t* after;
  } const steps[] = {
      {"RotateCW", {}, u"Display P3"},
      {"FlipHorizontal", {}, u"Display P3"},
      {"ResizeImg", {i4(30), i4(10)}, u"Display P3"},
      {"MakeThumb", {i4(16), i4(16)}, u"Display P3"},
      {"ChangeSize", {i4(10), i4(10)}, u"Display P3"},
      {"CreateFromSize", {i4(5), i4(5)}, u""},
  };
  ASSERT_EQ(img.call_i4("LoadFromFile", {file("p3.png")}), 1);
  for (const Step& s : steps) {
    img.call(s.member, s.args);
    EXPECT_EQ(profile(), s.after) << s.member;
  }
  ASSERT_EQ(img.call_i4("LoadFromFile", {file("p3.png")}), 1);
  img.call("DeleteImage");
  EXPECT_EQ(profile(), u"");
}

TEST_F(ColourByName, DrawingBetweenProfilesConvertsIntoTheDestinationsSpace) {
  ASSERT_EQ(img.call_i4("LoadFromFile", {file("p3.png")}), 1);
  native::Object plain = native::Object::create("Kelvarin.Image");
  ASSERT_EQ(plain.call_i4("CreateFromSize", {i4(40), i4(20)}), 1);
  for (const char* member : {"Draw", "StretchDraw"}) {
    plain.call("FillRect", {i4(0), i4(0), i4(40), i4(20)});
    const bool stretch = std::string(member) == "StretchDraw";
    std::vector<Variant> args = {i4(0), i4(0)};
    if (stretch) args.insert(args.end(), {i4(39), i4(19)});
    args.push_back(Variant::dispatch(img.get()));
    ASSERT_EQ(plain.call_i4(member, args), 1) << member;
    EXPECT_TRUE(near_red(plain.call_i4("GetColor", {i4(0), i4(0)}))) << member;
  }
  EXPECT_EQ(plain.get("ColorProfile").s, u"");
  // The same space: pixels copied as they are.
  native::Object twin = native::Object::create("Kelvarin.Image");
  ASSERT_EQ(twin.call_i4("LoadFromFile", {file("p3.png")}), 1);
  ASSERT_EQ(twin.call_i4("Draw", {i4(0), i4(0), Variant::dispatch(img.get())}), 1);
  EXPECT_EQ(twin.call_i4("GetColor", {i4(0), i4(0)}), kP3Red);
  // AssignPicture takes the profile with the picture.
  ASSERT_EQ(plain.call_i4("AssignPicture", {Variant::dispatch(img.get())}), 1);
  EXPECT_EQ(plain.get("ColorProfile").s, u"Display P3");
  EXPECT_EQ(plain.call_i4("GetColor", {i4(0), i4(0)}), kP3Red);
}

// One object's freed picture, whose memory another object's picture now uses, must not
// lend that picture its old profile.
TEST(PublishedProfiles, ABitmapAddressTakenOverByAnotherObjectHasOnlyItsNewProfile) {
  const int first = 0, second = 0;
  const auto* a = reinterpret_cast<const TImageImpl*>(&first);
  const auto* b = reinterpret_cast<const TImageImpl*>(&second);
  const raster::Bitmap bmp(2, 2, raster::Bitmap::Fill::None), earlier(2, 2, raster::Bitmap::Fill::None);
  // Both ways round, as a lookup may meet either entry first; the new owner had published
  // a picture before, as a page's object that draws more than once has.
  for (const auto& [before, now] : {std::pair(a, b), std::pair(b, a)}) {
    publish_profile(now, &earlier, {});
    publish_profile(before, &bmp, display_p3());
    EXPECT_EQ(profile_of(&bmp), display_p3());
    publish_profile(now, &bmp, {});
    EXPECT_TRUE(profile_of(&bmp).empty());
    unregister_image(a);
    unregister_image(b);
  }
}

TEST_F(ColourByName, DrawingColoursAreSrgbAndAreDrawnInTheImagesProfile) {
  // Each way a script's colour reaches the pixels, sRGB red drawn where the picture is
  // grey: P3 numbers on the tagged picture, the script's own on an untagged one.
  struct Case {
    const char* what;
    std::function<void(native::Object&)> paint;
    int32_t x, y;
    const char* given;  // the property that holds the colour, read back as given
  } const cases[] = {
      {"FillRect with the brush",
       [](native::Object& o) {
         o.put("BrushColor", i4(0xFF));
         o.call("FillRect", {i4(25), i4(5), i4(10), i4(10)});
       },
       30, 10, "BrushColor"},
      {"Line with the pen",
       [](native::Object& o) {
         o.put("PenColor", i4(0xFF));
         o.call("Line", {i4(20), i4(10), i4(39), i4(10)});
       },
       30, 10, "PenColor"},
      {"ChangeSize's new area",
       [](native::Object& o) {
         o.put("BrushColor", i4(0xFF));
         o.call("ChangeSize", {i4(50), i4(20)});
       },
       45, 10, "BrushColor"},
      {"MakeThumb's background",
       [](native::Object& o) {
         o.put("ThumbBgColor", i4(0xFF));
         o.call("MakeThumb", {i4(60), i4(20)});
       },
       2, 10, "BrushColor"},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(img.call_i4("LoadFromFile", {file("p3.png")}), 1);
    c.paint(img);
    const int32_t p3 = colour(c.x, c.y);
    EXPECT_NEAR(p3 & 0xFF, 234, 1) << c.what;
    EXPECT_NEAR((p3 >> 8) & 0xFF, 51, 1) << c.what;
    EXPECT_NEAR((p3 >> 16) & 0xFF, 35, 1) << c.what;
    EXPECT_EQ(img.get(c.given).i, 0xFF) << c.what;

    ASSERT_EQ(img.call_i4("CreateFromSize", {i4(40), i4(20), i4(0x808080)}), 1);
    c.paint(img);
    EXPECT_EQ(colour(c.x, c.y), 0xFF) << c.what << " untagged";
  }
}

TEST_F(ColourByName, AnUntaggedPictureGainsNoProfileAndKeepsItsPixels) {
  ASSERT_EQ(img.call_i4("CreateFromSize", {i4(8), i4(8), i4(0x3366CC)}), 1);
  ASSERT_EQ(img.call_i4("SaveToPng", {file("u.png")}), 1);
  img.put("ColorMode", i4(1));
  ASSERT_EQ(img.call_i4("LoadFromFile", {file("u.png")}), 1);
  EXPECT_EQ(img.call_i4("ConvertToSRGB"), 1);
  EXPECT_EQ(colour(3, 3), 0x3366CC);
  EXPECT_EQ(profile(), u"");
}

}  // namespace
}  // namespace kelv
