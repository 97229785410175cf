// JPEG through libjpeg. Every call into the library lives in jpeg.cpp; the library never
// exits the process and never unwinds through C++ objects.
#pragma once

#include <span>
#include <string>

#include "common/values.h"
#include "image/codec/colour.h"
#include "image/codec/load.h"
#include "image/codec/source.h"
#include "image/raster/bitmap.h"

namespace kelv::codec {

// The quality range of a save, and the quality a new Image saves at.
inline constexpr int kMinJpegQuality = 1;
inline constexpr int kMaxJpegQuality = 100;
inline constexpr int kDefaultJpegQuality = 78;

struct JpegOptions {
  int quality = kDefaultJpegQuality;     // with baseline-compatible tables
  bool progressive = false;              // the standard simple progression
  bool smoothing = true;                 // kept for decoding; does not change the encoded data
  std::span<const uint8_t> icc_profile;  // written as APP2 segments; empty: none
};

// Decodes with float IDCT, block smoothing, full scale and colour output; greyscale,
// CMYK and YCCK files come out as colour. Warnings do not fail a decode the library
// completes. False (with the library's message) on an error.
bool read_jpeg(std::span<const uint8_t> data, raster::Bitmap& out, std::string* message = nullptr);

// Decodes at the smallest of the scales 1/8, 1/4, 1/2 and 1 that still gives at least
// `min_width` by `min_height` pixels (in the stored orientation; a bound of 0 or less
// asks for nothing in its direction), so that a thumbnail never decodes pixels it would
// throw away. At full scale the result is exactly read_jpeg's. `denominator`, when
// given, receives the scale chosen (8 for 1/8 ... 1).
bool read_jpeg_min(std::span<const uint8_t> data, int32_t min_width, int32_t min_height, raster::Bitmap& out,
                   std::string* message = nullptr, int* denominator = nullptr);
// How a load from a source reduces the picture: not at all; by the smallest DCT scale
// that keeps the least size (as read_jpeg_min); or by that scale and then by the largest
// whole factor of the scaled rows that still keeps it. The scale comes first, since it
// spares the decoding; so the result can be a little larger than the smallest whole
// reduction of the stored size (16000 wide for 160: 1/8, then 12, gives 167).
enum class JpegReduce : uint8_t { None, Dct, Whole };

// Decodes from a source read front to back (the file is never held whole), with the
// options of read_jpeg. The least size of `request` is the upright picture's: where the
// file's orientation tag swaps the sides, so are the bounds. `orientation` receives the
// tag (1 when there is none). Fails before any pixel memory is taken when the result
// would pass request.max_pixels. `icc` receives the file's colour profile, joined from
// its APP2 segments in their numbered order; a CMYK or YCCK file's profile converts its
// pixels to sRGB instead, and none is given.
bool read_jpeg(ByteSource& source, const LoadRequest& request, JpegReduce reduce, raster::Bitmap& out,
               int32_t* orientation = nullptr, std::string* message = nullptr, IccBytes* icc = nullptr);

// Encodes a whole file into memory; false on an error.
bool write_jpeg(const raster::Bitmap& bmp, const JpegOptions& options, Bytes& out, std::string* message = nullptr);

}  // namespace kelv::codec
