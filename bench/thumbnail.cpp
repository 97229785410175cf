// A thumbnail as a script would make one, as a small program over the core, so that it
// can be timed as a whole process against other programs: the JPEG decoded at the
// smallest DCT scale that still gives the thumbnail's size (any other format by
// LoadFromFileMin's reduced load), area-averaged into the framed thumbnail, saved as a
// JPEG of quality 78.
//
//   thumbnail IN.jpg OUT.jpg W H          the pipeline
//   thumbnail --full IN.jpg OUT.jpg W H   the same from a full-scale decode
//   thumbnail --psnr IN.jpg W H           PSNR of the pipeline against the full-scale one
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "image/codec/format.h"
#include "image/codec/jpeg.h"
#include "image/image.h"
#include "image/thumb_frame.h"
#include "platform/platform.h"

using namespace kelv;

namespace {

constexpr size_t kMaxFile = size_t{1} << 30;

std::unique_ptr<raster::Bitmap> thumbnail(const char* name, const std::vector<uint8_t>& file, int32_t w, int32_t h,
                                          bool full) {
  if (codec::sniff_format(file) != codec::ImageFormat::Jpeg) {
    TImageImpl img;
    if ((full ? img.LoadFromFile(name) : img.LoadFromFileMin(name, w, h)) != 1) return nullptr;
    return make_thumbnail(*img.bitmap(), ThumbFrame{w, h, 0, {}}, raster::Resample::Area);
  }
  raster::Bitmap photo;
  const bool ok = full ? codec::read_jpeg(file, photo) : codec::read_jpeg_min(file, w, h, photo);
  if (!ok) return nullptr;
  return make_thumbnail(photo, ThumbFrame{w, h, 0, {}}, raster::Resample::Area);
}

double psnr(const raster::Bitmap& a, const raster::Bitmap& b) {
  double sum = 0;
  for (int32_t y = 0; y < a.height(); ++y)
    for (int32_t k = 0; k < 3 * a.width(); ++k) sum += std::pow(a.row(y)[k] - b.row(y)[k], 2);
  return 10 * std::log10(255.0 * 255.0 * 3 * a.width() * a.height() / sum);
}

}  // namespace

int main(int argc, char** argv) {
  const bool full = argc > 1 && std::strcmp(argv[1], "--full") == 0;
  const bool compare = argc > 1 && std::strcmp(argv[1], "--psnr") == 0;
  const int first = full || compare ? 2 : 1;
  if (argc != first + (compare ? 3 : 4)) {
    std::fprintf(stderr, "usage: thumbnail [--full] IN.jpg OUT.jpg W H | thumbnail --psnr IN.jpg W H\n");
    return 2;
  }
  std::vector<uint8_t> file;
  if (!platform::read_whole_file(argv[first], file, kMaxFile)) return 1;
  const int32_t w = std::atoi(argv[argc - 2]), h = std::atoi(argv[argc - 1]);
  if (compare) {
    const auto ours = thumbnail(argv[first], file, w, h, false), reference = thumbnail(argv[first], file, w, h, true);
    if (!ours || !reference) return 1;
    std::printf("%.2f\n", psnr(*ours, *reference));
    return 0;
  }
  const auto thumb = thumbnail(argv[first], file, w, h, full);
  Bytes jpeg;
  if (!thumb || !codec::write_jpeg(*thumb, codec::JpegOptions{}, jpeg)) return 1;
  std::FILE* out = std::fopen(argv[first + 1], "wb");
  if (!out || std::fwrite(jpeg.data(), 1, jpeg.size(), out) != jpeg.size() || std::fclose(out) != 0) return 1;
  return 0;
}
