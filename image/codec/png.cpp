// All libpng calls. As with libjpeg, the library reports errors by longjmp: each entry
// point runs its library calls inside "phase" functions whose frames hold plain data
// only, one bail-out path destroys the codec objects, and anything C++ (bitmaps,
// vectors) is made outside those frames.
#include "image/codec/png.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "common/status.h"
#include "image/raster/reduce.h"

namespace kelv::codec {
namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr size_t kHeaderChunkLength = 13;

// Deflate packs at most 1032 bytes into one (a 258-byte match in two one-bit codes), so
// a file of N bytes can't hold more than about 1032 * N bytes of pixel data. A header
// that declares more is refused before any pixel memory is taken.
constexpr uint64_t kMaxDeflateRatio = 1032;
constexpr uint64_t kRatioSlack = 4096;
// Ancillary chunks that libpng would have to keep in memory are capped in size and count.
constexpr png_alloc_size_t kChunkMallocMax = 8u << 20;
constexpr png_uint_32 kChunkCacheMax = 1000;
// Chunks that change nothing in the 24-bit pixels we keep: skipped unread, which also
// spares decompressing text. The colour chunks (iCCP, sRGB, gAMA, cHRM) are read.
constexpr png_byte kSkippedChunks[] = "bKGD\0eXIf\0hIST\0iTXt\0oFFs\0pCAL\0pHYs\0sBIT\0sCAL\0sPLT\0tEXt\0tIME\0zTXt";
constexpr int kSkippedChunkCount = sizeof kSkippedChunks / 5;

constexpr uint8_t kOpaque = 255;

struct ErrorContext {
  char message[256];
};

extern "C" void on_png_error(png_structp png, png_const_charp text) {
  auto* e = static_cast<ErrorContext*>(png_get_error_ptr(png));
  std::snprintf(e->message, sizeof e->message, "%s", text);
  png_longjmp(png, 1);
}

// Warnings (a damaged ancillary chunk, which libpng then drops) don't fail a load.
extern "C" void on_png_warning(png_structp, png_const_charp) {}

extern "C" void kelv_png_read(png_structp png, png_bytep out, size_t n) {
  auto* reader = static_cast<SequentialReader*>(png_get_io_ptr(png));
  if (reader->read(out, n) != n) png_error(png, "Unexpected end of file");
}

struct Reader {
  png_structp png;
  png_infop info;
  ErrorContext err;
  SequentialReader* src;
  png_uint_32 width;
  png_uint_32 height;
  int bit_depth;
  int colour_type;
  int passes;
  int channels;  // after the transformations: 3, or 4 with alpha
  // The colour description the file gives (the profile stays libpng's until the reader
  // is destroyed).
  png_bytep icc;
  png_uint_32 icc_size;
  bool srgb;
  png_uint_32 gamma;  // 0: none
  bool has_chromaticities;
  double chromaticities[8];
};

// What the colour chunks say, in their order of precedence: an embedded profile, the
// sRGB chunk (none), then gamma and chromaticities.
void read_colour(Reader* r) {
  png_charp name = nullptr;
  int compression = 0;
  if (png_get_iCCP(r->png, r->info, &name, &compression, &r->icc, &r->icc_size) != PNG_INFO_iCCP) r->icc_size = 0;
  r->srgb = png_get_valid(r->png, r->info, PNG_INFO_sRGB) != 0;
  png_fixed_point gamma = 0;
  if (png_get_gAMA_fixed(r->png, r->info, &gamma) == PNG_INFO_gAMA && gamma > 0)
    r->gamma = static_cast<png_uint_32>(gamma);
  double* c = r->chromaticities;
  r->has_chromaticities =
      png_get_cHRM(r->png, r->info, &c[0], &c[1], &c[2], &c[3], &c[4], &c[5], &c[6], &c[7]) == PNG_INFO_cHRM;
}

IccBytes colour_of(const Reader& r) {
  if (r.icc_size > 0) return IccBytes(r.icc, r.icc + r.icc_size);
  if (r.srgb || r.gamma == 0) return {};
  return icc_from_png(r.gamma, r.has_chromaticities ? r.chromaticities : nullptr);
}

bool read_header(Reader* r) {
  r->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &r->err, on_png_error, on_png_warning);
  if (!r->png) {
    std::snprintf(r->err.message, sizeof r->err.message, "Out of memory");
    return false;
  }
  if (setjmp(png_jmpbuf(r->png))) return false;
  r->info = png_create_info_struct(r->png);
  if (!r->info) png_error(r->png, "Out of memory");
  png_set_read_fn(r->png, r->src, kelv_png_read);
  // The largest sizes a bitmap can hold; the byte count is checked again before use.
  png_set_user_limits(r->png, static_cast<png_uint_32>((raster::Bitmap::kMaxBytes - 3) / 3),
                      static_cast<png_uint_32>(raster::Bitmap::kMaxBytes / 4));
  png_set_chunk_malloc_max(r->png, kChunkMallocMax);
  png_set_chunk_cache_max(r->png, kChunkCacheMax);
  png_set_keep_unknown_chunks(r->png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
  png_set_keep_unknown_chunks(r->png, PNG_HANDLE_CHUNK_NEVER, kSkippedChunks, kSkippedChunkCount);
  png_read_info(r->png, r->info);
  read_colour(r);
  int interlace = 0;
  png_get_IHDR(r->png, r->info, &r->width, &r->height, &r->bit_depth, &r->colour_type, &interlace, nullptr, nullptr);
  // Everything to 8-bit blue, green, red: palettes and low-bit grey expanded, a
  // transparent colour or palette alpha made an alpha channel, 16 bits rounded to 8.
  png_set_expand(r->png);
  if (r->bit_depth == 16) png_set_scale_16(r->png);
  if ((r->colour_type & PNG_COLOR_MASK_COLOR) == 0) png_set_gray_to_rgb(r->png);
  png_set_bgr(r->png);
  r->passes = png_set_interlace_handling(r->png);
  png_read_update_info(r->png, r->info);
  r->channels = png_get_channels(r->png, r->info);
  return true;
}

// All rows at once, interlaced or not, then the end of the file.
bool read_image(Reader* r, uint8_t** rows) {
  if (setjmp(png_jmpbuf(r->png))) return false;
  png_read_image(r->png, rows);
  png_read_end(r->png, nullptr);
  return true;
}

bool read_row(Reader* r, uint8_t* row) {
  if (setjmp(png_jmpbuf(r->png))) return false;
  png_read_row(r->png, row, nullptr);
  return true;
}

bool read_end(Reader* r) {
  if (setjmp(png_jmpbuf(r->png))) return false;
  png_read_end(r->png, nullptr);
  return true;
}

int file_channels(int colour_type) {
  switch (colour_type) {
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
    default: return 1;  // grey, palette
  }
}

// Turns rows of blue, green, red, alpha into 24-bit rows: mixed over the background, and
// for KeepExact with a note of which pixels were fully transparent.
class AlphaRows {
 public:
  AlphaRows(const PngReadOptions& options, int32_t width, int32_t height)
      : m_bg(options.background), m_keep(options.alpha == PngAlpha::KeepExact), m_width(width) {
    if (m_keep) m_mask.assign((static_cast<size_t>(width) * static_cast<size_t>(height) + 7) / 8, 0);
  }

