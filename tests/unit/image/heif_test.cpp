// HEIC (and AVIF) through libheif against libheif's own heif-convert: files written by
// heif-enc, grids of 512 x 512 tiles as phones write them (tests/unit/image/heif_builder.h),
// turned and mirrored ones, alpha, 10 bits, libheif's sample file; sizes from the probe,
// reduced loads, the pixel limit before decoding, and cut, damaged and fuzzer-found files
// failing cleanly.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "image/codec/colour.h"
#include "image/codec/format.h"
#include "image/codec/heif.h"
#include "image/codec/png.h"
#include "image/raster/reduce.h"
#include "unit/image/heif_builder.h"
#include "unit/image/pixels.h"
#include "unit/support.h"

namespace kelv::codec {
namespace {

namespace fs = std::filesystem;
using raster::Bgr;
using raster::Bitmap;

constexpr Bgr kBg{40, 160, 220};

using test::slurp;
using test::spill;

// The largest difference of one sample between two pictures of one size; 256 for sizes
// that differ.
int largest_difference(const Bitmap& a, const Bitmap& b) {
  if (a.width() != b.width() || a.height() != b.height()) return 256;
  int most = 0;
  for (int32_t y = 0; y < a.height(); ++y)
    for (int32_t x = 0; x < 3 * a.width(); ++x) most = std::max(most, std::abs(a.row(y)[x] - b.row(y)[x]));
  return most;
}

class Heif : public test::ToolDir {
 protected:
  Heif() : ToolDir("heif") {}

  static LoadRequest request(bool reduce = false, int32_t min_w = 0, int32_t min_h = 0) {
    LoadRequest r;
    r.background = kBg;
    r.reduce = reduce;
    r.min_width = min_w, r.min_height = min_h;
    return r;
  }

  bool load(const std::vector<uint8_t>& bytes, const LoadRequest& r, Bitmap& out, std::string* why = nullptr,
            std::vector<uint8_t>* icc = nullptr) {
    SpanSource source(bytes);
    return read_heif(source, r, out, why, icc);
  }

  Bitmap loaded(const std::string& name) {
    Bitmap b;
    EXPECT_TRUE(load(slurp(at(name)), request(), b)) << name;
    return b;
  }

  // heif-convert's picture of a file (its primary image, written first), alpha mixed over
  // kBg.
  Bitmap reference(const std::string& name) {
    run("heif-convert " + name + " " + name + ".ref.png");
    const fs::path one = at(name + ".ref.png"), first = at(name + ".ref-1.png");
    Bitmap b;
    EXPECT_TRUE(read_png(slurp(fs::exists(one) ? one : first), b, PngReadOptions{kBg, PngAlpha::Composite})) << name;
    return b;
  }

