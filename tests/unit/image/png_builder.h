// PNG files of every colour type, bit depth and interlacing, written straight with libpng
// from a function that gives each sample, as inputs for the loader.
#pragma once

#include <png.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <vector>

namespace kelv::test {

struct PngLayout {
  uint32_t width = 8;
  uint32_t height = 8;
  int bit_depth = 8;
  int colour_type = PNG_COLOR_TYPE_RGB;
  bool interlaced = false;
  std::vector<png_color> palette;      // palette images
  std::vector<uint8_t> palette_alpha;  // their tRNS entries, if any
  std::optional<png_color_16> key;     // grey or colour images: the transparent colour
  int level = 6;
};

// `sample(x, y, channel)` in the file's own range (0 .. 2^depth - 1; a palette index for
// palette images); channels in file order (grey, alpha / red, green, blue, alpha).
inline std::vector<uint8_t> make_png(const PngLayout& layout,
                                     const std::function<uint32_t(uint32_t, uint32_t, int)>& sample) {
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep data, size_t n) {
        auto* v = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
        v->insert(v->end(), data, data + n);
      },
      nullptr);
  png_set_user_limits(png, 0x7FFFFFFF, 0x7FFFFFFF);  // the writer checks libpng's limits too
  png_set_IHDR(png, info, layout.width, layout.height, layout.bit_depth, layout.colour_type,
               layout.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, layout.level);
  if (!layout.palette.empty()) png_set_PLTE(png, info, layout.palette.data(), static_cast<int>(layout.palette.size()));
  if (!layout.palette_alpha.empty())
    png_set_tRNS(png, info, layout.palette_alpha.data(), static_cast<int>(layout.palette_alpha.size()), nullptr);
  if (layout.key) {
    png_color_16 key = *layout.key;
    png_set_tRNS(png, info, nullptr, 0, &key);
  }
  png_write_info(png, info);
  // Samples below 8 bits are given one a byte and packed by libpng.
  if (layout.bit_depth < 8) png_set_packing(png);
  const int channels = png_get_channels(png, info);
  const size_t bytes = layout.bit_depth == 16 ? 2 : 1;
  std::vector<std::vector<uint8_t>> rows(layout.height, std::vector<uint8_t>(layout.width * channels * bytes));
  for (uint32_t y = 0; y < layout.height; ++y)
    for (uint32_t x = 0; x < layout.width; ++x)
      for (int c = 0; c < channels; ++c) {
        const uint32_t v = sample(x, y, c);
        uint8_t* p = rows[y].data() + (x * channels + c) * bytes;
        if (bytes == 2)
          p[0] = static_cast<uint8_t>(v >> 8), p[1] = static_cast<uint8_t>(v);
        else
          p[0] = static_cast<uint8_t>(v);
      }
  std::vector<png_bytep> pointers;
  for (auto& r : rows) pointers.push_back(r.data());
  png_write_image(png, pointers.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

// The byte offset of the first chunk of a type, or 0.
inline size_t find_chunk(const std::vector<uint8_t>& file, const char* type) {
  for (size_t at = 8; at + 8 <= file.size();) {
    const size_t length =
        size_t{file[at]} << 24 | size_t{file[at + 1]} << 16 | size_t{file[at + 2]} << 8 | file[at + 3];
    if (std::memcmp(file.data() + at + 4, type, 4) == 0) return at;
    at += 12 + length;
  }
  return 0;
}

}  // namespace kelv::test