  void convert(const uint8_t* in, uint8_t* out, int32_t y) {
    size_t bit = static_cast<size_t>(y) * static_cast<size_t>(m_width);
    for (int32_t x = 0; x < m_width; ++x, in += 4, out += 3, ++bit) {
      const unsigned a = in[3];
      if (a == kOpaque) {
        out[0] = in[0], out[1] = in[1], out[2] = in[2];
        if (out[0] == m_bg.b && out[1] == m_bg.g && out[2] == m_bg.r) m_background_used = true;
      } else if (a == 0) {
        out[0] = m_bg.b, out[1] = m_bg.g, out[2] = m_bg.r;
        if (m_keep) m_mask[bit / 8] |= static_cast<uint8_t>(1u << (bit % 8));
        m_transparent = true;
      } else {
        out[0] = raster::mix_over(in[0], a, m_bg.b), out[1] = raster::mix_over(in[1], a, m_bg.g);
        out[2] = raster::mix_over(in[2], a, m_bg.r);
        m_partial = true;
      }
    }
  }

  // After the last row: for KeepExact with only whole transparency, gives the
  // transparent pixels one colour no opaque pixel has and makes the bitmap transparent.
  void finish(raster::Bitmap& bmp, PngReadInfo& info) const {
    if (!m_keep || m_partial || !m_transparent) return;
    raster::Bgr key = m_bg;
    if (m_background_used) {
      if (!free_colour(bmp, key)) return;  // every colour is taken: keep the mix
      for_each_transparent(bmp, [&](uint8_t* p) { p[0] = key.b, p[1] = key.g, p[2] = key.r; });
    }
    bmp.transparency() = raster::Transparency{true, true, raster::to_colour(key)};
    info.keyed = true;
    info.key = key;
  }

