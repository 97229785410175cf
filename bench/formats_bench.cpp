// The upload formats in one program: each format's load (LoadFromFile) against its bare
// library decoding the same file in the same process (giflib, libwebp, libavif with its
// own conversion to 8-bit colour, libheif with its own), and the WebP save against bare
// libwebp; then the peak memory of a reduced load above the process's baseline, in a
// process of its own.
//
//   formats_bench compare GIF WEBP AVIF HEIC     the ratio rows
//   formats_bench peak FILE W H [--whole]        peak memory of LoadFromFileMin (or of the
//                                                whole picture's LoadFromFile)
//   formats_bench make-png W H FILE              a photo-like PNG or JPEG of any size,
//   formats_bench make-jpeg W H FILE             written row by row
//   formats_bench make-heic W H FILE TILE...     a HEIC grid of W x H from 512 x 512
//                                                tiles, each a file written by heif-enc
#include <avif/avif.h>
#include <gif_lib.h>
#include <libheif/heif.h>
#include <png.h>
#include <webp/decode.h>
#include <webp/encode.h>

#include <cmath>
#include <cstdio>
// libjpeg's header needs FILE declared before it.
#include <jpeglib.h>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench/timing.h"
#include "image/codec/webp.h"
#include "image/image.h"
#include "platform/platform.h"
#include "unit/image/heif_builder.h"

using namespace kelv;
using bench::best_pair;
using bench::row;

namespace {

constexpr int kRuns = 9;
constexpr double kLimit = 1.10;
volatile uint8_t g_sink;

std::vector<uint8_t> slurp(const char* name) {
  std::vector<uint8_t> data;
  if (!platform::read_whole_file(name, data, size_t{1} << 30)) std::abort();
  return data;
}

// giflib as a program of its own would use it: the whole file read, the first frame's
// indices turned into blue, green, red through its palette.
void bare_gif(const char* name) {
  int error = 0;
  GifFileType* gif = DGifOpenFileName(name, &error);
  if (!gif || DGifSlurp(gif) != GIF_OK) std::abort();
  const SavedImage& f = gif->SavedImages[0];
  const ColorMapObject* map = f.ImageDesc.ColorMap ? f.ImageDesc.ColorMap : gif->SColorMap;
  const size_t n = static_cast<size_t>(f.ImageDesc.Width) * static_cast<size_t>(f.ImageDesc.Height);
  std::unique_ptr<uint8_t[]> bgr(new uint8_t[3 * n]);
  for (size_t i = 0; i < n; ++i) {
    const GifColorType& c = map->Colors[f.RasterBits[i]];
    bgr[3 * i] = c.Blue, bgr[3 * i + 1] = c.Green, bgr[3 * i + 2] = c.Red;
  }
  g_sink = bgr[n / 2];
  DGifCloseFile(gif, &error);
}

// libwebp: the file read, decoded into a new buffer of blue, green, red.
void bare_webp(const char* name) {
  const std::vector<uint8_t> data = slurp(name);
  int w = 0, h = 0;
  uint8_t* bgr = WebPDecodeBGR(data.data(), data.size(), &w, &h);
  if (!bgr) std::abort();
  g_sink = bgr[0];
  WebPFree(bgr);
}

// libavif: the file read and decoded, then its own conversion to 8-bit blue, green, red.
void bare_avif(const char* name) {
  avifDecoder* d = avifDecoderCreate();
  avifImage* image = avifImageCreateEmpty();
  if (avifDecoderReadFile(d, image, name) != AVIF_RESULT_OK) std::abort();
  avifRGBImage rgb;
  avifRGBImageSetDefaults(&rgb, image);
  rgb.format = AVIF_RGB_FORMAT_BGR;
  rgb.depth = 8;
  avifRGBImageAllocatePixels(&rgb);
  if (avifImageYUVToRGB(image, &rgb) != AVIF_RESULT_OK) std::abort();
  g_sink = rgb.pixels[0];
  avifRGBImageFreePixels(&rgb);
  avifImageDestroy(image);
  avifDecoderDestroy(d);
}

// libheif: the file read and decoded into interleaved red, green, blue by its own
// conversion.
void bare_heic(const char* name) {
  heif_context* c = heif_context_alloc();
  heif_image_handle* handle = nullptr;
  heif_image* image = nullptr;
  if (heif_context_read_from_file(c, name, nullptr).code != heif_error_Ok ||
      heif_context_get_primary_image_handle(c, &handle).code != heif_error_Ok ||
      heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr).code !=
          heif_error_Ok)
    std::abort();
  int stride = 0;
  g_sink = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride)[0];
  heif_image_release(image);
  heif_image_handle_release(handle);
  heif_context_free(c);
}

