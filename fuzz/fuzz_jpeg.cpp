// The JPEG loader on arbitrary bytes: libjpeg's errors must come back as a failed
// load, never as an exit, a crash or a leak.
#include <cstddef>
#include <cstdint>

#include "image/codec/Jpeg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kelv::raster::Bitmap b;
  kelv::codec::read_jpeg({data, size}, b);
  return 0;
}
