// All libheif calls: the file read through its reader interface from a ByteSource, the
// decoded planes converted to blue, green, red rows.
#include "image/codec/heif.h"

#include <algorithm>
#include <cstring>

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
  // The row's samples scaled to 8 bits, rounded.
  void row8(int32_t y, int32_t width, uint8_t* out) const {
    const uint8_t* r = data + static_cast<ptrdiff_t>(y) * stride;
    if (depth == 8) {
      std::memcpy(out, r, static_cast<size_t>(width));
      return;
    }
    const uint32_t top = (1u << depth) - 1;
    if (depth < 8) {
      for (int32_t x = 0; x < width; ++x)
        out[x] = static_cast<uint8_t>((std::min<uint32_t>(r[x], top) * 255 + top / 2) / top);
      return;
    }
    for (int32_t x = 0; x < width; ++x) {
      uint16_t v;
      std::memcpy(&v, r + 2 * static_cast<size_t>(x), 2);
      out[x] = static_cast<uint8_t>((std::min<uint32_t>(v, top) * 255 + top / 2) / top);
    }
  }
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
    heif_decoding_options* options = lib.decoding_options_alloc();
    if (!options) return false;
    Decoded image(lib);
    // Planes as decoded: libheif gives colour as red, green and blue planes of full size,
    // grey as one, each at the file's depth; turns, mirrors and crops applied.
    const heif_error decoded =
        lib.decode_image(handle, image.out(), heif_colorspace_undefined, heif_chroma_undefined, options);
    lib.decoding_options_free(options);
    if (decoded.code != heif_error_Ok || !image.get()) {
      why = decoded.code == heif_error_Memory_allocation_error ? "" : "The picture is damaged or cut short";
      return false;
    }
    const heif_colorspace space = lib.image_get_colorspace(image.get());
    const bool grey = space == heif_colorspace_monochrome;
    if (!grey && space != heif_colorspace_RGB) {
      why = "The picture is damaged or cut short";
      return false;
    }
    Plane r, g, b, a;
    const heif_channel first = grey ? heif_channel_Y : heif_channel_R;
    const int32_t w = lib.image_get_width(image.get(), first), h = lib.image_get_height(image.get(), first);
    const bool planes_ok = grey
                               ? r.take(lib, image.get(), heif_channel_Y)
                               : r.take(lib, image.get(), heif_channel_R) && g.take(lib, image.get(), heif_channel_G) &&
                                     b.take(lib, image.get(), heif_channel_B);
    LoadPlan decoded_plan;
    if (!planes_ok || !plan_load(request, w, h, decoded_plan, why) || decoded_plan.width != plan.width ||
        decoded_plan.height != plan.height) {
      if (why.empty()) why = "The picture is damaged or cut short";
      return false;
    }
    const bool alpha = lib.image_handle_has_alpha_channel(handle) && a.take(lib, image.get(), heif_channel_Alpha);
    const bool premultiplied = alpha && lib.image_handle_is_premultiplied_alpha(handle);
    raster::RowBuilder builder(w, h, plan.factor);
    std::vector<uint8_t> planes(4 * static_cast<size_t>(w));
    uint8_t* pr = planes.data();
    uint8_t* pg = grey ? pr : pr + w;
    uint8_t* pb = grey ? pr : pr + 2 * w;
    uint8_t* pa = pr + 3 * w;
    std::vector<uint8_t> bgra(alpha ? 4 * static_cast<size_t>(w) : 0);
    const raster::Bgr bg = request.background;
    for (int32_t y = 0; y < h; ++y) {
      r.row8(y, w, pr);
      if (!grey) g.row8(y, w, pg), b.row8(y, w, pb);
      uint8_t* row = builder.next_row();
      if (!alpha) {
        for (int32_t x = 0; x < w; ++x) row[3 * x] = pb[x], row[3 * x + 1] = pg[x], row[3 * x + 2] = pr[x];
      } else if (!premultiplied) {
        a.row8(y, w, pa);
        for (int32_t x = 0; x < w; ++x)
          bgra[4 * x] = pb[x], bgra[4 * x + 1] = pg[x], bgra[4 * x + 2] = pr[x], bgra[4 * x + 3] = pa[x];
        raster::mix_row_over(bgra.data(), row, w, bg);
      } else {
        // Colour already multiplied by its opacity: the background adds what the opacity
        // leaves.
        a.row8(y, w, pa);
        auto add = [](unsigned c, unsigned o, unsigned back) {
          return static_cast<uint8_t>(std::min(255u, c + raster::mix_over(0, o, back)));
        };
        for (int32_t x = 0; x < w; ++x)
          row[3 * x] = add(pb[x], pa[x], bg.b), row[3 * x + 1] = add(pg[x], pa[x], bg.g),
                  row[3 * x + 2] = add(pr[x], pa[x], bg.r);
      }
      builder.add();
    }
    out = builder.take();
    if (icc_profile) *icc_profile = icc_of(lib, handle);
    return true;
  });
}

}  // namespace kelv::codec
