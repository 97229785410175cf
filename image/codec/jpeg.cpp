// All libjpeg calls. The library reports errors through an error manager that jumps back
// with longjmp; every entry point therefore runs its library calls inside a "phase"
// function whose frame holds plain data only, and one bail-out path destroys the codec
// object. Anything C++ (bitmaps, vectors) is set up outside those frames.
#include "image/codec/jpeg.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

extern "C" {
#include <jpeglib.h>
#include <jerror.h>
}

#include "common/status.h"
#include "image/codec/colour.h"
#include "image/codec/exif.h"
#include "image/raster/orientation.h"
#include "image/raster/reduce.h"

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

// The library's input from a SequentialReader, as jpeg_mem_src gives it from memory:
// at the end of the data an end-of-image marker is made up (with a warning), so that a
// file cut short decodes as far as it goes.
struct ReaderSource {
  jpeg_source_mgr pub;
  SequentialReader* reader;
  size_t taken;  // bytes the library holds of the reader's buffer
};

constexpr JOCTET kFakeEnd[2] = {0xFF, JPEG_EOI};
constexpr size_t kSourceChunk = 64 * 1024;

extern "C" void source_init(j_decompress_ptr) {}

extern "C" boolean source_fill(j_decompress_ptr cinfo) {
  auto* s = reinterpret_cast<ReaderSource*>(cinfo->src);
  s->reader->take(s->taken);
  const std::span<const uint8_t> next = s->reader->peek(kSourceChunk);
  if (next.empty()) {
    WARNMS(cinfo, JWRN_JPEG_EOF);
    s->taken = 0;
    s->pub.next_input_byte = kFakeEnd;
    s->pub.bytes_in_buffer = sizeof kFakeEnd;
    return TRUE;
  }
  s->taken = next.size();
  s->pub.next_input_byte = next.data();
  s->pub.bytes_in_buffer = next.size();
  return TRUE;
}

extern "C" void source_skip(j_decompress_ptr cinfo, long n) {
  auto* s = reinterpret_cast<ReaderSource*>(cinfo->src);
  if (n <= 0) return;
  const auto k = static_cast<size_t>(n);
  if (k <= s->pub.bytes_in_buffer) {
    s->pub.next_input_byte += k;
    s->pub.bytes_in_buffer -= k;
    return;
  }
  // Past what the library holds: the reader moves on and the next fill reads from there.
  const size_t beyond = k - s->pub.bytes_in_buffer;
  s->reader->take(s->taken);
  s->taken = 0;
  s->pub.bytes_in_buffer = 0;
  s->reader->skip(beyond);
}

extern "C" void source_term(j_decompress_ptr) {}