 private:
  bool transparent_at(size_t bit) const { return (m_mask[bit / 8] >> (bit % 8)) & 1; }

  template <class F>
  void for_each_transparent(raster::Bitmap& bmp, F f) const {
    for (int32_t y = 0; y < bmp.height(); ++y) {
      const size_t base = static_cast<size_t>(y) * static_cast<size_t>(m_width);
      for (int32_t x = 0; x < m_width; ++x)
        if (transparent_at(base + static_cast<size_t>(x))) f(bmp.row(y) + 3 * static_cast<size_t>(x));
    }
  }

  // The first colour from magenta on (wrapping) that no opaque pixel has.
  bool free_colour(const raster::Bitmap& bmp, raster::Bgr& key) const {
    constexpr uint32_t kColours = 1u << 24, kStart = 0xFF00FF;
    std::vector<uint64_t> used(kColours / 64, 0);
    for (int32_t y = 0; y < bmp.height(); ++y) {
      const uint8_t* p = bmp.row(y);
      const size_t base = static_cast<size_t>(y) * static_cast<size_t>(m_width);
      for (int32_t x = 0; x < m_width; ++x, p += 3) {
        if (transparent_at(base + static_cast<size_t>(x))) continue;
        const uint32_t c = uint32_t{p[2]} | uint32_t{p[1]} << 8 | uint32_t{p[0]} << 16;
        used[c / 64] |= uint64_t{1} << (c % 64);
      }
    }
    for (uint32_t i = 0; i < kColours; ++i) {
      const uint32_t c = (kStart + i) % kColours;
      if ((used[c / 64] >> (c % 64) & 1) == 0) {
        key = raster::Bgr{static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c)};
        return true;
      }
    }
    return false;
  }

  raster::Bgr m_bg;
  bool m_keep;
  int32_t m_width;
  std::vector<uint8_t> m_mask;  // one bit a pixel, set where fully transparent
  bool m_partial = false;
  bool m_transparent = false;
  bool m_background_used = false;
};

// Decodes the pixels of a file whose header `r` has read.
bool read_pixels(Reader& r, raster::Bitmap& bmp, const PngReadOptions& options, PngReadInfo& info) {
  std::vector<uint8_t*> rows(static_cast<size_t>(bmp.height()));
  for (int32_t y = 0; y < bmp.height(); ++y) rows[static_cast<size_t>(y)] = bmp.row(y);
  if (r.channels == 3) return read_image(&r, rows.data());

  info.has_alpha = true;
  AlphaRows alpha(options, bmp.width(), bmp.height());
  const size_t row_bytes = 4 * static_cast<size_t>(bmp.width());
  if (r.passes == 1) {
    // One row at a time through a small buffer.
    std::vector<uint8_t> row(row_bytes);
    for (int32_t y = 0; y < bmp.height(); ++y) {
      if (!read_row(&r, row.data())) return false;
      alpha.convert(row.data(), bmp.row(y), y);
    }
    if (!read_end(&r)) return false;
  } else {
    // Interlaced passes fill the whole picture in turn: it is held at 4 bytes a pixel.
    std::unique_ptr<uint8_t[]> all(new (std::nothrow) uint8_t[row_bytes * static_cast<size_t>(bmp.height())]);
    if (!all) {
      std::snprintf(r.err.message, sizeof r.err.message, "Not enough memory for the image");
      return false;
    }
    std::vector<uint8_t*> wide(rows.size());
    for (size_t y = 0; y < wide.size(); ++y) wide[y] = all.get() + y * row_bytes;
    if (!read_image(&r, wide.data())) return false;
    for (int32_t y = 0; y < bmp.height(); ++y) alpha.convert(wide[static_cast<size_t>(y)], bmp.row(y), y);
  }
  alpha.finish(bmp, info);
  return true;
}

