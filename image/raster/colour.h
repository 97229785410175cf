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

// One 8-bit sample of opacity `alpha` (0 to 255) over a background sample, rounded.
inline uint8_t mix_over(unsigned sample, unsigned alpha, unsigned background) {
  return static_cast<uint8_t>((sample * alpha + background * (255 - alpha) + 127) / 255);
}

// A row of blue, green, red, alpha mixed over `background` into blue, green, red.
void mix_row_over(const uint8_t* bgra, uint8_t* bgr, int32_t width, Bgr background);

inline constexpr int32_t kWindowText = static_cast<int32_t>(0x80000008u);

}  // namespace kelv::raster
