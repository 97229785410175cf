// All libheif calls: the file read through its reader interface from a ByteSource, the
// decoded planes converted to blue, green, red rows.
#include "image/codec/heif.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

#include "common/status.h"
#include "image/codec/colour.h"
#include "image/codec/heif_library.h"
#include "image/raster/colour.h"
#include "image/raster/reduce.h"

namespace kelv::codec {
namespace {

// The brands of a file type box: the major brand and the compatible ones.
template <class F>
bool any_brand(std::span<const uint8_t> head, F match) {
  if (head.size() < 16 || std::memcmp(head.data() + 4, "ftyp", 4) != 0) return false;
  const size_t size =
      std::min<size_t>(head.size(), size_t{head[0]} << 24 | size_t{head[1]} << 16 | size_t{head[2]} << 8 | head[3]);
  if (match(head.data() + 8)) return true;
  for (size_t at = 16; at + 4 <= size; at += 4)
    if (match(head.data() + at)) return true;
  return false;
}

bool brand_in(const uint8_t* brand, std::initializer_list<const char*> names) {
  return std::any_of(names.begin(), names.end(), [&](const char* n) { return std::memcmp(brand, n, 4) == 0; });
}

// libheif's reader over a ByteSource.
struct Reader {
  ByteSource& source;
  uint64_t position = 0;

  static int64_t get_position(void* self) { return static_cast<int64_t>(static_cast<Reader*>(self)->position); }
  static int read(void* data, size_t size, void* self) {
    auto& r = *static_cast<Reader*>(self);
    if (size > r.source.size() - std::min(r.position, r.source.size()) || !r.source.read(r.position, data, size))
      return 1;
    r.position += size;
    return 0;
  }
  static int seek(int64_t position, void* self) {
    auto& r = *static_cast<Reader*>(self);
    if (position < 0 || static_cast<uint64_t>(position) > r.source.size()) return 1;
    r.position = static_cast<uint64_t>(position);
    return 0;
  }
  static heif_reader_grow_status wait_for_file_size(int64_t target, void* self) {
    return target >= 0 && static_cast<uint64_t>(target) <= static_cast<Reader*>(self)->source.size()
               ? heif_reader_grow_status_size_reached
               : heif_reader_grow_status_size_beyond_eof;
  }
};

const heif_reader kReader{1, Reader::get_position, Reader::read, Reader::seek, Reader::wait_for_file_size};

// An open file and its primary image's handle, released with this object.
class HeifFile {
 public:
  explicit HeifFile(ByteSource& source) : m_reader{source} {}
  ~HeifFile() {
    if (m_handle) m_lib->image_handle_release(m_handle);
    if (m_context) m_lib->context_free(m_context);
  }
  HeifFile(const HeifFile&) = delete;
  HeifFile& operator=(const HeifFile&) = delete;

  bool open(std::string& why) {
    m_lib = heif_library(why);
    if (!m_lib) return false;
    m_context = m_lib->context_alloc();
    if (!m_context) return false;
    if (m_lib->context_read_from_reader(m_context, &kReader, &m_reader, nullptr).code != heif_error_Ok ||
        m_lib->context_get_primary_image_handle(m_context, &m_handle).code != heif_error_Ok) {
      why = "The picture is damaged or cut short";
      return false;
    }
    return true;
  }
  const HeifLibrary& lib() const { return *m_lib; }
  heif_image_handle* handle() const { return m_handle; }

 private:
  Reader m_reader;
  const HeifLibrary* m_lib = nullptr;
  heif_context* m_context = nullptr;
  heif_image_handle* m_handle = nullptr;
};

// A decoded image, released with this object.
class Decoded {
 public:
  explicit Decoded(const HeifLibrary& lib) : m_lib(lib) {}
  ~Decoded() {
    if (m_image) m_lib.image_release(m_image);
  }
  Decoded(const Decoded&) = delete;
  Decoded& operator=(const Decoded&) = delete;
  heif_image** out() { return &m_image; }
  heif_image* get() const { return m_image; }
  void release() {
    if (m_image) m_lib.image_release(m_image);
    m_image = nullptr;
  }

 private:
  const HeifLibrary& m_lib;
  heif_image* m_image = nullptr;
};

// One plane of a decoded image: 8 bits a sample, or more in 16.
struct Plane {
  const uint8_t* data = nullptr;
  int stride = 0;
  int depth = 8;