  // A grid of 512 x 512 tiles over a w x h photo, each tile coded by heif-enc.
  test::HeifGrid grid(int32_t w, int32_t h) {
    Bytes png;
    EXPECT_TRUE(write_png(test::pattern(w, h), PngWriteOptions{}, png));
    spill(at("grid.png"), png);
    run("convert grid.png -crop 512x512 +repage -gravity NorthWest -background black -extent 512x512 tile%d.png");
    test::HeifGrid g;
    g.columns = (w + 511) / 512, g.rows = (h + 511) / 512;
    g.tile_width = g.tile_height = 512;
    g.width = w, g.height = h;
    for (int i = 0; i < g.columns * g.rows; ++i) {
      const std::string tile = "tile" + std::to_string(i);
      run("heif-enc -q 90 " + tile + ".png -o " + tile + ".heic");
      g.tiles.push_back(test::heif_tile_of(slurp(at(tile + ".heic"))));
    }
    return g;
  }
};

TEST_F(Heif, FilesOfHeifEncAndTheSampleMatchHeifConvert) {
  Bytes png;
  ASSERT_TRUE(write_png(test::pattern(300, 200), PngWriteOptions{}, png));
  spill(at("src.png"), png);
  run("convert src.png -alpha set -channel A -fx '(i+j)%3/2' +channel alpha.png && "
      "convert src.png -depth 16 deep.png && heif-enc -q 90 src.png -o plain.heic && "
      "heif-enc -q 90 alpha.png -o alpha.heic && heif-enc -q 90 -b 10 deep.png -o deep.heic && "
      "heif-enc -q 90 -p chroma=444 src.png -o full.heic && heif-enc -q 90 src.png -o plain.avif && "
      "heif-enc -q 90 --full_range_flag=0 --matrix_coefficients=1 src.png -o limited.heic && "
      "heif-enc -q 90 -b 10 --full_range_flag=0 --matrix_coefficients=9 deep.png -o deep.avif && "
      "heif-enc -q 90 -p chroma=444 --matrix_coefficients=0 src.png -o identity.heic && "
      "cp '" KELV_TEST_INPUTS "/heic/example.heic' example.heic");
  // Converted here (4:2:0, 4:4:4, full and limited range, BT.601, 709 and 2020, 8 and 10
  // bits), and by libheif (the identity matrix).
  for (const char* name : {"plain.heic", "alpha.heic", "deep.heic", "full.heic", "plain.avif", "limited.heic",
                           "deep.avif", "identity.heic", "example.heic"}) {
    const Bitmap ours = loaded(name);
    EXPECT_LE(largest_difference(ours, reference(name)), 1) << name;
    const std::vector<uint8_t> bytes = slurp(at(name));
    SpanSource source(bytes);
    int32_t w = 0, h = 0;
    EXPECT_TRUE(probe_heif(source, w, h)) << name;
    EXPECT_EQ(w, ours.width()) << name;
    EXPECT_EQ(h, ours.height()) << name;
  }
  EXPECT_EQ(sniff_format(slurp(at("plain.heic"))), ImageFormat::Heic);
  EXPECT_EQ(sniff_format(slurp(at("plain.avif"))), ImageFormat::Avif);
}

TEST_F(Heif, GridsTurnedAndMirroredComeOutUprightAsHeifConvertShowsThem) {
  const test::HeifGrid base = grid(1000, 700);
  struct Case {
    int turns, mirror;
    int32_t width, height;
  };
  for (const Case c : {Case{0, -1, 1000, 700}, Case{1, -1, 700, 1000}, Case{0, 0, 1000, 700}, Case{3, 1, 700, 1000},
                       Case{2, 0, 1000, 700}}) {
    test::HeifGrid g = base;
    g.turns = c.turns, g.mirror = c.mirror;
    const std::string name = "grid" + std::to_string(c.turns) + std::to_string(c.mirror + 1) + ".heic";
    spill(at(name), test::heic_grid_file(g));
    const std::vector<uint8_t> bytes = slurp(at(name));
    SpanSource source(bytes);
    int32_t w = 0, h = 0;
    ASSERT_TRUE(probe_heif(source, w, h)) << name;
    EXPECT_EQ(w, c.width) << name;
    EXPECT_EQ(h, c.height) << name;
    const Bitmap ours = loaded(name);
    // Placed, turned and mirrored as libheif does; colour within its rounding.
    EXPECT_LE(largest_difference(ours, reference(name)), 1) << name;
    // A reduced load is the whole picture reduced, block by block.
    for (int32_t min : {160, 300}) {
      Bitmap reduced;
      ASSERT_TRUE(load(bytes, request(true, min, min * 3 / 4), reduced)) << name;
      const int32_t factor = raster::reduction_factor(ours.width(), ours.height(), min, min * 3 / 4);
      EXPECT_TRUE(test::same_pixels(reduced, raster::reduce(ours, factor))) << name << " reduced for " << min;
    }
  }
}

TEST_F(Heif, TheProfileInTheFileComesWithThePicture) {
  test::HeifGrid g = grid(500, 400);
  g.icc = slurp("/usr/share/color/icc/compatibleWithAdobeRGB1998.icc");
  ASSERT_FALSE(g.icc.empty());
  Bitmap b;
  std::vector<uint8_t> icc;
  ASSERT_TRUE(load(test::heic_grid_file(g), request(), b, nullptr, &icc));
  EXPECT_EQ(icc, g.icc);
  g.icc.clear();
  ASSERT_TRUE(load(test::heic_grid_file(g), request(), b, nullptr, &icc));
  EXPECT_TRUE(icc.empty());
}

// An nclx description comes as the profile it describes; sRGB, BT.709 and what no ICC
// profile can describe (PQ) come as none.
TEST_F(Heif, AnNclxDescriptionComesAsItsProfile) {
  struct Case {
    int primaries, transfer;
    bool profile;
  } cases[] = {{12, 13, true}, {9, 1, true}, {1, 13, false}, {1, 1, false}, {9, 16, false}};
  for (const Case& c : cases) {
    test::HeifGrid g = grid(500, 400);
    g.nclx_primaries = c.primaries, g.nclx_transfer = c.transfer;
    Bitmap b;
    std::vector<uint8_t> icc{1};
    ASSERT_TRUE(load(test::heic_grid_file(g), request(), b, nullptr, &icc)) << c.primaries << "/" << c.transfer;
    EXPECT_EQ(icc, icc_from_nclx(static_cast<uint16_t>(c.primaries), static_cast<uint16_t>(c.transfer)));
    EXPECT_EQ(!icc.empty(), c.profile) << c.primaries << "/" << c.transfer;
  }
}

TEST_F(Heif, ThePixelLimitRefusesBeforeDecoding) {
  const std::vector<uint8_t> sample = test::read_input("heic/example.heic");
  LoadRequest r = request();
  SpanSource source(sample);
  int32_t w = 0, h = 0;
  ASSERT_TRUE(probe_heif(source, w, h));
  r.max_pixels = static_cast<uint64_t>(w) * static_cast<uint64_t>(h) - 1;
  Bitmap b;
  std::string why;
  EXPECT_FALSE(load(sample, r, b, &why));
  EXPECT_NE(why.find("MaxPixels"), std::string::npos) << why;
  // The reduced picture counts, not the stored one.
  r.reduce = true, r.min_width = w / 4, r.min_height = h / 4;
  EXPECT_TRUE(load(sample, r, b, &why)) << why;
}

TEST_F(Heif, CutDamagedAndFuzzerFoundFilesFailCleanly) {
  const std::vector<uint8_t> sample = test::read_input("heic/example.heic");
  ASSERT_GT(sample.size(), 1000u);
  for (size_t keep : {size_t{0}, size_t{12}, size_t{40}, size_t{400}, sample.size() / 3, sample.size() - 100}) {
    const std::vector<uint8_t> cut(sample.begin(), sample.begin() + static_cast<ptrdiff_t>(keep));
    Bitmap b;
    std::string why;
    EXPECT_FALSE(load(cut, request(), b, &why)) << "cut at " << keep;
    EXPECT_EQ(why, "The picture is damaged or cut short") << "cut at " << keep;
    load(cut, request(true, 16, 16), b);
  }
  for (size_t step : {size_t{13}, size_t{101}, size_t{997}}) {
    std::vector<uint8_t> broken = sample;
    for (size_t i = 24; i < broken.size(); i += step) broken[i] ^= 0x5A;
    Bitmap b;
    load(broken, request(), b);  // must come back, whatever it says
    load(broken, request(true, 8, 8), b);
  }
  for (const auto& entry : fs::directory_iterator(std::string(KELV_TEST_INPUTS) + "/heic/broken")) {
    const std::vector<uint8_t> bytes = slurp(entry.path());
    Bitmap b;
    load(bytes, request(), b);
    load(bytes, request(true, 8, 8), b);
    SpanSource source(bytes);
    int32_t w, h;
    probe_heif(source, w, h);
  }
}

}  // namespace
}  // namespace kelv::codec
