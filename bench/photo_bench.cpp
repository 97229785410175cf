// Photo benchmarks in one program: area averaging against nearest-neighbour sampling and
// against one copy of the source pixels (reading them is the floor), the reduced JPEG
// decode against the full one, and PNG load and save against a bare libpng program doing
// the same work (the same transformations into a new buffer; for alpha, libpng's own
// compositing over the same background).
//
//   photo_bench PHOTO.jpg WORKDIR
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/timing.h"
#include "image/codec/jpeg.h"
#include "image/codec/png.h"
#include "image/raster/blit.h"
#include "image/raster/resample.h"
#include "platform/platform.h"
#include "tests/unit/image/png_builder.h"

using namespace kelv;
using bench::best_of;
using bench::best_pair;
using bench::row;

namespace {

constexpr int kRuns = 7;
constexpr int kLevel = codec::kPngDefaultLevel;
volatile uint8_t g_sink;

struct Memory {
  const std::vector<uint8_t>* data;
  size_t at;
};

// A plain libpng decode to 8-bit blue, green, red, composited over black when the file
// has alpha, into freshly allocated rows.
void bare_png_read(const std::vector<uint8_t>& file) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) std::abort();
  Memory m{&file, 0};
  png_set_read_fn(png, &m, [](png_structp p, png_bytep out, size_t n) {
    auto* mem = static_cast<Memory*>(png_get_io_ptr(p));
    std::memcpy(out, mem->data->data() + mem->at, n);
    mem->at += n;
  });
  png_read_info(png, info);
  png_set_expand(png);
  png_set_scale_16(png);
  png_set_gray_to_rgb(png);
  if (png_get_color_type(png, info) & PNG_COLOR_MASK_ALPHA) {
    png_color_16 black{};
    png_set_background(png, &black, PNG_BACKGROUND_GAMMA_SCREEN, 0, 1.0);
  }
  png_set_bgr(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  const png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
  const size_t stride = (static_cast<size_t>(w) * 3 + 3) & ~size_t{3};
  std::unique_ptr<uint8_t[]> pixels(new uint8_t[stride * h]);
  std::vector<png_bytep> rows(h);
  for (png_uint_32 y = 0; y < h; ++y) rows[y] = pixels.get() + stride * y;
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  g_sink = pixels[stride * h / 2];
}

struct Growing {
  unsigned char* data = nullptr;
  size_t size = 0, capacity = 0;
};

// A plain libpng encode of 8-bit colour rows at a level, into memory.
size_t bare_png_write(const raster::Bitmap& bmp, int level) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) std::abort();
  Growing g;
  png_set_write_fn(
      png, &g,
      [](png_structp p, png_bytep in, size_t n) {
        auto* out = static_cast<Growing*>(png_get_io_ptr(p));
        if (out->size + n > out->capacity) {
          out->capacity = std::max(out->capacity * 2, out->size + n);
          out->data = static_cast<unsigned char*>(std::realloc(out->data, out->capacity));
        }
        std::memcpy(out->data + out->size, in, n);
        out->size += n;
      },
      nullptr);
  png_set_IHDR(png, info, static_cast<png_uint_32>(bmp.width()), static_cast<png_uint_32>(bmp.height()), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, level);
  png_write_info(png, info);
  png_set_bgr(png);
  for (int32_t y = 0; y < bmp.height(); ++y) png_write_row(png, const_cast<uint8_t*>(bmp.row(y)));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  const size_t size = g.size;
  std::vector<uint8_t> copy(g.data, g.data + size);  // the copy into a buffer ours makes too
  std::free(g.data);
  g_sink = copy[size / 2];
  return size;
}

