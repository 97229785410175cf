// Image benchmarks: each member against its peer in the same program (a bare libjpeg
// decode or encode with the same options, one fread/fwrite, one memcpy of the pixels).
// Prints one row a measurement: name, our seconds, the peer's seconds, the ratio.
//
//   image_bench PHOTO.jpg WORKDIR
//   image_bench --bmp WORKDIR       the BMP rows alone, best of 15 runs
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "bench/timing.h"
#include "image/image.h"
#include "platform/platform.h"

extern "C" {
#include <jpeglib.h>
}

using namespace kelv;
using bench::best_of;
using bench::row;

namespace {

// The same decode LoadFromJpg asks of libjpeg, with no bitmap object around it.
void bare_decode(const std::vector<uint8_t>& file, std::unique_ptr<uint8_t[]>& pixels, int* width = nullptr,
                 int* height = nullptr) {
  jpeg_decompress_struct c;
  jpeg_error_mgr e;
  c.err = jpeg_std_error(&e);
  jpeg_create_decompress(&c);
  jpeg_mem_src(&c, file.data(), file.size());
  jpeg_read_header(&c, TRUE);
  c.dct_method = JDCT_FLOAT;
  c.do_block_smoothing = TRUE;
  c.out_color_space = JCS_EXT_BGR;
  jpeg_start_decompress(&c);
  size_t stride = (c.output_width * 3 + 3) & ~3u;
  // A fresh, uncleared buffer for each decode, as a decoder producing a new image needs.
  pixels.reset(new uint8_t[stride * c.output_height]);
  while (c.output_scanline < c.output_height) {
    JSAMPROW r = pixels.get() + stride * c.output_scanline;
    jpeg_read_scanlines(&c, &r, 1);
  }
  if (width) *width = static_cast<int>(c.output_width);
  if (height) *height = static_cast<int>(c.output_height);
  jpeg_finish_decompress(&c);
  jpeg_destroy_decompress(&c);
}

size_t bare_encode(const raster::Bitmap& bmp, int quality) {
  jpeg_compress_struct c;
  jpeg_error_mgr e;
  c.err = jpeg_std_error(&e);
  jpeg_create_compress(&c);
  unsigned char* buf = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buf, &size);
  c.image_width = static_cast<JDIMENSION>(bmp.width());
  c.image_height = static_cast<JDIMENSION>(bmp.height());
  c.input_components = 3;
  c.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, quality, TRUE);
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW r = const_cast<uint8_t*>(bmp.row(static_cast<int32_t>(c.next_scanline)));
    jpeg_write_scanlines(&c, &r, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::vector<uint8_t> out(buf, buf + size);  // the copy SaveToJpg makes too
  std::free(buf);
  return out.size();
}

