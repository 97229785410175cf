// JPEG through libjpeg. Every call into the library lives in Jpeg.cpp; the library never
// exits the process and never unwinds through C++ objects.
#pragma once

#include <span>
#include <string>

#include "common/values.h"
#include "image/raster/Bitmap.h"

namespace kelv::codec {

struct JpegOptions {
  int quality = 78;   // 1..100, with baseline-compatible tables
  bool progressive = false;  // the standard simple progression
  bool smoothing = true;     // kept for decoding; does not change the encoded data
};

// Decodes with float IDCT, block smoothing, full scale and colour output; greyscale,
// CMYK and YCCK files come out as colour. Warnings do not fail a decode the library
// completes. False (with the library's message) on an error.
bool read_jpeg(std::span<const uint8_t> data, raster::Bitmap& out, std::string* message = nullptr);
// Encodes a whole file into memory; false on an error.
bool write_jpeg(const raster::Bitmap& bmp, const JpegOptions& options, Bytes& out,
                std::string* message = nullptr);

}  // namespace kelv::codec
