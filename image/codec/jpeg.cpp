// All libjpeg calls. The library reports errors through an error manager that jumps back
// with longjmp; every entry point therefore runs its library calls inside a "phase"
// function whose frame holds plain data only, and one bail-out path destroys the codec
// object. Anything C++ (bitmaps, vectors) is set up outside those frames.
#include "image/codec/jpeg.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" {
#include <jpeglib.h>
}

#include "common/status.h"

namespace kelv::codec {
namespace {

struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

extern "C" void on_error(j_common_ptr cinfo) {
  auto* e = reinterpret_cast<ErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, e->message);
  std::longjmp(e->jump, 1);
}

// Warnings and trace messages are neither printed nor counted: a decode the library
// completes succeeds.
extern "C" void on_message(j_common_ptr, int) {}
extern "C" void on_output(j_common_ptr) {}

void init_errors(ErrorManager& e) {
  jpeg_std_error(&e.pub);
  e.pub.error_exit = on_error;
  e.pub.emit_message = on_message;
  e.pub.output_message = on_output;
  e.message[0] = '\0';
}

struct Decoder {
  jpeg_decompress_struct cinfo;
  ErrorManager err;
  bool created;
  bool cmyk;
  bool adobe;
  // The least output size asked for, and whether the scale may be reduced to reach it.
  bool shrink;
  int32_t min_width;
  int32_t min_height;
};

// The DCT scales a decode may choose from, smallest first: 1/8, 1/4, 1/2.
constexpr unsigned kScaleDenominators[] = {8, 4, 2};
// A reduced decode of a progressive (or multi-scan) file still holds every coefficient
// of the full-size picture. Its working memory is capped like a bitmap's pixels, so that
// a small file declaring a huge picture fails at once instead of taking gigabytes; a
// lower cap already set (libjpeg's JPEGMEM) stays.
constexpr long kMaxReducedWorkingMemory = static_cast<long>(raster::Bitmap::kMaxBytes);

// libjpeg's size at 1/d: the stored size divided by d, rounded up.
bool scale_gives(JDIMENSION size, unsigned d, int32_t least) {
  return least <= 0 || (size + d - 1) / d >= static_cast<JDIMENSION>(least);
}

bool decode_header(Decoder* d, const uint8_t* data, size_t size) {
  d->cinfo.err = &d->err.pub;
  if (setjmp(d->err.jump)) return false;
  jpeg_create_decompress(&d->cinfo);
  d->created = true;
  if (d->shrink) {
    long& cap = d->cinfo.mem->max_memory_to_use;
    if (cap == 0 || cap > kMaxReducedWorkingMemory) cap = kMaxReducedWorkingMemory;
  }
  jpeg_mem_src(&d->cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(&d->cinfo, TRUE);
  // Best quality (floating-point inverse DCT), full scale, colour output without
  // quantisation, no progressive display, block smoothing on.
  d->cinfo.dct_method = JDCT_FLOAT;
  d->cinfo.scale_num = 1;
  d->cinfo.scale_denom = 1;
  d->cinfo.quantize_colors = FALSE;
  d->cinfo.buffered_image = FALSE;
  d->cinfo.do_block_smoothing = TRUE;
  if (d->shrink) {
    for (unsigned denom : kScaleDenominators) {
      if (scale_gives(d->cinfo.image_width, denom, d->min_width) &&
          scale_gives(d->cinfo.image_height, denom, d->min_height)) {
        d->cinfo.scale_denom = denom;
        break;
      }
    }
  }
  d->cmyk = d->cinfo.jpeg_color_space == JCS_CMYK || d->cinfo.jpeg_color_space == JCS_YCCK;
  d->adobe = d->cinfo.saw_Adobe_marker;
  d->cinfo.out_color_space = d->cmyk ? JCS_CMYK : JCS_EXT_BGR;
  jpeg_calc_output_dimensions(&d->cinfo);
  return true;
}

// CMYK (inverted, as Adobe writes it, or plain) to blue, green, red.
void cmyk_to_bgr(const uint8_t* in, uint8_t* out, JDIMENSION width, bool adobe) {
  for (JDIMENSION x = 0; x < width; ++x, in += 4, out += 3) {
    unsigned c = in[0], m = in[1], y = in[2], k = in[3];
    if (!adobe) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
    out[0] = static_cast<uint8_t>((y * k + 127) / 255);
    out[1] = static_cast<uint8_t>((m * k + 127) / 255);
    out[2] = static_cast<uint8_t>((c * k + 127) / 255);
  }
}

bool decode_pixels(Decoder* d, uint8_t** rows, uint8_t* cmyk_row) {
  if (setjmp(d->err.jump)) return false;
  jpeg_start_decompress(&d->cinfo);
  while (d->cinfo.output_scanline < d->cinfo.output_height) {
    JDIMENSION line = d->cinfo.output_scanline;
    if (d->cmyk) {
      JSAMPROW in = cmyk_row;
      if (jpeg_read_scanlines(&d->cinfo, &in, 1) == 1)
        cmyk_to_bgr(cmyk_row, rows[line], d->cinfo.output_width, d->adobe);
    } else {
      jpeg_read_scanlines(&d->cinfo, rows + line, d->cinfo.output_height - line);
    }
  }
  jpeg_finish_decompress(&d->cinfo);
  return true;
}

struct Encoder {
  jpeg_compress_struct cinfo;
  ErrorManager err;
  bool created;
  unsigned char* buffer;
  unsigned long size;
};

bool encode(Encoder* e, uint8_t** rows, int width, int height, int quality, bool progressive) {
  e->cinfo.err = &e->err.pub;
  if (setjmp(e->err.jump)) return false;
  jpeg_create_compress(&e->cinfo);
  e->created = true;
  jpeg_mem_dest(&e->cinfo, &e->buffer, &e->size);
  e->cinfo.image_width = static_cast<JDIMENSION>(width);
  e->cinfo.image_height = static_cast<JDIMENSION>(height);
  e->cinfo.input_components = 3;
  e->cinfo.in_color_space = JCS_EXT_BGR;
  // Library defaults (JFIF header, standard Huffman tables, no entropy optimisation),
  // then the quality with baseline-compatible tables and, if asked, the simple
  // progression.
  jpeg_set_defaults(&e->cinfo);
  jpeg_set_quality(&e->cinfo, quality, TRUE);
  if (progressive) jpeg_simple_progression(&e->cinfo);
  jpeg_start_compress(&e->cinfo, TRUE);
  while (e->cinfo.next_scanline < e->cinfo.image_height)
    jpeg_write_scanlines(&e->cinfo, rows + e->cinfo.next_scanline, e->cinfo.image_height - e->cinfo.next_scanline);
  jpeg_finish_compress(&e->cinfo);
  return true;
}

bool decode(Decoder& d, std::span<const uint8_t> data, raster::Bitmap& out, std::string* message) {
  init_errors(d.err);
  bool ok = decode_header(&d, data.data(), data.size());
  if (ok) {
    ok = guarded_into(d.err.message, [&] {
      raster::Bitmap bmp(static_cast<int32_t>(d.cinfo.output_width), static_cast<int32_t>(d.cinfo.output_height),
                         raster::Bitmap::Fill::None);
      std::vector<uint8_t*> rows(static_cast<size_t>(bmp.height()));
      for (int32_t y = 0; y < bmp.height(); ++y) rows[static_cast<size_t>(y)] = bmp.row(y);
      std::vector<uint8_t> cmyk(d.cmyk ? 4 * static_cast<size_t>(bmp.width()) : 0);
      if (!decode_pixels(&d, rows.data(), cmyk.data())) return false;
      out = std::move(bmp);
      return true;
    });
  }
  if (!ok && message) *message = d.err.message;
  if (d.created) jpeg_destroy_decompress(&d.cinfo);
  return ok;
}

}  // namespace

bool read_jpeg(std::span<const uint8_t> data, raster::Bitmap& out, std::string* message) {
  Decoder d{};
  return decode(d, data, out, message);
}

bool read_jpeg_min(std::span<const uint8_t> data, int32_t min_width, int32_t min_height, raster::Bitmap& out,
                   std::string* message, int* denominator) {
  Decoder d{};
  d.shrink = true;
  d.min_width = min_width;
  d.min_height = min_height;
  bool ok = decode(d, data, out, message);
  if (ok && denominator) *denominator = static_cast<int>(d.cinfo.scale_denom);
  return ok;
}

bool write_jpeg(const raster::Bitmap& bmp, const JpegOptions& options, Bytes& out, std::string* message) {
  Encoder e{};
  init_errors(e.err);
  std::vector<uint8_t*> rows(static_cast<size_t>(bmp.height()));
  for (int32_t y = 0; y < bmp.height(); ++y) rows[static_cast<size_t>(y)] = const_cast<uint8_t*>(bmp.row(y));
  bool ok = encode(&e, rows.data(), bmp.width(), bmp.height(), options.quality, options.progressive);
  if (e.created) jpeg_destroy_compress(&e.cinfo);
  if (ok) {
    ok = guarded([&] { out.assign(e.buffer, e.buffer + e.size); }).ok();
  } else if (message) {
    *message = e.err.message;
  }
  std::free(e.buffer);
  return ok;
}

}  // namespace kelv::codec