struct Sink {
  unsigned char* data;
  size_t size;
  size_t capacity;
};

extern "C" void kelv_png_write(png_structp png, png_bytep in, size_t n) {
  auto* s = static_cast<Sink*>(png_get_io_ptr(png));
  if (n > s->capacity - s->size) {
    size_t capacity = std::max({s->capacity * 2, s->size + n, size_t{1} << 16});
    auto* grown = static_cast<unsigned char*>(std::realloc(s->data, capacity));
    if (!grown) png_error(png, "Out of memory");
    s->data = grown;
    s->capacity = capacity;
  }
  std::memcpy(s->data + s->size, in, n);
  s->size += n;
}

extern "C" void kelv_png_flush(png_structp) {}

struct Writer {
  png_structp png;
  png_infop info;
  ErrorContext err;
  Sink sink;
  const uint8_t* icc;
  png_uint_32 icc_size;
};

bool encode(Writer* w, uint8_t** rows, png_uint_32 width, png_uint_32 height, int level, png_color_16* key) {
  w->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &w->err, on_png_error, on_png_warning);
  if (!w->png) {
    std::snprintf(w->err.message, sizeof w->err.message, "Out of memory");
    return false;
  }
  if (setjmp(png_jmpbuf(w->png))) return false;
  w->info = png_create_info_struct(w->png);
  if (!w->info) png_error(w->png, "Out of memory");
  png_set_write_fn(w->png, &w->sink, kelv_png_write, kelv_png_flush);
  // A profile libpng finds fault with is left out with a warning; the pixels are still
  // saved.
  png_set_benign_errors(w->png, 1);
  png_set_IHDR(w->png, w->info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(w->png, level);
  if (key) png_set_tRNS(w->png, w->info, nullptr, 0, key);
  // The colour profile, compressed in an iCCP chunk.
  if (w->icc_size > 0) png_set_iCCP(w->png, w->info, "ICC profile", PNG_COMPRESSION_TYPE_BASE, w->icc, w->icc_size);
  png_write_info(w->png, w->info);
  png_set_bgr(w->png);
  png_write_image(w->png, rows);
  png_write_end(w->png, w->info);
  return true;
}

uint32_t be32(const uint8_t* p) { return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3]; }

}  // namespace

bool is_png(std::span<const uint8_t> head) {
  return head.size() >= sizeof kSignature && std::memcmp(head.data(), kSignature, sizeof kSignature) == 0;
}

bool probe_png(std::span<const uint8_t> head, int32_t& width, int32_t& height) {
  // Signature; the header chunk's length, type, width and height; its checksum over
  // type and data.
  if (head.size() < kPngProbeBytes || !is_png(head)) return false;
  const uint8_t* chunk = head.data() + sizeof kSignature;
  if (be32(chunk) != kHeaderChunkLength || std::memcmp(chunk + 4, "IHDR", 4) != 0) return false;
  const uInt covered = 4 + kHeaderChunkLength;
  if (crc32(crc32(0, Z_NULL, 0), chunk + 4, covered) != be32(chunk + 4 + covered)) return false;
  const uint32_t w = be32(chunk + 8), h = be32(chunk + 12);
  if (w == 0 || h == 0 || w > INT32_MAX || h > INT32_MAX) return false;
  width = static_cast<int32_t>(w);
  height = static_cast<int32_t>(h);
  return true;
}

namespace {

// Reads the header and checks the size it declares (with `whole`, also that one bitmap
// can hold it); then `pixels` decodes. The codec objects are destroyed on every path.
template <class F>
bool read_with(ByteSource& source, bool whole, std::string* message, F pixels, IccBytes* icc = nullptr) {
  SequentialReader reader(source);
  Reader r{};
  r.src = &reader;
  bool ok = read_header(&r);
  if (ok) {
    const auto w = static_cast<int32_t>(r.width), h = static_cast<int32_t>(r.height);
    const uint64_t least_data =
        uint64_t{r.width} * r.height * static_cast<uint64_t>(file_channels(r.colour_type) * r.bit_depth) / 8;
    size_t stride = 0, bytes = 0;
    if (whole && !raster::Bitmap::layout(w, h, stride, bytes)) {
      std::snprintf(r.err.message, sizeof r.err.message, "The image is too large");
      ok = false;
    } else if (least_data > kMaxDeflateRatio * source.size() + kRatioSlack) {
      std::snprintf(r.err.message, sizeof r.err.message, "The file is too short for the image it declares");
      ok = false;
    } else {
      ok = guarded_into(r.err.message, [&] {
        if (icc) *icc = colour_of(r);
        return pixels(r, w, h);
      });
    }
  }
  if (!ok && message) *message = r.err.message;
  if (r.png) png_destroy_read_struct(&r.png, r.info ? &r.info : nullptr, nullptr);
  return ok;
}

}  // namespace

