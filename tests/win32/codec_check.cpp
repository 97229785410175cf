// The codecs and raster pieces of the Windows build, run under Wine: libpng and zlib as
// linked into the module (round trips, interlaced files, damaged data), the reduced
// JPEG decode, the orientation reader and area averaging.
//
//   codec_check INPUTS     INPUTS: the tests/inputs folder
#include <cstdio>
#include <string>
#include <vector>

#include "image/codec/jpeg.h"
#include "image/codec/exif.h"
#include "image/codec/png.h"
#include "image/raster/orientation.h"
#include "image/raster/resample.h"
#include "tests/win32/checks.h"

using namespace kelv;
using raster::Bgr;
using raster::Bitmap;

namespace {

using wintest::check;

std::vector<uint8_t> read_file(const std::string& path) {
  std::vector<uint8_t> data;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    uint8_t buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) data.insert(data.end(), buf, buf + n);
    std::fclose(f);
  }
  return data;
}

bool same(const Bitmap& a, const Bitmap& b) {
  if (a.width() != b.width() || a.height() != b.height()) return false;
  for (int32_t y = 0; y < a.height(); ++y)
    for (int32_t x = 0; x < a.width(); ++x)
      if (!(a.pixel(x, y) == b.pixel(x, y))) return false;
  return true;
}

Bitmap pattern(int32_t w, int32_t h) {
  Bitmap b(w, h, Bitmap::Fill::None);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      b.set_pixel(x, y, Bgr{static_cast<uint8_t>(x * 7), static_cast<uint8_t>(y * 13), static_cast<uint8_t>(x ^ y)});
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string inputs = argc > 1 ? argv[1] : "tests/inputs";
  const Bitmap src = pattern(67, 41);

  Bytes png;
  check(codec::write_png(src, codec::PngWriteOptions{9, false, {}}, png), "PNG save");
  Bitmap back;
  check(codec::read_png(png, back) && same(back, src), "PNG round trip");
  png[png.size() / 2] ^= 0x55;
  std::string message;
  check(!codec::read_png(png, back, {}, nullptr, &message) && !message.empty(), "a damaged PNG fails");

  for (const char* name : {"basn6a16", "basn3p04", "basn0g02", "ftbyn3p08"}) {
    Bitmap plain, interlaced;
    const bool ok = codec::read_png(read_file(inputs + "/png/suite/" + name + ".png"), plain) &&
                    codec::read_png(read_file(inputs + "/png/suite/i" + name + ".png"), interlaced);
    check(ok && plain.width() == 32 && same(plain, interlaced), name);
  }

  Bytes jpeg;
  check(codec::write_jpeg(src, codec::JpegOptions{}, jpeg), "JPEG save");
  Bitmap reduced;
  int denominator = 0;
  check(codec::read_jpeg_min(jpeg, 17, 6, reduced, nullptr, &denominator) && denominator == 4 &&
            reduced.width() == 17 && reduced.height() == 11,
        "JPEG decode at 1/4");
  check(codec::jpeg_orientation(jpeg) == 1, "no orientation tag is upright");
  const uint8_t app1[] = {'E', 'x', 'i',  'f',  0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0,
                          1,   0,   0x12, 0x01, 3, 0, 1,   0,   0,  0, 6, 0, 0, 0};
  check(codec::exif_orientation(app1) == 6, "orientation tag");
  check(raster::upright(src, 6).width() == 41, "turned upright");

  Bitmap flat(9, 9, Bitmap::Fill::None), small(4, 3);
  for (int32_t y = 0; y < 9; ++y)
    for (int32_t x = 0; x < 9; ++x) flat.set_pixel(x, y, Bgr{12, 34, 56});
  raster::resample_area(small, raster::Rect{0, 0, 4, 3}, flat);
  check(small.pixel(3, 2) == (Bgr{12, 34, 56}) && small.pixel(0, 0) == (Bgr{12, 34, 56}), "area average");

  return wintest::report();
}
