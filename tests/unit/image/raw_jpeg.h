// JPEG files written straight with libjpeg, in forms our own encoder never writes
// (grey, CMYK, arithmetic coding), as inputs for the loader and the header probe.
#pragma once

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

extern "C" {
#include <jpeglib.h>
}

namespace kelv::test {

// Row y is `row_at(y)` (width * components bytes); `setup` may change the compressor
// after its defaults are set, `started` write markers once it has started.
inline std::string raw_jpeg_rows(int width, int height, int components, J_COLOR_SPACE space,
                                 const std::function<const uint8_t*(int)>& row_at,
                                 const std::function<void(jpeg_compress_struct&)>& setup = {},
                                 const std::function<void(jpeg_compress_struct&)>& started = {}) {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* buf = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buf, &size);
  c.image_width = static_cast<JDIMENSION>(width);
  c.image_height = static_cast<JDIMENSION>(height);
  c.input_components = components;
  c.in_color_space = space;
  jpeg_set_defaults(&c);
  if (setup) setup(c);
  jpeg_start_compress(&c, TRUE);
  if (started) started(c);
  for (int y = 0; y < height; ++y) {
    JSAMPROW r = const_cast<uint8_t*>(row_at(y));
    jpeg_write_scanlines(&c, &r, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::string out(reinterpret_cast<char*>(buf), size);
  std::free(buf);
  return out;
}

// Every row is `row`.
inline std::string raw_jpeg(int width, int height, int components, J_COLOR_SPACE space, const std::vector<uint8_t>& row,
                            const std::function<void(jpeg_compress_struct&)>& setup = {}) {
  return raw_jpeg_rows(
      width, height, components, space, [&](int) { return row.data(); }, setup);
}

}  // namespace kelv::test
