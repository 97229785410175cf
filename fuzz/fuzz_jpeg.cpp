// The JPEG loader on arbitrary bytes, at full and at a reduced scale, and the reader of
// the orientation tag: libjpeg's errors must come back as a failed load, never as an
// exit, a crash or a leak, and the tag reader must stay inside the bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "image/codec/jpeg.h"
#include "image/codec/exif.h"

// libjpeg's working memory (a progressive file's coefficients) capped lower than in the
// product, so that a few bytes declaring a huge picture cost the fuzzer no gigabytes.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("JPEGMEM", "256M", 0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kelv::raster::Bitmap b;
  kelv::codec::read_jpeg({data, size}, b);
  kelv::raster::Bitmap reduced;
  kelv::codec::read_jpeg_min({data, size}, 16, 16, reduced);
  const int32_t o = kelv::codec::jpeg_orientation({data, size});
  if (o < 1 || o > 8) __builtin_trap();
  // The same bytes as one metadata segment's payload, as a header probe passes it.
  const int32_t p = kelv::codec::exif_orientation({data, size});
  if (p < 1 || p > 8) __builtin_trap();
  return 0;
}