bool read_png(std::span<const uint8_t> data, raster::Bitmap& out, const PngReadOptions& options, PngReadInfo* info,
              std::string* message) {
  SpanSource source(data);
  PngReadInfo found;
  const bool ok = read_with(source, true, message, [&](Reader& r, int32_t w, int32_t h) {
    raster::Bitmap bmp(w, h, raster::Bitmap::Fill::None);
    if (!read_pixels(r, bmp, options, found)) return false;
    out = std::move(bmp);
    return true;
  });
  if (ok && info) *info = found;
  return ok;
}

bool read_png(ByteSource& source, const LoadRequest& request, raster::Bitmap& out, std::string* message,
              IccBytes* icc) {
  const PngReadOptions options{request.background, PngAlpha::Composite};
  return read_with(
      source, !request.reduce, message,
      [&](Reader& r, int32_t w, int32_t h) {
        LoadPlan plan;
        std::string why;
        if (!plan_load(request, w, h, plan, why)) {
          std::snprintf(r.err.message, sizeof r.err.message, "%s", why.c_str());
          return false;
        }
        PngReadInfo found;
        if (r.passes > 1) {
          // Interlaced passes fill the whole picture in turn: it is decoded whole, then reduced.
          raster::Bitmap whole(w, h, raster::Bitmap::Fill::None);
          if (!read_pixels(r, whole, options, found)) return false;
          out = plan.factor > 1 ? raster::reduce(whole, plan.factor) : std::move(whole);
          return true;
        }
        // Row by row into the result (or its reduction): the picture is never held whole.
        raster::RowBuilder builder(w, h, plan.factor);
        std::vector<uint8_t> wide(r.channels == 4 ? 4 * static_cast<size_t>(w) : 0);
        for (int32_t y = 0; y < h; ++y) {
          uint8_t* row = builder.next_row();
          if (!read_row(&r, r.channels == 4 ? wide.data() : row)) return false;
          if (r.channels == 4) raster::mix_row_over(wide.data(), row, w, request.background);
          builder.add();
        }
        if (!read_end(&r)) return false;
        out = builder.take();
        return true;
      },
      icc);
}

bool write_png(const raster::Bitmap& bmp, const PngWriteOptions& options, Bytes& out, std::string* message) {
  Writer w{};
  w.icc = options.icc_profile.data();
  w.icc_size = static_cast<png_uint_32>(options.icc_profile.size());
  std::vector<uint8_t*> rows(static_cast<size_t>(bmp.height()));
  for (int32_t y = 0; y < bmp.height(); ++y) rows[static_cast<size_t>(y)] = const_cast<uint8_t*>(bmp.row(y));
  png_color_16 key{};
  const bool keyed = options.transparency && bmp.transparency().enabled && !bmp.empty();
  if (keyed) {
    const raster::Bgr c = bmp.transparent_colour();
    key.red = c.r, key.green = c.g, key.blue = c.b;
  }
  bool ok = encode(&w, rows.data(), static_cast<png_uint_32>(bmp.width()), static_cast<png_uint_32>(bmp.height()),
                   std::clamp(options.level, 0, 9), keyed ? &key : nullptr);
  if (w.png) png_destroy_write_struct(&w.png, w.info ? &w.info : nullptr);
  if (ok) {
    ok = guarded_into(w.err.message, [&] {
      out.assign(w.sink.data, w.sink.data + w.sink.size);
      return true;
    });
  }
  if (!ok && message) {
    *message = w.err.message;
  }
  std::free(w.sink.data);
  return ok;
}

}  // namespace kelv::codec
