// What the fuzz targets of the upload formats share: a format's loader on arbitrary
// bytes, whole and reduced, and its header probe. The library's errors must come back as
// a failed load, never as a crash, a leak or a read past the bytes; a reduced load that
// succeeds is the whole picture's size reduced by a whole factor.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/codec/format.h"
#include "image/codec/load.h"
#include "image/codec/source.h"
#include "image/raster/reduce.h"

namespace kelv::fuzz {

// Pictures are capped well below the product's limit, so that a few bytes declaring a
// huge picture cost the fuzzer no gigabytes.
constexpr uint64_t kMaxPixels = uint64_t{1} << 22;

using Load = bool (*)(std::span<const uint8_t> bytes, const codec::LoadRequest& r, raster::Bitmap& out);
using Probe = bool (*)(codec::ByteSource& source, int32_t& width, int32_t& height);

inline int reduced_load(const uint8_t* data, size_t size, Load load, Probe probe) {
  const std::span<const uint8_t> bytes(data, size);
  codec::sniff_format(bytes);
  codec::SpanSource source(bytes);
  int32_t w = 0, h = 0;
  probe(source, w, h);

  codec::LoadRequest r;
  r.background = raster::Bgr{1, 2, 3};
  r.max_pixels = kMaxPixels;
  raster::Bitmap whole;
  const bool loaded = load(bytes, r, whole);
  r.reduce = true;
  r.min_width = 16;
  r.min_height = 16;
  raster::Bitmap reduced;
  if (load(bytes, r, reduced) && loaded) {
    const int32_t f = raster::reduction_factor(whole.width(), whole.height(), 16, 16);
    if (reduced.width() != raster::reduced_size(whole.width(), f) ||
        reduced.height() != raster::reduced_size(whole.height(), f))
      __builtin_trap();
  }
  return 0;
}

}  // namespace kelv::fuzz
