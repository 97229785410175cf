// WebP through libwebp (and its demuxer, for animations). Every call into the library
// lives in webp.cpp; libwebp reports errors by its return values.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "common/values.h"
#include "image/codec/colour.h"
#include "image/codec/load.h"
#include "image/codec/source.h"
#include "image/raster/bitmap.h"

namespace kelv::codec {

// Whether the bytes begin with a RIFF header of form "WEBP" (12 bytes).
bool is_webp(std::span<const uint8_t> head);

// The size of the picture a load gives: the image's, or an animation's first frame's.
// Only the chunk headers up to it are read.
bool probe_webp(ByteSource& source, int32_t& width, int32_t& height);

// Decodes a lossy or lossless file, or the first frame of an animation (its own
// rectangle), into 24-bit pixels, alpha mixed over `request.background`. A reduced load
// uses the library's scaled decoding. False (with a message) on a damaged or truncated
// file. `icc` receives the file's ICCP chunk (empty without one).
bool read_webp(std::span<const uint8_t> data, const LoadRequest& request, raster::Bitmap& out,
               std::string* message = nullptr, IccBytes* icc = nullptr);

struct WebpOptions {
  int quality = 78;                      // 1..100, lossy
  bool lossless = false;                 // every pixel kept
  std::span<const uint8_t> icc_profile;  // written as an ICCP chunk of the extended format; empty: none
};

// Encodes the bitmap as a WebP file into memory; false for a picture the format can't
// hold (sides above 16383) or on an error.
bool write_webp(const raster::Bitmap& bmp, const WebpOptions& options, Bytes& out, std::string* message = nullptr);

}  // namespace kelv::codec
