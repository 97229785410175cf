// Windows bitmap files. Reading takes what users meet: 1, 4 and 8-bit palettes, RLE8 and
// RLE4, 16 and 32-bit with and without bit fields, 24-bit, top-down rows, the 12-byte
// core header and the 40, 52, 56, 108 and 124-byte headers; everything becomes 24-bit.
// Writing gives a 24-bit file with the 40-byte header and no colour table.
#pragma once

#include <functional>
#include <span>

#include "common/values.h"
#include "image/raster/Bitmap.h"

namespace kelv::codec {

// False for a malformed or truncated file; never reads past the data.
bool read_bmp(std::span<const uint8_t> data, raster::Bitmap& out);
// Hands the file to `sink` header first, then row by row.
bool write_bmp(const raster::Bitmap& bmp, const std::function<bool(const uint8_t*, size_t)>& sink);
Bytes write_bmp(const raster::Bitmap& bmp);

}  // namespace kelv::codec