// SaveToBmp and LoadFromBmp of a 40 MB image against one fwrite and one fread of the
// same bytes.
void bmp_rows(const std::string& work, int runs) {
  TImageImpl big;
  big.CreateFromSize(4096, 3413, 0);
  for (int32_t y = 0; y < big.get_Height(); ++y) std::memset(big.bitmap()->row(y), y & 0xFF, big.bitmap()->stride());
  std::string bmp_out = work + "/big.bmp";
  big.SaveToBmp(bmp_out);
  std::vector<uint8_t> bytes;
  platform::read_whole_file(bmp_out, bytes, size_t{1} << 30);
  auto [ours, peer] = bench::best_pair(
      runs, [&] { big.SaveToBmp(bmp_out); },
      [&] {
        std::FILE* f = std::fopen((work + "/raw.bin").c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
      });
  row("SaveToBmp 40 MB", ours, peer, "fwrite", 2.0);
  TImageImpl loaded;
  std::tie(ours, peer) = bench::best_pair(
      runs, [&] { loaded.LoadFromBmp(bmp_out); },
      [&] {
        // Into fresh memory that nothing touched before, as a load into a new bitmap.
        std::unique_ptr<uint8_t[]> in(new uint8_t[bytes.size()]);
        std::FILE* f = std::fopen((work + "/raw.bin").c_str(), "rb");
        if (std::fread(in.get(), 1, bytes.size(), f) != bytes.size()) std::abort();
        std::fclose(f);
      });
  row("LoadFromBmp 40 MB", ours, peer, "fread", 1.2);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--bmp") {
    bmp_rows(argv[2], 15);
    return 0;
  }
  if (argc != 3) {
    std::fprintf(stderr, "usage: image_bench PHOTO.jpg WORKDIR | image_bench --bmp WORKDIR\n");
    return 2;
  }
  std::string photo = argv[1], work = argv[2];
  std::vector<uint8_t> file;
  if (!platform::read_whole_file(photo, file, size_t{1} << 30)) return 1;
  const int runs = 5;

  TImageImpl img;
  std::unique_ptr<uint8_t[]> pixels;
  double ours = best_of(runs, [&] { img.LoadFromJpg(photo); });
  double peer = best_of(runs, [&] {
    std::vector<uint8_t> f;
    platform::read_whole_file(photo, f, size_t{1} << 30);
    bare_decode(f, pixels);
  });
  std::printf("photo %s: %d x %d\n", photo.c_str(), img.get_Width(), img.get_Height());
  row("LoadFromJpg", ours, peer, "libjpeg decode", 1.10);

  std::string jpg_out = work + "/out.jpg";
  ours = best_of(runs, [&] { img.SaveToJpg(jpg_out, 78, -1, -1); });
  peer = best_of(runs, [&] { bare_encode(*img.bitmap(), 78); });
  row("SaveToJpg q78", ours, peer, "libjpeg encode", 1.10);

  bmp_rows(work, runs);

  // Pixel work on the photo against one memcpy of its pixel bytes.
  img.LoadFromJpg(photo);
  size_t pixel_bytes = img.bitmap()->stride() * static_cast<size_t>(img.get_Height());
  // The peer copies into fresh memory, as every member that makes a new image must.
  std::vector<uint8_t> a(pixel_bytes, 1);
  volatile uint8_t sink = 0;
  double copy = best_of(runs, [&] {
    std::unique_ptr<uint8_t[]> b(new uint8_t[pixel_bytes]);
    std::memcpy(b.get(), a.data(), pixel_bytes);
    sink = sink + b[pixel_bytes / 2];
  });
  double warm_copy = 0;
  {
    std::vector<uint8_t> b(pixel_bytes);
    warm_copy = best_of(runs, [&] {
      std::memcpy(b.data(), a.data(), pixel_bytes);
      sink = sink + b[7];
    });
  }
  ours = best_of(runs, [&] { img.RotateCW(); });
  row("RotateCW", ours, copy, "memcpy (new)", 4.0);
  row("RotateCW", ours, warm_copy, "memcpy (reused)", 4.0);
  double resize = 1e30;
  for (int i = 0; i < runs; ++i) {
    img.LoadFromJpg(photo);
    auto t0 = std::chrono::steady_clock::now();
    img.ResizeImg(img.get_Width() / 2, img.get_Height() / 2);
    resize = std::min(resize, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  row("ResizeImg to half", resize, copy, "memcpy (new)", 2.0);
  row("ResizeImg to half", resize, warm_copy, "memcpy (reused)", 2.0);

  // Drawing: FillRect of a whole 24-megapixel image against one memset of its bytes.
  TImageImpl canvas;
  canvas.CreateFromSize(6000, 4000, 0);
  canvas.put_BrushColor(0x336699);
  size_t canvas_bytes = canvas.bitmap()->stride() * 4000;
  ours = best_of(runs, [&] { canvas.FillRect(0, 0, 5999, 3999); });
  peer = best_of(runs, [&] { std::memset(canvas.bitmap()->row(0), 0x33, canvas_bytes); });
  row("FillRect 24 MP", ours, peer, "memset", 2.0);
  TImageImpl small;
  small.CreateFromSize(1000, 1000, 0);
  std::srand(7);
  auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < 10000; ++i) {
    small.put_PenColor(std::rand() & 0xFFFFFF);
    small.Line(std::rand() % 1000, std::rand() % 1000, std::rand() % 1000, std::rand() % 1000);
  }
  double lines = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::printf("%-28s %9.0f lines/s\n", "Line (random, 1000x1000)", 10000 / lines);
  t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < 2000; ++i) small.TextOut(10, 10 + (i % 900), "The quick brown fox jumps over the lazy d");
  double text = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::printf("%-28s %9.0f calls/s\n", "TextOut (40 characters)", 2000 / text);

  // The thumbnail pipeline against a plain libjpeg program doing the same work.
  ours = best_of(runs, [&] {
    TImageImpl t;
    t.LoadFromJpg(photo);
    t.MakeThumb(160, 120);
    VarOut b = t.SaveToBufferJpg(-1, -1, -1);
  });
  peer = best_of(runs, [&] {
    std::vector<uint8_t> f;
    platform::read_whole_file(photo, f, size_t{1} << 30);
    std::unique_ptr<uint8_t[]> px;
    int w = 0, h = 0;
    bare_decode(f, px, &w, &h);
    size_t stride = (static_cast<size_t>(w) * 3 + 3) & ~size_t{3};
    // Fit into 160 x 120 keeping the aspect, centre, nearest-neighbour, encode.
    double rx = 160.0 / w, ry = 120.0 / h;
    int nw = rx < ry ? 160 : static_cast<int>(w * ry + 0.5), nh = rx < ry ? static_cast<int>(h * rx + 0.5) : 120;
    int ox = (160 - nw) / 2, oy = (120 - nh) / 2;
    raster::Bitmap t(160, 120);
    for (int y = 0; y < nh; ++y) {
      const uint8_t* in = px.get() + stride * static_cast<size_t>(y * h / nh);
      uint8_t* o = t.row(oy + y) + 3 * ox;
      for (int x = 0; x < nw; ++x, o += 3) std::memcpy(o, in + 3 * (x * w / nw), 3);
    }
    bare_encode(t, 78);
  });
  row("thumbnail pipeline", ours, peer, "plain libjpeg", 1.15);
  return 0;
}
