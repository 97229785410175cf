// The BMP reader on arbitrary bytes: it must refuse or decode within bounds, and a
// decoded image must survive being written and read again.
#include <cstddef>
#include <cstdint>

#include "image/codec/bmp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Run-length files may declare up to the 1 GiB limit from a few bytes; the unit tests
  // cover those sizes, here they would only slow the search down.
  if (size >= 26) {
    auto le32 = [&](size_t at) {
      return static_cast<int64_t>(
          static_cast<int32_t>(data[at] | (data[at + 1] << 8) | (data[at + 2] << 16) | (uint32_t{data[at + 3]} << 24)));
    };
    int64_t w = le32(18), h = le32(22);
    if (w * (h < 0 ? -h : h) > (int64_t{1} << 18)) return 0;
  }
  kelv::raster::Bitmap b;
  if (kelv::codec::read_bmp({data, size}, b)) {
    kelv::Bytes again = kelv::codec::write_bmp(b);
    kelv::raster::Bitmap c;
    if (!kelv::codec::read_bmp(again, c) || c.width() != b.width() || c.height() != b.height()) __builtin_trap();
  }
  return 0;
}
