// Colour values as scripts see them: 0x00BBGGRR, or a system colour (bit 31 set, the
// index in the low byte).
#pragma once

#include <cstdint>

namespace kelv::raster {

struct Bgr {
  uint8_t b = 0, g = 0, r = 0;
  bool operator==(const Bgr&) const = default;
};

// A plain colour, with system colours resolved through the standard Windows palette.
Bgr resolve(int32_t colour);

inline int32_t to_colour(Bgr p) { return p.r | (p.g << 8) | (p.b << 16); }

inline constexpr int32_t kWindowText = static_cast<int32_t>(0x80000008u);

}  // namespace kelv::raster
