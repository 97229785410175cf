// All dav1d calls, and the conversion of its planes to blue, green, red.
#include "image/codec/avif.h"

#include <dav1d/dav1d.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "common/status.h"
#include "image/raster/reduce.h"

namespace kelv::codec {
namespace {

constexpr int kFixedBits = 14;
constexpr int32_t kFixedHalf = 1 << (kFixedBits - 1);
constexpr double kFixedOne = 255.0 * (1 << kFixedBits);

extern "C" void kelv_dav1d_no_free(const uint8_t*, void*) {}
extern "C" void kelv_dav1d_no_log(void*, const char*, va_list) {}

// One decoded AV1 picture, released with this object.
class Decoded {
 public:
  Decoded() { std::memset(&m_pic, 0, sizeof m_pic); }
  ~Decoded() {
    if (m_have) dav1d_picture_unref(&m_pic);
  }
  Decoded(const Decoded&) = delete;
  Decoded& operator=(const Decoded&) = delete;

  // Decodes the first frame of `bytes`, a picture of at most `max_pixels`.
  bool decode(std::span<const uint8_t> bytes, uint64_t max_pixels) {
    Dav1dSettings s;
    dav1d_default_settings(&s);
    // One thread, no frame queue: a page's call decodes on its own thread, and the
    // 32-bit Windows hosts under emulation run no other.
    s.n_threads = 1;
    s.max_frame_delay = 1;
    s.all_layers = 0;
    s.frame_size_limit = static_cast<unsigned>(std::min<uint64_t>(max_pixels, UINT32_MAX));
    s.logger.cookie = nullptr;
    s.logger.callback = kelv_dav1d_no_log;
    Dav1dContext* c = nullptr;
    if (dav1d_open(&c, &s) != 0) return false;
    Dav1dData data;
    std::memset(&data, 0, sizeof data);
    bool ok = dav1d_data_wrap(&data, bytes.data(), bytes.size(), kelv_dav1d_no_free, nullptr) == 0;
    while (ok) {
      if (data.sz > 0) {
        const int sent = dav1d_send_data(c, &data);
        if (sent < 0 && sent != DAV1D_ERR(EAGAIN)) ok = false;
      }
      if (!ok) break;
      const int got = dav1d_get_picture(c, &m_pic);
      if (got == 0) {
        m_have = true;
        break;
      }
      if (got != DAV1D_ERR(EAGAIN) || data.sz == 0) ok = false;
    }
    if (data.sz > 0) dav1d_data_unref(&data);
    dav1d_close(&c);
    return ok && m_have;
  }

  const Dav1dPicture& pic() const { return m_pic; }

 private:
  Dav1dPicture m_pic;
  bool m_have = false;
};

// A plane's sample at (x, y), of 8 bits or stored in 16.
inline uint32_t sample(const uint8_t* row, bool wide, int32_t x) {
  return wide ? reinterpret_cast<const uint16_t*>(row)[x] : row[x];
}

// The conversion of one image's samples to 8-bit colour, as tables by sample value.
class Converter {
 public:
  Converter(const Dav1dPicture& pic, AvifColour colour) : m_depth(pic.p.bpc) {
    // The container's colour box, where there is one, over the bitstream's own.
    if (!colour.given && pic.seq_hdr) {
      colour.matrix = static_cast<uint16_t>(pic.seq_hdr->mtrx);
      colour.full_range = pic.seq_hdr->color_range != 0;
    }
    const int32_t top = (1 << m_depth) - 1;
    const double scale = static_cast<double>(1 << (m_depth - 8));
    const double y_off = colour.full_range ? 0 : 16 * scale, y_range = colour.full_range ? top : 219 * scale;
    const double c_off = colour.full_range ? (top + 1) / 2.0 : 128 * scale;
    const double c_range = colour.full_range ? top : 224 * scale;
    m_identity = colour.matrix == 0 || pic.p.layout == DAV1D_PIXEL_LAYOUT_I400;
    m_grey = pic.p.layout == DAV1D_PIXEL_LAYOUT_I400;
    double kr = 0.2126, kb = 0.0722;  // BT.709, also for an unspecified matrix
    switch (colour.matrix) {
      case 4: kr = 0.30, kb = 0.11; break;
      case 5:
      case 6: kr = 0.299, kb = 0.114; break;
      case 7: kr = 0.212, kb = 0.087; break;
      case 9:
      case 10: kr = 0.2627, kb = 0.0593; break;
      default: break;
    }
    const double kg = 1 - kr - kb;
    auto fixed = [](double v) { return static_cast<int32_t>(std::lround(v * (1 << kFixedBits))); };
    m_luma_scale = fixed(255 / y_range);
    m_luma_offset = fixed(-y_off * 255 / y_range) + kFixedHalf;
    m_chroma_centre = static_cast<int32_t>(c_off);
    m_k_bu = fixed(2 * (1 - kb) * 255 / c_range);
    m_k_rv = fixed(2 * (1 - kr) * 255 / c_range);
    m_k_gu = fixed(2 * kb * (1 - kb) / kg * 255 / c_range);
    m_k_gv = fixed(2 * kr * (1 - kr) / kg * 255 / c_range);
    const size_t n = static_cast<size_t>(top) + 1;
    m_y.resize(n);
    for (size_t v = 0; v < n; ++v)
      m_y[v] = static_cast<int32_t>(std::lround((static_cast<double>(v) - y_off) / y_range * kFixedOne));
  }