void compare(const char* gif, const char* webp, const char* avif, const char* heic) {
  struct Load {
    const char* what;
    const char* file;
    void (*bare)(const char*);
    const char* peer;
  };
  for (const Load& l :
       {Load{"LoadFromFile GIF", gif, bare_gif, "giflib"}, Load{"LoadFromFile WebP", webp, bare_webp, "libwebp"},
        Load{"LoadFromFile AVIF", avif, bare_avif, "libavif"}, Load{"LoadFromFile HEIC", heic, bare_heic, "libheif"}}) {
    TImageImpl img;
    if (img.LoadFromFile(l.file) != 1) std::abort();
    std::printf("%s: %s, %d x %d\n", l.what, l.file, img.get_Width(), img.get_Height());
    const auto [ours, peer] = best_pair(
        kRuns, [&] { g_sink = static_cast<uint8_t>(img.LoadFromFile(l.file)); }, [&] { l.bare(l.file); });
    row(l.what, ours, peer, l.peer, kLimit);
  }
  // The save: the loaded WebP photo encoded again at quality 78, by the member and by
  // libwebp's own call on the same pixels.
  TImageImpl img;
  if (img.LoadFromFile(webp) != 1) std::abort();
  const raster::Bitmap& b = *img.bitmap();
  const auto [ours, peer] = best_pair(
      kRuns, [&] { g_sink = img.SaveToBufferWebp(78, 0).bytes.empty() ? 0 : 1; },
      [&] {
        uint8_t* out = nullptr;
        const size_t n = WebPEncodeBGR(b.row(0), b.width(), b.height(), static_cast<int>(b.stride()), 78, &out);
        g_sink = n ? out[0] : 0;
        WebPFree(out);
      });
  row("SaveToBufferWebp q78", ours, peer, "libwebp", kLimit);
}

// The process's peak resident size so far, in KiB (printed in MB of a million bytes).
long peak_kb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}

int peak(const char* file, int32_t w, int32_t h, bool whole) {
  TImageImpl img;
  const long before = peak_kb();
  const int32_t ok = whole ? img.LoadFromFile(file) : img.LoadFromFileMin(file, w, h);
  const long after = peak_kb();
  if (ok != 1) return 1;
  std::printf("%d %d %.1f\n", img.get_Width(), img.get_Height(), (after - before) * 1024.0 / 1e6);
  return 0;
}

// A photo-like picture: broad gradients, soft waves and a fine texture, so that it neither
// compresses to nothing nor is noise.
void photo_row(int32_t y, int32_t w, int32_t h, uint8_t* rgb) {
  for (int32_t x = 0; x < w; ++x) {
    const double u = static_cast<double>(x) / w, v = static_cast<double>(y) / h;
    const double wave = 40 * std::sin(u * 37 + v * 11) * std::cos(v * 23 - u * 5);
    const int texture = static_cast<int>((x * 7 + y * 13) % 17) - 8;
    auto level = [](double d) { return static_cast<uint8_t>(std::clamp(d, 0.0, 255.0)); };
    rgb[3 * x] = level(60 + 150 * u + wave + texture);
    rgb[3 * x + 1] = level(90 + 100 * v - wave / 2 + texture);
    rgb[3 * x + 2] = level(180 - 120 * u * v + wave / 3 - texture);
  }
}

int make_png(int32_t w, int32_t h, const char* name) {
  std::FILE* f = std::fopen(name, "wb");
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (!f || setjmp(png_jmpbuf(png))) return 1;
  png_init_io(png, f);
  png_set_IHDR(png, info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, 3);
  png_write_info(png, info);
  std::vector<uint8_t> rgb(3 * static_cast<size_t>(w));
  for (int32_t y = 0; y < h; ++y) {
    photo_row(y, w, h, rgb.data());
    png_write_row(png, rgb.data());
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0 ? 0 : 1;
}

int make_jpeg(int32_t w, int32_t h, const char* name) {
  std::FILE* f = std::fopen(name, "wb");
  if (!f) return 1;
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  jpeg_stdio_dest(&c, f);
  c.image_width = static_cast<JDIMENSION>(w);
  c.image_height = static_cast<JDIMENSION>(h);
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 80, TRUE);
  jpeg_start_compress(&c, TRUE);
  std::vector<uint8_t> rgb(3 * static_cast<size_t>(w));
  for (int32_t y = 0; y < h; ++y) {
    photo_row(y, w, h, rgb.data());
    JSAMPROW r = rgb.data();
    jpeg_write_scanlines(&c, &r, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  return std::fclose(f) == 0 ? 0 : 1;
}

int make_heic(int32_t w, int32_t h, const char* name, int tiles, char** tile_files) {
  test::HeifGrid g;
  g.tile_width = g.tile_height = 512;
  g.columns = (w + 511) / 512, g.rows = (h + 511) / 512;
  g.width = w, g.height = h;
  if (tiles != g.columns * g.rows) return 1;
  for (int i = 0; i < tiles; ++i) g.tiles.push_back(test::heif_tile_of(slurp(tile_files[i])));
  const std::vector<uint8_t> file = test::heic_grid_file(g);
  return platform::write_file_replacing(name, file.data(), file.size()) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "compare" && argc == 6) {
    compare(argv[2], argv[3], argv[4], argv[5]);
    return 0;
  }
  if (mode == "peak" && (argc == 5 || argc == 6))
    return peak(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), argc == 6);
  if (mode == "make-png" && argc == 5) return make_png(std::atoi(argv[2]), std::atoi(argv[3]), argv[4]);
  if (mode == "make-jpeg" && argc == 5) return make_jpeg(std::atoi(argv[2]), std::atoi(argv[3]), argv[4]);
  if (mode == "make-heic" && argc > 5)
    return make_heic(std::atoi(argv[2]), std::atoi(argv[3]), argv[4], argc - 5, argv + 5);
  std::fprintf(stderr,
               "usage: formats_bench compare GIF WEBP AVIF HEIC | peak FILE W H [--whole] | make-png W H FILE | "
               "make-jpeg W H FILE | make-heic W H FILE TILE...\n");
  return 2;
}
