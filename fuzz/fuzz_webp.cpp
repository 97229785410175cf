// The WebP loader (with the demuxer for animations) and its probe on arbitrary bytes (fuzz/reduced_load.h).
#include "fuzz/reduced_load.h"
#include "image/codec/webp.h"

using namespace kelv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzz::reduced_load(
      data, size,
      [](std::span<const uint8_t> bytes, const codec::LoadRequest& r, raster::Bitmap& out) {
        codec::SpanSource source(bytes);
        return codec::read_webp(bytes, r, out);
      },
      codec::probe_webp);
}