  // A row of the picture as blue, green, red (channels 3), or into the first three of
  // every four bytes (channels 4). Subsampled chroma is upsampled bilinearly, each chroma
  // sample centred between the luma samples it covers (weights 9, 3, 3, 1), as libavif
  // does.
  void row(const Dav1dPicture& pic, int32_t y, uint8_t* out, int channels) {
    if (m_depth > 8)
      convert<uint16_t>(pic, y, out, channels);
    else
      convert<uint8_t>(pic, y, out, channels);
  }

 private:
  static uint8_t to8(int32_t v) { return static_cast<uint8_t>(std::clamp((v + kFixedHalf) >> kFixedBits, 0, 255)); }

  template <class S>
  void convert(const Dav1dPicture& pic, int32_t y, uint8_t* out, int channels) {
    const int32_t w = pic.p.w;
    const S* yr = reinterpret_cast<const S*>(static_cast<const uint8_t*>(pic.data[0]) + y * pic.stride[0]);
    const int32_t* ly = m_y.data();
    if (m_grey) {
      for (int32_t x = 0; x < w; ++x, out += channels) out[0] = out[1] = out[2] = to8(ly[yr[x]]);
      return;
    }
    upsample<S>(pic, y);
    const uint16_t* u = m_u.data();
    const uint16_t* v = m_v.data();
    if (m_identity) {
      // Green, blue and red stored as they are, each scaled as luma is.
      for (int32_t x = 0; x < w; ++x, out += channels)
        out[0] = to8(ly[u[x]]), out[1] = to8(ly[yr[x]]), out[2] = to8(ly[v[x]]);
      return;
    }
    // Colour: in fixed point, on planes of one channel each (which the compiler turns
    // into vector code), then interleaved.
    m_planes.resize(3 * static_cast<size_t>(w));
    uint8_t* pb = m_planes.data();
    uint8_t* pg = pb + w;
    uint8_t* pr = pg + w;
    yuv_row(yr, u, v, pb, pg, pr, w, m_luma_scale, m_luma_offset, m_chroma_centre, m_k_bu, m_k_gu, m_k_gv, m_k_rv);
    for (int32_t x = 0; x < w; ++x, out += channels) out[0] = pb[x], out[1] = pg[x], out[2] = pr[x];
  }

