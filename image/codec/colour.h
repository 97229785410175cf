// Colour profiles through Little CMS (lcms2). Every call into the library lives in
// colour.cpp. A profile travels as its ICC bytes; an empty profile means sRGB, and a
// profile that describes sRGB counts as none. The library reports its errors to a
// handler of its own context and never ends the process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "image/raster/bitmap.h"

namespace kelv::codec {

using IccBytes = std::vector<uint8_t>;

// The profile an image keeps for ICC bytes found in a file: empty for sRGB and for bytes
// that are no usable RGB profile (damaged, or for grey, CMYK or Lab pixels, which the
// image does not hold), else the bytes unchanged.
IccBytes kept_profile(std::span<const uint8_t> icc);

// Whether the bytes are an RGB profile whose primaries, white and tone curves are sRGB's.
bool is_srgb(std::span<const uint8_t> icc);

// The profile's own description ("Display P3", "Adobe RGB (1998)"); "" for none.
std::string profile_description(std::span<const uint8_t> icc);

// Converts the bitmap's pixels in place from the space of `from` into the space of `to`
// (empty: sRGB), relative colorimetric with black point compensation. True also when the
// two are one space; false, with the pixels unchanged, when a profile can't be used.
bool convert_pixels(raster::Bitmap& bmp, std::span<const uint8_t> from, std::span<const uint8_t> to = {});

// Colours given as sRGB turned into the numbers of one profile's space (relative
// colorimetric with black point compensation): a script's pen, brush and font colours on
// an image that keeps a profile. One transform serves a profile, and each colour is
// worked out once, so drawing stays cheap.
class ColoursFromSrgb {
 public:
  ColoursFromSrgb();
  ~ColoursFromSrgb();
  ColoursFromSrgb(const ColoursFromSrgb&) = delete;
  ColoursFromSrgb& operator=(const ColoursFromSrgb&) = delete;

  // The sRGB colour `srgb` in the space of `icc`; unchanged for an empty profile or one
  // that can't be used.
  raster::Bgr in(std::span<const uint8_t> icc, raster::Bgr srgb);

 private:
  // The profile the transform and the colours worked out so far belong to.
  void use(std::span<const uint8_t> icc);
  IccBytes m_profile;
  void* m_transform = nullptr;  // null: the profile can't be used
  std::unordered_map<int32_t, raster::Bgr> m_done;
};

// The pixel layouts a row conversion reads.
enum class PixelLayout : uint8_t {
  Bgr,           // blue, green, red bytes
  Cmyk,          // cyan, magenta, yellow, black bytes, 255 full ink
  CmykInverted,  // the same with every byte inverted, as Adobe writes CMYK JPEG files
};

// A conversion of rows of `layout` pixels described by a profile into sRGB blue, green,
// red bytes, made once and applied row by row.
class RowConverter {
 public:
  // Null when the profile can't be used for the layout (a CMYK layout needs a CMYK
  // profile).
  static std::unique_ptr<RowConverter> to_srgb(std::span<const uint8_t> icc, PixelLayout layout);
  ~RowConverter();
  RowConverter(const RowConverter&) = delete;
  RowConverter& operator=(const RowConverter&) = delete;

  // Converts `pixels` pixels from `in` into `out` (3 bytes each); `in` may be `out` for
  // a BGR layout.
  void apply(const uint8_t* in, uint8_t* out, size_t pixels) const;

 private:
  explicit RowConverter(void* transform) : m_transform(transform) {}
  void* m_transform;
};

// The profile that a PNG file's gAMA and cHRM chunks describe: gamma as stored (the
// file gamma times 100000), and the white point and red, green, blue primaries as x, y
// pairs (in that order), or null for sRGB's. Empty when they describe sRGB within what
// writers round to (a gamma of 1/2.2 with sRGB's primaries), or are unusable.
IccBytes icc_from_png(uint32_t gamma, const double* chromaticities);

// The profile for an nclx colour description of H.273 code points: colour primaries and
// transfer characteristics. Empty for sRGB (BT.709 primaries with the sRGB or BT.709
// transfer, or unspecified) and for what no ICC profile can describe (PQ, HLG, unknown
// code points).
IccBytes icc_from_nclx(uint16_t primaries, uint16_t transfer);

}  // namespace kelv::codec