  bool take(const HeifLibrary& lib, const heif_image* image, heif_channel channel) {
    data = lib.image_get_plane_readonly(image, channel, &stride);
    depth = lib.image_get_bits_per_pixel_range(image, channel);
    return data && depth >= 1 && depth <= 16;
  }
  const uint8_t* row(int32_t y) const { return data + static_cast<ptrdiff_t>(y) * stride; }
  // The row's samples scaled to 8 bits, rounded.
  void row8(int32_t y, int32_t width, uint8_t* out) const { scale8(row(y), width, depth, out); }
  static void scale8(const uint8_t* r, int32_t width, int depth, uint8_t* out) {
    if (depth == 8) {
      std::memcpy(out, r, static_cast<size_t>(width));
      return;
    }
    const uint32_t top = (1u << depth) - 1;
    if (depth < 8) {
      for (int32_t x = 0; x < width; ++x) out[x] = static_cast<uint8_t>(to8(std::min<uint32_t>(r[x], top), top));
      return;
    }
    for (int32_t x = 0; x < width; ++x) {
      uint16_t v;
      std::memcpy(&v, r + 2 * static_cast<size_t>(x), 2);
      out[x] = static_cast<uint8_t>(to8(std::min<uint32_t>(v, top), top));
    }
  }
  // A sample of 0..top as 0..255, rounded.
  static uint32_t to8(uint32_t v, uint32_t top) { return (v * 255 + top / 2) / top; }
};

// YCbCr planes as coded to blue, green, red rows, as libheif converts them (each chroma
// sample serves the luma samples it covers; limited range widened first), in fixed point
// on whole rows so that the compiler makes vector code of it. Identity (0), YCgCo (8) and
// the matrices derived from the primaries (12, 13) are left to libheif.
class YcbcrRows {
 public:
  static bool handles(int matrix) { return matrix != 0 && matrix != 8 && matrix != 12 && matrix != 13; }

  YcbcrRows(const Plane (&planes)[3], int32_t width, int sub_x, int sub_y, int matrix, bool full_range)
      : m_planes(planes), m_width(width), m_shift_x(sub_x == 2 ? 1 : 0), m_shift_y(sub_y == 2 ? 1 : 0) {
    const int depth = planes[0].depth;
    m_top = (1 << depth) - 1;
    m_half = 1 << (depth - 1);
    // The coefficients libheif gives the matrix; BT.601's for the others.
    double kr = 0, kb = 0;
    switch (matrix) {
      case 1: kr = 0.2126, kb = 0.0722; break;
      case 4: kr = 0.30, kb = 0.11; break;
      case 5:
      case 6: kr = 0.299, kb = 0.114; break;
      case 7: kr = 0.212, kb = 0.087; break;
      case 9:
      case 10: kr = 0.2627, kb = 0.0593; break;
      default: break;
    }
    double r_cr = 1.402, g_cb = -0.344136, g_cr = -0.714136, b_cb = 1.772;
    if (kr != 0 || kb != 0) {
      r_cr = 2 * (1 - kr), b_cb = 2 * (1 - kb);
      g_cb = 2 * kb * (1 - kb) / (kb + kr - 1), g_cr = 2 * kr * (1 - kr) / (kb + kr - 1);
    }
    const double luma = full_range ? 1 : 1.1689, chroma = full_range ? 1 : 1.1429;
    auto fixed = [](double v) { return static_cast<int32_t>(std::lround(v * (1 << kBits))); };
    m_luma_scale = fixed(luma);
    m_luma_offset = full_range ? 0 : 16 << (depth - 8);
    m_r_cr = fixed(r_cr * chroma), m_g_cb = fixed(g_cb * chroma), m_g_cr = fixed(g_cr * chroma);
    m_b_cb = fixed(b_cb * chroma);
    m_cb.resize(static_cast<size_t>(width)), m_cr.resize(static_cast<size_t>(width));
    m_packed.resize(static_cast<size_t>(width));
  }

  // Row y as blue, green, red, 8 bits each.
  void row(int32_t y, uint8_t* bgr) {
    if (m_planes[0].depth > 8)
      convert<uint16_t, int64_t>(y, bgr);
    else
      convert<uint8_t, int32_t>(y, bgr);
  }

