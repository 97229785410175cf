// Windows bitmap files. Reading takes what users meet: 1, 4 and 8-bit palettes, RLE8 and
// RLE4, 16 and 32-bit with and without bit fields, 24-bit, top-down rows, the 12-byte
// core header and the 40, 52, 56, 108 and 124-byte headers; everything becomes 24-bit.
// Writing gives a 24-bit file with the 40-byte header and no colour table.
#pragma once

#include <functional>
#include <span>
#include <string>

#include "common/values.h"
#include "image/raster/bitmap.h"
#include "image/codec/load.h"
#include "image/codec/source.h"

namespace kelv::codec {

// Whether the bytes begin with "BM".
bool is_bmp(std::span<const uint8_t> head);

// The size in a BMP file's first bytes, as a header probe reads it: after the file header
// an information header of 12 bytes (16-bit sizes) or 40 (32-bit sizes, a negative height
// kept); reading the first kBmpProbeBytes bytes is enough. False for any other layout or
// too few bytes.
inline constexpr size_t kBmpProbeBytes = 26;
bool probe_bmp(std::span<const uint8_t> head, int32_t& width, int32_t& height);

// False for a malformed or truncated file; never reads past the data. With a request, a
// picture whose load it would not admit (more pixels than request->max_pixels, counted
// after the reduction it asks for) is refused before any pixel memory is taken; the
// picture read is the whole one, for the caller to reduce.
bool read_bmp(ByteSource& source, raster::Bitmap& out, const LoadRequest* request = nullptr,
              std::string* message = nullptr);
bool read_bmp(std::span<const uint8_t> data, raster::Bitmap& out);
// Hands the file to `sink` header first, then row by row.
bool write_bmp(const raster::Bitmap& bmp, const std::function<bool(const uint8_t*, size_t)>& sink);
Bytes write_bmp(const raster::Bitmap& bmp);

}  // namespace kelv::codec
