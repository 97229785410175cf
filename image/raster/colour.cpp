#include "image/raster/colour.h"

#include <array>

namespace kelv::raster {
namespace {

// The Windows default system colours, indexed by system-colour number (0x00BBGGRR).
constexpr std::array<uint32_t, 31> kSystemColours{{
    0xC8D0D4, 0xA56E3A, 0x6A240A, 0x808080, 0xC8D0D4, 0xFFFFFF, 0x000000, 0x000000, 0x000000, 0xFFFFFF, 0xC8D0D4,
    0xC8D0D4, 0x808080, 0x6A240A, 0xFFFFFF, 0xC8D0D4, 0x808080, 0x808080, 0x000000, 0x000000, 0xFFFFFF, 0x404040,
    0xC8D0D4, 0x000000, 0xE1FFFF, 0xB5B5B5, 0x800000, 0xF0CAA6, 0xC0C0C0, 0xD77800, 0xC8D0D4,
}};

}  // namespace

Bgr resolve(int32_t colour) {
  auto c = static_cast<uint32_t>(colour);
  if (c & 0x80000000u) {
    uint32_t index = c & 0xFF;
    c = index < kSystemColours.size() ? kSystemColours[index] : 0;
  }
  return Bgr{static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c)};
}

void mix_row_over(const uint8_t* bgra, uint8_t* bgr, int32_t width, Bgr background) {
  for (int32_t x = 0; x < width; ++x, bgra += 4, bgr += 3) {
    const unsigned a = bgra[3];
    if (a == 255) {
      bgr[0] = bgra[0], bgr[1] = bgra[1], bgr[2] = bgra[2];
    } else {
      bgr[0] = mix_over(bgra[0], a, background.b);
      bgr[1] = mix_over(bgra[1], a, background.g);
      bgr[2] = mix_over(bgra[2], a, background.r);
    }
  }
}

}  // namespace kelv::raster