// The photo with an alpha band: opaque, then a ramp down to transparent along the right
// quarter.
std::vector<uint8_t> alpha_png(const raster::Bitmap& bmp) {
  test::PngLayout layout;
  layout.width = static_cast<uint32_t>(bmp.width()), layout.height = static_cast<uint32_t>(bmp.height());
  layout.colour_type = PNG_COLOR_TYPE_RGB_ALPHA, layout.level = kLevel;
  return test::make_png(layout, [&](uint32_t x, uint32_t y, int c) -> uint32_t {
    const auto w = static_cast<uint32_t>(bmp.width());
    if (c == 3) return std::min(255u, 4 * (w - x) * 255 / w);
    return bmp.row(static_cast<int32_t>(y))[3 * x + 2 - static_cast<uint32_t>(c)];
  });
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: photo_bench PHOTO.jpg WORKDIR\n");
    return 2;
  }
  std::vector<uint8_t> file;
  if (!platform::read_whole_file(argv[1], file, size_t{1} << 30)) return 1;
  raster::Bitmap photo;
  if (!codec::read_jpeg(file, photo)) return 1;
  const int32_t W = photo.width(), H = photo.height();
  std::printf("photo %s: %d x %d\n", argv[1], W, H);

  // Area averaging: a thumbnail, half and two-thirds size, against nearest-neighbour
  // sampling and against one copy of the source pixels into memory already in use (every
  // source byte read once: the floor).
  const size_t bytes = photo.stride() * static_cast<size_t>(H);
  std::vector<uint8_t> target(bytes);
  const double copy = best_of(kRuns, [&] {
    std::memcpy(target.data(), photo.row(0), bytes);
    g_sink = target[bytes / 2];
  });
  struct Target {
    int32_t w, h;
    const char* name;
  };
  for (const Target& t : {Target{160, 120, "area average to 160x120"}, Target{W / 2, H / 2, "area average to half"},
                          Target{W * 2 / 3, H * 2 / 3, "area average to 2/3"}}) {
    const int32_t w = t.w, h = t.h;
    const auto [area, nearest] = best_pair(
        kRuns,
        [&] {
          raster::Bitmap out(w, h, raster::Bitmap::Fill::None);
          raster::resample_area(out, raster::Rect{0, 0, w, h}, photo);
        },
        [&] {
          raster::Bitmap out(w, h, raster::Bitmap::Fill::None);
          raster::stretch_copy(out, raster::Rect{0, 0, w, h}, photo);
        });
    row(t.name, area, nearest, "nearest", 0);
    row(t.name, area, copy, "memcpy (reused)", 0);
  }

  // Shrink on load for a 160x120 thumbnail, against the full decode.
  const auto [reduced, full] = best_pair(
      kRuns,
      [&] {
        raster::Bitmap b;
        codec::read_jpeg_min(file, 160, 120, b);
      },
      [&] {
        raster::Bitmap b;
        codec::read_jpeg(file, b);
      });
  row("JPEG decode for 160x120", reduced, full, "full decode", 0);

  // PNG: the photo at half size (the full one takes seconds to compress), as colour and
  // with an alpha band.
  raster::Bitmap half(W / 2, H / 2);
  raster::resample_area(half, raster::Rect{0, 0, W / 2, H / 2}, photo);
  for (bool alpha : {false, true}) {
    Bytes colour;
    codec::write_png(half, codec::PngWriteOptions{kLevel, false, {}}, colour);
    const std::vector<uint8_t> png = alpha ? alpha_png(half) : std::vector<uint8_t>(colour.begin(), colour.end());
    const auto [ours, bare] = best_pair(
        kRuns,
        [&] {
          raster::Bitmap b;
          if (!codec::read_png(png, b)) std::abort();
        },
        [&] { bare_png_read(png); });
    row(alpha ? "PNG load (alpha)" : "PNG load", ours, bare, "bare libpng", 1.10);
  }
  Bytes saved;
  const auto [ours, bare] = best_pair(
      kRuns,
      [&] {
        codec::write_png(half, codec::PngWriteOptions{kLevel, false, {}}, saved);
      },
      [&] { bare_png_write(half, kLevel); });
  std::printf("PNG file: %d x %d, %zu bytes at level %d\n", half.width(), half.height(), saved.size(), kLevel);
  row("PNG save", ours, bare, "bare libpng", 1.10);
  return 0;
}