 private:
  static constexpr int kBits = 14;

  template <class S, class A>
  void convert(int32_t y, uint8_t* bgr) {
    const int32_t w = m_width;
    const S* luma = reinterpret_cast<const S*>(m_planes[0].row(y));
    const S* cb = reinterpret_cast<const S*>(m_planes[1].row(y >> m_shift_y));
    const S* cr = reinterpret_cast<const S*>(m_planes[2].row(y >> m_shift_y));
    if (m_shift_x)
      centre<S, 1>(cb, cr, w);
    else
      centre<S, 0>(cb, cr, w);
    uint32_t* packed = m_packed.data();
    if constexpr (sizeof(S) == 1) {
      pack<S, A>(luma, packed, w, [](A v) { return static_cast<uint32_t>(v); });
    } else {
      // At the picture's depth, then to 8 bits as every other plane is.
      const uint32_t top = static_cast<uint32_t>(m_top);
      pack<S, A>(luma, packed, w, [top](A v) { return Plane::to8(static_cast<uint32_t>(v), top); });
    }
    // Three bytes a pixel, written four at a time (the last pixel's three alone).
    for (int32_t x = 0; x + 1 < w; ++x) std::memcpy(bgr + 3 * x, packed + x, 4);
    if (w > 0) std::memcpy(bgr + 3 * (w - 1), packed + w - 1, 3);
  }

  // The row's chroma, centred on zero, one sample per luma sample.
  template <class S, int kShift>
  void centre(const S* __restrict cb, const S* __restrict cr, int32_t w) {
    int32_t* __restrict u = m_cb.data();
    int32_t* __restrict v = m_cr.data();
    const int32_t half = m_half;
    if constexpr (kShift == 0) {
      for (int32_t x = 0; x < w; ++x) u[x] = cb[x] - half, v[x] = cr[x] - half;
    } else {
      for (int32_t k = 0; k < w / 2; ++k) {
        const int32_t a = cb[k] - half, b = cr[k] - half;
        u[2 * k] = a, u[2 * k + 1] = a, v[2 * k] = b, v[2 * k + 1] = b;
      }
      if (w & 1) u[w - 1] = cb[w / 2] - half, v[w - 1] = cr[w / 2] - half;
    }
  }

  // Each pixel as blue | green << 8 | red << 16, 8 bits each; the pointers never
  // overlap, so the loop is vector code.
  template <class S, class A, class To8>
  void pack(const S* __restrict luma, uint32_t* __restrict packed, int32_t w, To8 to8) const {
    const int32_t* __restrict u = m_cb.data();
    const int32_t* __restrict v = m_cr.data();
    const A scale = m_luma_scale, r_cr = m_r_cr, g_cb = m_g_cb, g_cr = m_g_cr, b_cb = m_b_cb;
    const A round = A{1} << (kBits - 1), top = m_top;
    const int32_t offset = m_luma_offset;
    auto level = [top](A c) { return c < 0 ? A{0} : c > top ? top : c; };
    for (int32_t x = 0; x < w; ++x) {
      const A l = static_cast<A>(static_cast<int32_t>(luma[x]) - offset) * scale + round;
      const A b = level((l + b_cb * u[x]) >> kBits), g = level((l + g_cb * u[x] + g_cr * v[x]) >> kBits),
              r = level((l + r_cr * v[x]) >> kBits);
      packed[x] = to8(b) | to8(g) << 8 | to8(r) << 16;
    }
  }

