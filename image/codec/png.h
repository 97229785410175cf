// PNG through libpng. Every call into the library lives in png.cpp; the library never
// exits the process and never unwinds through C++ objects.
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

// Whether the bytes begin with the PNG signature (8 bytes).
bool is_png(std::span<const uint8_t> head);

// Width and height from the start of a file, the signature and the header chunk with its
// checksum: reading the first kPngProbeBytes bytes is enough. False when they are not a
// PNG header.
constexpr size_t kPngProbeBytes = 33;
bool probe_png(std::span<const uint8_t> head, int32_t& width, int32_t& height);

// What a load does with transparency (an alpha channel, or a transparent colour or
// palette entries).
enum class PngAlpha : uint8_t {
  // Every pixel is mixed over the background by its opacity.
  Composite,
  // Where every pixel is either fully opaque or fully transparent, the transparent ones
  // take one colour that no opaque pixel has (the background when it is free) and the
  // bitmap is made transparent with that fixed colour, so drawing it shows exactly the
  // file's opaque pixels. Any partly transparent pixel makes it Composite.
  KeepExact,
};

struct PngReadOptions {
  raster::Bgr background{};
  PngAlpha alpha = PngAlpha::Composite;
};

// What a load found, for the caller to report.
struct PngReadInfo {
  bool has_alpha = false;  // the file carries transparency of some kind
  bool keyed = false;      // transparent pixels were kept as `key` (KeepExact)
  raster::Bgr key{};
};

// Decodes any PNG (grey, palette, colour, with or without alpha, 1 to 16 bits, interlaced
// or not) into 24-bit pixels; 16-bit samples are rounded to 8 bits, and no gamma or
// colour-profile correction is made. False (with a message) on a damaged or truncated
// file (a bad checksum of a critical chunk, missing data) and, before any pixel memory
// is taken, on a size the bitmap can't hold or the file's data can't fill.
bool read_png(std::span<const uint8_t> data, raster::Bitmap& out, const PngReadOptions& options = {},
              PngReadInfo* info = nullptr, std::string* message = nullptr);

// A load from a source read front to back, transparency mixed over request.background
// (as PngAlpha::Composite). A file that is not interlaced is decoded row by row straight
// into the result, or for a reduced load into its reduction, so the whole picture is
// never held; an interlaced one is decoded whole and then reduced. Fails before any pixel
// memory is taken when the result would pass request.max_pixels. `icc` receives the
// file's colour profile: its iCCP chunk, none for an sRGB chunk, else one built from its
// gAMA and cHRM chunks.
bool read_png(ByteSource& source, const LoadRequest& request, raster::Bitmap& out, std::string* message = nullptr,
              IccBytes* icc = nullptr);

constexpr int kPngDefaultLevel = 6;

struct PngWriteOptions {
  int level = kPngDefaultLevel;  // zlib's 0 (stored) to 9 (smallest); others are clamped
  // Whether a transparent bitmap's colour is written as the file's transparent colour.
  bool transparency = false;
  std::span<const uint8_t> icc_profile;  // written as an iCCP chunk; empty: none
};

// Encodes the bitmap as an 8-bit colour PNG into memory; false on an error.
bool write_png(const raster::Bitmap& bmp, const PngWriteOptions& options, Bytes& out, std::string* message = nullptr);

}  // namespace kelv::codec
