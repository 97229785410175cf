// ConvertToSRGB of a 12-megapixel Display P3 photo against a bare lcms2 transform of the
// same pixels in the same process: both make the transform (relative colorimetric, black
// point compensation) and run it over the rows. Prints one row (bench/timing.h).
//
//   colour_bench PHOTO.jpg WORKDIR
#include <lcms2.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/timing.h"
#include "image/codec/colour.h"
#include "image/codec/png.h"
#include "image/image.h"
#include "platform/platform.h"

using namespace kelv;

namespace {

struct Handle : ImageSource {
  int32_t handle = 0;
  bool get_bmp(int32_t& h) override {
    h = handle;
    return true;
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: colour_bench PHOTO.jpg WORKDIR\n");
    return 2;
  }
  // The photo cut to 4000 x 3000 and saved with a Display P3 profile.
  TImageImpl photo;
  if (photo.LoadFromJpg(argv[1]) != 1 || photo.ChangeSize(4000, 3000) != 1) return 1;
  const codec::IccBytes p3 = codec::icc_from_nclx(12, 13);
  codec::PngWriteOptions o;
  o.level = 1;
  o.icc_profile = p3;
  Bytes png;
  const std::string tagged = std::string(argv[2]) + "/p3-12mp.png";
  if (!codec::write_png(*photo.bitmap(), o, png, nullptr) ||
      !platform::write_file_replacing(tagged, png.data(), png.size()))
    return 1;
  TImageImpl source;
  if (source.LoadFromFile(tagged) != 1) return 1;
  Handle src;
  src.handle = source.GetBmp();

  const raster::Bitmap& pixels = *source.bitmap();
  const size_t bytes = pixels.stride() * static_cast<size_t>(pixels.height());
  std::vector<uint8_t> copy(bytes);
  double ours = 1e30, peer = 1e30;
  for (int run = 0; run < 7; ++run) {
    // A fresh tagged copy for each conversion, made outside the timing.
    TImageImpl img;
    if (img.AssignPicture(&src) != 1) return 1;
    ours = std::min(ours, bench::best_of(1, [&] {
                      if (img.ConvertToSRGB() != 1) std::abort();
                    }));
    std::memcpy(copy.data(), pixels.row(0), bytes);
    peer = std::min(peer, bench::best_of(1, [&] {
                      cmsHPROFILE in = cmsOpenProfileFromMem(p3.data(), static_cast<cmsUInt32Number>(p3.size()));
                      cmsHPROFILE out = cmsCreate_sRGBProfile();
                      cmsHTRANSFORM t = cmsCreateTransform(in, TYPE_BGR_8, out, TYPE_BGR_8,
                                                           INTENT_RELATIVE_COLORIMETRIC,
                                                           cmsFLAGS_BLACKPOINTCOMPENSATION);
                      const auto stride = static_cast<cmsUInt32Number>(pixels.stride());
                      cmsDoTransformLineStride(t, copy.data(), copy.data(), static_cast<cmsUInt32Number>(pixels.width()),
                                               static_cast<cmsUInt32Number>(pixels.height()), stride, stride, 0, 0);
                      cmsDeleteTransform(t);
                      cmsCloseProfile(in);
                      cmsCloseProfile(out);
                    }));
  }
  bench::row("ConvertToSRGB 12 MP", ours, peer, "lcms2", 1.1);
  std::remove(tagged.c_str());
  return 0;
}
