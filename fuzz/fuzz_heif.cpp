// The HEIF reader (HEIC and AVIF through libheif) and its probe on arbitrary bytes
// (fuzz/reduced_load.h).
#include "fuzz/reduced_load.h"
#include "image/codec/heif.h"

using namespace kelv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzz::reduced_load(
      data, size,
      [](std::span<const uint8_t> bytes, const codec::LoadRequest& r, raster::Bitmap& out) {
        codec::SpanSource source(bytes);
        return codec::read_heif(source, r, out);
      },
      [](codec::ByteSource& source, int32_t& w, int32_t& h) { return codec::probe_heif(source, w, h); });
}
