// Builds BMP files byte by byte for the reader's tests: any header size, depth,
// compression, colour table and pixel data.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kelv::test {

struct BmpSpec {
  uint32_t header_size = 40;
  int32_t width = 0;
  int32_t height = 0;
  uint16_t bpp = 24;
  uint32_t compression = 0;
  uint32_t clr_used = 0;
  std::vector<uint32_t> masks;    // written after a 40-byte header, or inside a larger one
  std::vector<uint32_t> palette;  // 0x00RRGGBB entries
  std::vector<uint8_t> pixels;    // exactly as stored in the file
};

inline void put16(std::vector<uint8_t>& o, uint32_t v) {
  o.push_back(static_cast<uint8_t>(v));
  o.push_back(static_cast<uint8_t>(v >> 8));
}
inline void put32(std::vector<uint8_t>& o, uint32_t v) {
  put16(o, v & 0xFFFF);
  put16(o, v >> 16);
}

inline std::vector<uint8_t> build_bmp(const BmpSpec& s) {
  std::vector<uint8_t> h;
  put32(h, s.header_size);
  if (s.header_size == 12) {
    put16(h, static_cast<uint32_t>(s.width));
    put16(h, static_cast<uint32_t>(s.height));
    put16(h, 1);
    put16(h, s.bpp);
  } else {
    put32(h, static_cast<uint32_t>(s.width));
    put32(h, static_cast<uint32_t>(s.height));
    put16(h, 1);
    put16(h, s.bpp);
    put32(h, s.compression);
    put32(h, static_cast<uint32_t>(s.pixels.size()));
    put32(h, 2835);
    put32(h, 2835);
    put32(h, s.clr_used);
    put32(h, 0);
    if (s.header_size > 40)
      for (size_t i = 0; i < 4; ++i) put32(h, i < s.masks.size() ? s.masks[i] : 0);
    while (h.size() < s.header_size) h.push_back(0);
    if (s.header_size == 40)
      for (uint32_t m : s.masks) put32(h, m);
  }
  for (uint32_t c : s.palette) {
    h.push_back(static_cast<uint8_t>(c));
    h.push_back(static_cast<uint8_t>(c >> 8));
    h.push_back(static_cast<uint8_t>(c >> 16));
    if (s.header_size != 12) h.push_back(0);
  }
  std::vector<uint8_t> f{'B', 'M'};
  uint32_t offset = 14 + static_cast<uint32_t>(h.size());
  put32(f, offset + static_cast<uint32_t>(s.pixels.size()));
  put32(f, 0);
  put32(f, offset);
  f.insert(f.end(), h.begin(), h.end());
  f.insert(f.end(), s.pixels.begin(), s.pixels.end());
  return f;
}

}  // namespace kelv::test