struct Decoder {
  jpeg_decompress_struct cinfo;
  ErrorManager err;
  ReaderSource source;
  bool created;
  bool cmyk;
  bool adobe;
  // The least output size asked for, and whether the scale may be reduced to reach it;
  // with `whole`, the DCT scale is followed by a whole-number reduction of the rows.
  bool shrink;
  bool whole;
  int32_t min_width;
  int32_t min_height;
  // Read from the file's first camera metadata segment when `tagged`.
  bool tagged;
  int32_t orientation;
  // The colour profile of the file's APP2 segments (the library's allocation), and for
  // CMYK pixels the conversion it describes.
  JOCTET* icc;
  unsigned int icc_size;
  const RowConverter* cmyk_converter;
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

// The orientation tag of the first camera metadata segment the library kept.
int32_t saved_orientation(j_decompress_ptr cinfo) {
  for (jpeg_saved_marker_ptr m = cinfo->marker_list; m; m = m->next) {
    const std::span<const uint8_t> payload(m->data, m->data_length);
    if (m->marker == JPEG_APP0 + 1 && is_exif(payload)) return exif_orientation(payload);
  }
  return raster::kUpright;
}

bool decode_header(Decoder* d, SequentialReader* reader) {
  d->cinfo.err = &d->err.pub;
  if (setjmp(d->err.jump)) return false;
  jpeg_create_decompress(&d->cinfo);
  d->created = true;
  if (d->shrink) {
    long& cap = d->cinfo.mem->max_memory_to_use;
    if (cap == 0 || cap > kMaxReducedWorkingMemory) cap = kMaxReducedWorkingMemory;
  }
  d->source.reader = reader;
  d->source.pub.init_source = source_init;
  d->source.pub.fill_input_buffer = source_fill;
  d->source.pub.skip_input_data = source_skip;
  d->source.pub.resync_to_restart = jpeg_resync_to_restart;
  d->source.pub.term_source = source_term;
  d->cinfo.src = &d->source.pub;
  if (d->tagged) jpeg_save_markers(&d->cinfo, JPEG_APP0 + 1, 0xFFFF);
  // The colour profile, which may span many segments.
  jpeg_save_markers(&d->cinfo, JPEG_APP0 + 2, 0xFFFF);
  jpeg_read_header(&d->cinfo, TRUE);
  if (!jpeg_read_icc_profile(&d->cinfo, &d->icc, &d->icc_size)) d->icc_size = 0;
  if (d->tagged) {
    d->orientation = saved_orientation(&d->cinfo);
    // The bounds are the upright picture's: where the tag swaps the sides, the stored
    // picture needs them the other way round.
    if (raster::swaps_sides(d->orientation)) std::swap(d->min_width, d->min_height);
  }
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

// CMYK (inverted, as Adobe writes it, or plain) to blue, green, red: through the file's
// profile when it has one, else by the plain formula.
void cmyk_to_bgr(const Decoder* d, const uint8_t* in, uint8_t* out, JDIMENSION width) {
  if (d->cmyk_converter) {
    d->cmyk_converter->apply(in, out, width);
    return;
  }
  const bool adobe = d->adobe;
  for (JDIMENSION x = 0; x < width; ++x, in += 4, out += 3) {
    unsigned c = in[0], m = in[1], y = in[2], k = in[3];
    if (!adobe) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
    out[0] = static_cast<uint8_t>((y * k + 127) / 255);
    out[1] = static_cast<uint8_t>((m * k + 127) / 255);
    out[2] = static_cast<uint8_t>((c * k + 127) / 255);
  }
}

bool decode_pixels(Decoder* d, uint8_t** rows, uint8_t* cmyk_row, raster::RowBuilder* reduced) {
  if (setjmp(d->err.jump)) return false;
  jpeg_start_decompress(&d->cinfo);
  while (d->cinfo.output_scanline < d->cinfo.output_height) {
    JDIMENSION line = d->cinfo.output_scanline;
    if (reduced) {
      // One row at a time into the reduction.
      uint8_t* row = reduced->next_row();
      JSAMPROW in = d->cmyk ? cmyk_row : row;
      if (jpeg_read_scanlines(&d->cinfo, &in, 1) == 1) {
        if (d->cmyk) cmyk_to_bgr(d, cmyk_row, row, d->cinfo.output_width);
        reduced->add();
      }
    } else if (d->cmyk) {
      JSAMPROW in = cmyk_row;
      if (jpeg_read_scanlines(&d->cinfo, &in, 1) == 1) cmyk_to_bgr(d, cmyk_row, rows[line], d->cinfo.output_width);
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

bool encode(Encoder* e, uint8_t** rows, int width, int height, int quality, bool progressive, const uint8_t* icc,
            unsigned int icc_size) {
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
  // The colour profile as APP2 segments of at most 65519 bytes each, numbered in order.
  if (icc_size > 0) jpeg_write_icc_profile(&e->cinfo, icc, icc_size);
  while (e->cinfo.next_scanline < e->cinfo.image_height)
    jpeg_write_scanlines(&e->cinfo, rows + e->cinfo.next_scanline, e->cinfo.image_height - e->cinfo.next_scanline);
  jpeg_finish_compress(&e->cinfo);
  return true;
}

bool decode(Decoder& d, ByteSource& source, uint64_t max_pixels, raster::Bitmap& out, std::string* message,
            IccBytes* icc = nullptr) {
  init_errors(d.err);
  SequentialReader reader(source, kSourceChunk);
  bool ok = decode_header(&d, &reader);
  std::unique_ptr<RowConverter> converter;
  if (ok) {
    ok = guarded_into(d.err.message, [&] {
      const std::span<const uint8_t> profile(d.icc, d.icc_size);
      if (d.cmyk && !profile.empty()) {
        converter = RowConverter::to_srgb(profile, d.adobe ? PixelLayout::CmykInverted : PixelLayout::Cmyk);
        d.cmyk_converter = converter.get();
      }
      // CMYK pixels come out as sRGB; others keep the file's profile.
      if (icc) icc->assign(profile.begin(), d.cmyk ? profile.begin() : profile.end());
      const auto w = static_cast<int32_t>(d.cinfo.output_width), h = static_cast<int32_t>(d.cinfo.output_height);
      // The rows of the scaled decode reduced further by a whole factor, for the least size
      // asked for.
      LoadRequest rest;
      rest.max_pixels = max_pixels;
      rest.reduce = d.whole;
      rest.min_width = d.min_width;
      rest.min_height = d.min_height;
      LoadPlan plan;
      std::string why;
      if (!plan_load(rest, w, h, plan, why)) {
        std::snprintf(d.err.message, sizeof d.err.message, "%s", why.c_str());
        return false;
      }
      std::vector<uint8_t> cmyk(d.cmyk ? 4 * static_cast<size_t>(w) : 0);
      if (plan.factor > 1) {
        raster::RowBuilder builder(w, h, plan.factor);
        if (!decode_pixels(&d, nullptr, cmyk.data(), &builder)) return false;
        out = builder.take();
        return true;
      }
      raster::Bitmap bmp(w, h, raster::Bitmap::Fill::None);
      std::vector<uint8_t*> rows(static_cast<size_t>(bmp.height()));
      for (int32_t y = 0; y < bmp.height(); ++y) rows[static_cast<size_t>(y)] = bmp.row(y);
      if (!decode_pixels(&d, rows.data(), cmyk.data(), nullptr)) return false;
      out = std::move(bmp);
      return true;
    });
  }
  if (!ok && message) *message = d.err.message;
  if (d.created) jpeg_destroy_decompress(&d.cinfo);
  std::free(d.icc);
  return ok;
}

}  // namespace

bool read_jpeg(std::span<const uint8_t> data, raster::Bitmap& out, std::string* message) {
  Decoder d{};
  SpanSource source(data);
  return decode(d, source, 0, out, message);
}

bool read_jpeg_min(std::span<const uint8_t> data, int32_t min_width, int32_t min_height, raster::Bitmap& out,
                   std::string* message, int* denominator) {
  Decoder d{};
  d.shrink = true;
  d.min_width = min_width;
  d.min_height = min_height;
  SpanSource source(data);
  bool ok = decode(d, source, 0, out, message);
  if (ok && denominator) *denominator = static_cast<int>(d.cinfo.scale_denom);
  return ok;
}

bool read_jpeg(ByteSource& source, const LoadRequest& request, JpegReduce reduce, raster::Bitmap& out,
               int32_t* orientation, std::string* message, IccBytes* icc) {
  Decoder d{};
  d.tagged = true;
  d.orientation = raster::kUpright;
  d.shrink = reduce != JpegReduce::None;
  d.whole = reduce == JpegReduce::Whole;
  d.min_width = request.min_width;
  d.min_height = request.min_height;
  const bool ok = decode(d, source, request.max_pixels, out, message, icc);
  if (ok && orientation) *orientation = d.orientation;
  return ok;
}

bool write_jpeg(const raster::Bitmap& bmp, const JpegOptions& options, Bytes& out, std::string* message) {
  Encoder e{};
  init_errors(e.err);
  std::vector<uint8_t*> rows(static_cast<size_t>(bmp.height()));
  for (int32_t y = 0; y < bmp.height(); ++y) rows[static_cast<size_t>(y)] = const_cast<uint8_t*>(bmp.row(y));
  bool ok = encode(&e, rows.data(), bmp.width(), bmp.height(), options.quality, options.progressive,
                   options.icc_profile.data(), static_cast<unsigned int>(options.icc_profile.size()));
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