  const Plane (&m_planes)[3];
  int32_t m_width;
  int m_shift_x, m_shift_y;
  int32_t m_top = 255, m_half = 128, m_luma_offset = 0;
  int32_t m_luma_scale = 0, m_r_cr = 0, m_g_cb = 0, m_g_cr = 0, m_b_cb = 0;
  std::vector<int32_t> m_cb, m_cr;
  std::vector<uint32_t> m_packed;
};

// The colour profile the file gives the image: its ICC profile, or the profile of its
// nclx description (none for sRGB and BT.709).
std::vector<uint8_t> icc_of(const HeifLibrary& lib, const heif_image_handle* handle) {
  const heif_color_profile_type type = lib.image_handle_get_color_profile_type(handle);
  if (type == heif_color_profile_type_nclx) {
    heif_color_profile_nclx* nclx = nullptr;
    if (lib.image_handle_get_nclx_color_profile(handle, &nclx).code != heif_error_Ok || !nclx) return {};
    std::vector<uint8_t> icc = icc_from_nclx(nclx->color_primaries, nclx->transfer_characteristics);
    lib.nclx_color_profile_free(nclx);
    return icc;
  }
  if (type != heif_color_profile_type_prof && type != heif_color_profile_type_rICC) return {};
  std::vector<uint8_t> icc(lib.image_handle_get_raw_color_profile_size(handle));
  if (icc.empty() || lib.image_handle_get_raw_color_profile(handle, icc.data()).code != heif_error_Ok) return {};
  return icc;
}

}  // namespace

bool is_avif(std::span<const uint8_t> head) {
  return any_brand(head, [](const uint8_t* b) { return brand_in(b, {"avif", "avis"}); });
}

bool is_heic(std::span<const uint8_t> head) {
  return !is_avif(head) && any_brand(head, [](const uint8_t* b) {
    return brand_in(b, {"heic", "heix", "heim", "heis", "hevc", "hevx", "hevm", "hevs", "mif1", "msf1"});
  });
}

bool probe_heif(ByteSource& source, int32_t& width, int32_t& height, std::string* message) {
  return guarded_load(message, [&](std::string& why) {
    HeifFile file(source);
    if (!file.open(why)) return false;
    const int w = file.lib().image_handle_get_width(file.handle()),
              h = file.lib().image_handle_get_height(file.handle());
    if (w <= 0 || h <= 0) {
      why = "The picture is damaged or cut short";
      return false;
    }
    width = w;
    height = h;
    return true;
  });
}

namespace {

// Decodes the file's picture with turns, mirrors and crops applied: YCbCr planes as coded
// when `space` is heif_colorspace_YCbCr (grey stays grey), else red, green and blue planes
// of full size.
bool decode(const HeifLibrary& lib, heif_image_handle* handle, heif_colorspace space, Decoded& image,
            std::string& why) {
  heif_decoding_options* options = lib.decoding_options_alloc();
  if (!options) return false;
  const heif_error decoded = lib.decode_image(handle, image.out(), space, heif_chroma_undefined, options);
  lib.decoding_options_free(options);
  if (decoded.code == heif_error_Ok && image.get()) return true;
  why = decoded.code == heif_error_Memory_allocation_error ? "" : "The picture is damaged or cut short";
  return false;
}

// The matrix and range the picture was coded with (libheif's defaults when it says none).
void coding_of(const HeifLibrary& lib, const heif_image* image, int& matrix, bool& full_range) {
  matrix = 2, full_range = true;
  heif_color_profile_nclx* nclx = nullptr;
  if (lib.image_get_nclx_color_profile(image, &nclx).code != heif_error_Ok || !nclx) return;
  matrix = nclx->matrix_coefficients;
  full_range = nclx->full_range_flag != 0;
  lib.nclx_color_profile_free(nclx);
}

}  // namespace

bool read_heif(ByteSource& source, const LoadRequest& request, raster::Bitmap& out, std::string* message,
               std::vector<uint8_t>* icc_profile) {
  return guarded_load(message, [&](std::string& why) {
    HeifFile file(source);
    if (!file.open(why)) return false;
    const HeifLibrary& lib = file.lib();
    heif_image_handle* handle = file.handle();
    // The size as shown, from the file's properties: checked before anything is decoded.
    LoadPlan plan;
    if (!plan_load(request, lib.image_handle_get_width(handle), lib.image_handle_get_height(handle), plan, why))
      return false;
    // The planes as coded, converted here a row at a time: a quarter of the memory of
    // libheif's full-size colour planes for 4:2:0, and faster. Matrices this conversion
    // leaves to libheif are decoded again as colour planes.
    Decoded image(lib);
    if (!decode(lib, handle, heif_colorspace_YCbCr, image, why)) return false;
    heif_colorspace space = lib.image_get_colorspace(image.get());
    Plane planes[3], a;
    int matrix = 2;
    bool full_range = true;
    heif_chroma chroma = heif_chroma_undefined;
    if (space == heif_colorspace_YCbCr) {
      coding_of(lib, image.get(), matrix, full_range);
      chroma = lib.image_get_chroma_format(image.get());
      const bool taken = planes[0].take(lib, image.get(), heif_channel_Y) &&
                         planes[1].take(lib, image.get(), heif_channel_Cb) &&
                         planes[2].take(lib, image.get(), heif_channel_Cr);
      const bool ours = taken && YcbcrRows::handles(matrix) && planes[0].depth >= 8 &&
                        planes[1].depth == planes[0].depth && planes[2].depth == planes[0].depth &&
                        (chroma == heif_chroma_420 || chroma == heif_chroma_422 || chroma == heif_chroma_444);
      if (!ours) {
        // The planes go before the colour planes come, so the two are never held at once.
        image.release();
        if (!decode(lib, handle, heif_colorspace_undefined, image, why)) return false;
        space = lib.image_get_colorspace(image.get());
      }
    }
    const bool grey = space == heif_colorspace_monochrome, ycbcr = space == heif_colorspace_YCbCr;
    const heif_channel first = grey || ycbcr ? heif_channel_Y : heif_channel_R;
    const int32_t w = lib.image_get_width(image.get(), first), h = lib.image_get_height(image.get(), first);
    const bool planes_ok = ycbcr  ? true
                           : grey ? planes[0].take(lib, image.get(), heif_channel_Y)
                                  : space == heif_colorspace_RGB && planes[0].take(lib, image.get(), heif_channel_R) &&
                                        planes[1].take(lib, image.get(), heif_channel_G) &&
                                        planes[2].take(lib, image.get(), heif_channel_B);
    LoadPlan decoded_plan;
    if (!planes_ok || !plan_load(request, w, h, decoded_plan, why) || decoded_plan.width != plan.width ||
        decoded_plan.height != plan.height) {
      if (why.empty()) why = "The picture is damaged or cut short";
      return false;
    }
    const bool alpha = lib.image_handle_has_alpha_channel(handle) && a.take(lib, image.get(), heif_channel_Alpha);
    const bool premultiplied = alpha && lib.image_handle_is_premultiplied_alpha(handle);
    std::optional<YcbcrRows> converter;
    if (ycbcr)
      converter.emplace(planes, w, chroma == heif_chroma_444 ? 1 : 2, chroma == heif_chroma_420 ? 2 : 1, matrix,
                        full_range);
    raster::RowBuilder builder(w, h, plan.factor);
    std::vector<uint8_t> channel(3 * static_cast<size_t>(w)), pa(alpha ? static_cast<size_t>(w) : 0);
    std::vector<uint8_t> bgra(alpha ? 4 * static_cast<size_t>(w) : 0);
    const raster::Bgr bg = request.background;
    for (int32_t y = 0; y < h; ++y) {
      uint8_t* row = builder.next_row();
      if (converter) {
        converter->row(y, row);
      } else {
        // Grey, or colour planes from libheif: each channel to 8 bits, then interleaved.
        uint8_t* pr = channel.data();
        uint8_t* pg = grey ? pr : pr + w;
        uint8_t* pb = grey ? pr : pr + 2 * w;
        planes[0].row8(y, w, pr);
        if (!grey) planes[1].row8(y, w, pg), planes[2].row8(y, w, pb);
        for (int32_t x = 0; x < w; ++x) row[3 * x] = pb[x], row[3 * x + 1] = pg[x], row[3 * x + 2] = pr[x];
      }
      if (alpha) {
        a.row8(y, w, pa.data());
        if (!premultiplied) {
          for (int32_t x = 0; x < w; ++x)
            bgra[4 * x] = row[3 * x], bgra[4 * x + 1] = row[3 * x + 1], bgra[4 * x + 2] = row[3 * x + 2],
                     bgra[4 * x + 3] = pa[x];
          raster::mix_row_over(bgra.data(), row, w, bg);
        } else {
          // Colour already multiplied by its opacity: the background adds what the
          // opacity leaves.
          const uint8_t back[3] = {bg.b, bg.g, bg.r};
          for (int32_t x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
              row[3 * x + c] = static_cast<uint8_t>(
                  std::min(255u, row[3 * x + c] + static_cast<unsigned>(raster::mix_over(0, pa[x], back[c]))));
        }
      }
      builder.add();
    }
    out = builder.take();
    if (icc_profile) *icc_profile = icc_of(lib, handle);
    return true;
  });
}

}  // namespace kelv::codec