  static uint8_t level(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

  // One row's colour planes; the pointers never overlap, which lets the loop be vector
  // code.
  template <class S>
  static void yuv_row(const S* __restrict yr, const uint16_t* __restrict u, const uint16_t* __restrict v,
                      uint8_t* __restrict pb, uint8_t* __restrict pg, uint8_t* __restrict pr, int32_t w, int32_t ys,
                      int32_t yo, int32_t co, int32_t kbu, int32_t kgu, int32_t kgv, int32_t krv) {
    for (int32_t x = 0; x < w; ++x) {
      const int32_t l = static_cast<int32_t>(yr[x]) * ys + yo;
      const int32_t cu = static_cast<int32_t>(u[x]) - co, cv = static_cast<int32_t>(v[x]) - co;
      pb[x] = level((l + kbu * cu) >> kFixedBits);
      pg[x] = level((l - kgu * cu - kgv * cv) >> kFixedBits);
      pr[x] = level((l + krv * cv) >> kFixedBits);
    }
  }

  // The chroma samples of luma row y, one per luma sample, into m_u and m_v: the two
  // nearest chroma rows mixed 3 to 1, then the two nearest columns of that 3 to 1.
  template <class S>
  void upsample(const Dav1dPicture& pic, int32_t y) {
    const int32_t w = pic.p.w;
    const bool sx = pic.p.layout == DAV1D_PIXEL_LAYOUT_I420 || pic.p.layout == DAV1D_PIXEL_LAYOUT_I422;
    const bool sy = pic.p.layout == DAV1D_PIXEL_LAYOUT_I420;
    const int32_t cw = sx ? (w + 1) / 2 : w, ch = sy ? (pic.p.h + 1) / 2 : pic.p.h;
    const int32_t cy = sy ? y / 2 : y;
    const int32_t cy2 = !sy ? cy : (y & 1) ? std::min(cy + 1, ch - 1) : std::max(cy - 1, 0);
    m_u.resize(static_cast<size_t>(w) + 1), m_v.resize(static_cast<size_t>(w) + 1);
    m_col.resize(static_cast<size_t>(cw));
    for (int plane = 1; plane <= 2; ++plane) {
      const auto* base = static_cast<const uint8_t*>(pic.data[plane]);
      const S* near = reinterpret_cast<const S*>(base + cy * pic.stride[1]);
      const S* far = reinterpret_cast<const S*>(base + cy2 * pic.stride[1]);
      uint16_t* dst = plane == 1 ? m_u.data() : m_v.data();
      if (!sx) {
        for (int32_t x = 0; x < w; ++x) dst[x] = near[x];
        continue;
      }
      // Vertical first, at four times the scale (3 near + 1 far; without vertical
      // subsampling the row four times over).
      uint16_t* col = m_col.data();
      for (int32_t cx = 0; cx < cw; ++cx) col[cx] = static_cast<uint16_t>(sy ? 3 * near[cx] + far[cx] : 4 * near[cx]);
      // Then each chroma column gives its two luma columns: the left one leans on the
      // column before, the right one on the column after.
      for (int32_t cx = 0; cx < cw; ++cx) {
        const uint32_t c = col[cx], before = col[std::max(cx - 1, 0)], after = col[std::min(cx + 1, cw - 1)];
        dst[2 * cx] = static_cast<uint16_t>((3 * c + before + 8) >> 4);
        dst[2 * cx + 1] = static_cast<uint16_t>((3 * c + after + 8) >> 4);
      }
    }
  }

  std::vector<uint16_t> m_u, m_v, m_col;
  std::vector<uint8_t> m_planes;
  // The conversion in fixed point (kFixedBits of fraction): luma to 0..255 with the
  // rounding half added, chroma centred and weighted.
  int32_t m_luma_scale = 0, m_luma_offset = 0, m_chroma_centre = 0;
  int32_t m_k_bu = 0, m_k_gu = 0, m_k_gv = 0, m_k_rv = 0;

  int m_depth;
  bool m_identity = false;
  bool m_grey = false;
  // Grey and the identity matrix by a table, exactly: every sample scaled as luma is.
  std::vector<int32_t> m_y;
};

// The opacities of an alpha picture's row, 8 bits each.
void alpha_row(const Dav1dPicture& pic, bool full_range, int32_t y, int32_t width, uint8_t* out, int stride) {
  const bool wide = pic.p.bpc > 8;
  const int32_t top = (1 << pic.p.bpc) - 1;
  const double scale = static_cast<double>(1 << (pic.p.bpc - 8));
  const auto* row = static_cast<const uint8_t*>(pic.data[0]) + y * pic.stride[0];
  for (int32_t x = 0; x < width; ++x, out += stride) {
    const double v = sample(row, wide, x);
    const double a = full_range ? v / top : (v - 16 * scale) / (219 * scale);
    *out = static_cast<uint8_t>(std::clamp(std::lround(a * 255), 0L, 255L));
  }
}

bool fail(std::string& why, const char* text) {
  why = text;
  return false;
}

}  // namespace

bool probe_avif(ByteSource& source, int32_t& width, int32_t& height) {
  AvifFile file;
  std::string why;
  if (!parse_avif(source, file, why) || file.colour.width > INT32_MAX || file.colour.height > INT32_MAX) return false;
  width = static_cast<int32_t>(file.colour.width);
  height = static_cast<int32_t>(file.colour.height);
  return true;
}

bool read_avif(ByteSource& source, const LoadRequest& request, raster::Bitmap& out, std::string* message) {
  return guarded_load(message, [&](std::string& why) {
    AvifFile file;
    if (!parse_avif(source, file, why)) return false;
    const AvifImage& c = file.colour;
    LoadPlan plan;
    if (!plan_load(request, c.width, c.height, plan, why)) return false;
    std::vector<uint8_t> bytes;
    if (!avif_image_bytes(source, file, c, bytes)) return fail(why, "The AVIF file is cut short");
    // The decoder refuses a frame larger than the container declares.
    const uint64_t pixels = uint64_t{c.width} * c.height;
    Decoded colour;
    if (!colour.decode(bytes, pixels)) return fail(why, "The AVIF image is damaged or cut short");
    const Dav1dPicture& pic = colour.pic();
    if (static_cast<uint32_t>(pic.p.w) != c.width || static_cast<uint32_t>(pic.p.h) != c.height)
      return fail(why, "The AVIF image's size differs from what its file declares");
    Decoded alpha;
    bool with_alpha = false;
    if (file.has_alpha) {
      std::vector<uint8_t> alpha_bytes;
      if (!avif_image_bytes(source, file, file.alpha, alpha_bytes) || !alpha.decode(alpha_bytes, pixels))
        return fail(why, "The AVIF image's alpha is damaged or cut short");
      if (alpha.pic().p.w != pic.p.w || alpha.pic().p.h != pic.p.h)
        return fail(why, "The AVIF image's alpha differs in size from its colour");
      with_alpha = true;
    }
    const bool alpha_full = file.alpha.colour.given ? file.alpha.colour.full_range
                                                    : !alpha.pic().seq_hdr || alpha.pic().seq_hdr->color_range != 0;
    Converter convert(pic, c.colour);
    const int32_t w = pic.p.w, h = pic.p.h;
    raster::RowBuilder builder(w, h, plan.factor);
    std::vector<uint8_t> bgra(with_alpha ? 4 * static_cast<size_t>(w) : 0);
    const raster::Bgr bg = request.background;
    for (int32_t y = 0; y < h; ++y) {
      uint8_t* row = builder.next_row();
      if (!with_alpha) {
        convert.row(pic, y, row, 3);
      } else {
        convert.row(pic, y, bgra.data(), 4);
        alpha_row(alpha.pic(), alpha_full, y, w, bgra.data() + 3, 4);
        if (!file.premultiplied) {
          raster::mix_row_over(bgra.data(), row, w, bg);
        } else {
          // Colour already multiplied by its opacity: the background adds
          // what the opacity leaves.
          const uint8_t* p = bgra.data();
          auto add = [](unsigned c, unsigned a, unsigned b) {
            return static_cast<uint8_t>(std::min(255u, c + raster::mix_over(0, a, b)));
          };
          for (int32_t x = 0; x < w; ++x, p += 4) {
            row[3 * x] = add(p[0], p[3], bg.b);
            row[3 * x + 1] = add(p[1], p[3], bg.g);
            row[3 * x + 2] = add(p[2], p[3], bg.r);
          }
        }
      }
      builder.add();
    }
    out = builder.take();
    return true;
  });
}

}  // namespace kelv::codec
