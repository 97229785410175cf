// The PNG loader, both ways of handling transparency, the header probe and the format
// sniffer on arbitrary bytes: libpng's errors must come back as a failed load, never as
// an exit, a crash, a leak or an allocation the bytes can't justify; a picture that
// loads must re-encode (with its transparent colour) and load again to the same pixels
// and the same transparent colour.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "image/codec/format.h"
#include "image/codec/png.h"

using namespace kelv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  int32_t w = 0, h = 0;
  codec::probe_png(bytes, w, h);
  codec::sniff_format(bytes);

  raster::Bitmap mixed;
  const bool loaded = codec::read_png(bytes, mixed, {raster::Bgr{1, 2, 3}, codec::PngAlpha::Composite});
  raster::Bitmap kept;
  codec::PngReadInfo info;
  if (codec::read_png(bytes, kept, {raster::Bgr{1, 2, 3}, codec::PngAlpha::KeepExact}, &info) != loaded)
    __builtin_trap();
  if (!loaded || mixed.width() * static_cast<int64_t>(mixed.height()) > (1 << 18)) return 0;

  Bytes again;
  if (!codec::write_png(kept, codec::PngWriteOptions{1, true, {}}, again)) __builtin_trap();
  raster::Bitmap back;
  codec::PngReadInfo back_info;
  if (!codec::read_png(again, back, {raster::Bgr{1, 2, 3}, codec::PngAlpha::KeepExact}, &back_info) ||
      back.width() != kept.width() || back.height() != kept.height() || back_info.keyed != info.keyed ||
      !(back_info.key == info.key))
    __builtin_trap();
  for (int32_t y = 0; y < back.height(); ++y)
    if (std::memcmp(back.row(y), kept.row(y), 3 * static_cast<size_t>(back.width())) != 0) __builtin_trap();
  return 0;
}
