// All giflib calls. The library reads through a callback from a SequentialReader; every
// failure comes back as GIF_ERROR with a code that GifErrorString names.
#include "image/codec/gif.h"

#include <gif_lib.h>

#include <cstring>
#include <vector>

#include "common/status.h"
#include "image/raster/reduce.h"

namespace kelv::codec {
namespace {

constexpr int kNoTransparency = -1;
constexpr size_t kColours = 256;
constexpr uint64_t kMaxPixelsPerByte = 4 * 4096;
constexpr uint64_t kPixelSlack = 4096;
// The passes of an interlaced frame: the first row and the step of each.
constexpr int32_t kPassStart[] = {0, 4, 2, 1};
constexpr int32_t kPassStep[] = {8, 8, 4, 2};

extern "C" int kelv_gif_read(GifFileType* gif, GifByteType* out, int n) {
  auto* reader = static_cast<SequentialReader*>(gif->UserData);
  return n <= 0 ? 0 : static_cast<int>(reader->read(out, static_cast<size_t>(n)));
}

// An open decoder, closed with this object.
class Decoder {
 public:
  explicit Decoder(ByteSource& source) : m_reader(source, 16 * 1024) {
    m_gif = DGifOpen(&m_reader, kelv_gif_read, &m_error);
  }
  ~Decoder() {
    int error = 0;
    if (m_gif) DGifCloseFile(m_gif, &error);
  }
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  bool open() const { return m_gif != nullptr; }
  GifFileType* gif() const { return m_gif; }
  int transparent() const { return m_transparent; }

  // Walks the records up to the first frame's descriptor, noting the transparent colour
  // its graphic control block names.
  bool find_frame() {
    for (;;) {
      GifRecordType type = UNDEFINED_RECORD_TYPE;
      if (DGifGetRecordType(m_gif, &type) == GIF_ERROR) return false;
      if (type == IMAGE_DESC_RECORD_TYPE) return DGifGetImageDesc(m_gif) != GIF_ERROR;
      if (type != EXTENSION_RECORD_TYPE) return fail(D_GIF_ERR_NO_IMAG_DSCR);
      int code = 0;
      GifByteType* block = nullptr;
      if (DGifGetExtension(m_gif, &code, &block) == GIF_ERROR) return false;
      if (code == GRAPHICS_EXT_FUNC_CODE && block) {
        GraphicsControlBlock gcb{};
        if (DGifExtensionToGCB(block[0], block + 1, &gcb) == GIF_OK) m_transparent = gcb.TransparentColor;
      }
      while (block) {
        if (DGifGetExtensionNext(m_gif, &block) == GIF_ERROR) return false;
      }
    }
  }

  bool line(uint8_t* row, int32_t width) { return DGifGetLine(m_gif, row, width) != GIF_ERROR; }

  std::string message() const {
    const int code = m_gif ? m_gif->Error : m_error;
    const char* text = GifErrorString(code);
    return text ? text : "The GIF file can't be read";
  }

 private:
  bool fail(int code) {
    m_gif->Error = code;
    return false;
  }

  SequentialReader m_reader;
  GifFileType* m_gif = nullptr;
  int m_error = 0;
  int m_transparent = kNoTransparency;
};

// The frame's colours as blue, green, red, with the transparent entry showing the
// background. Entries the palette lacks (and every entry without any palette) are black.
void colour_table(const ColorMapObject* map, int transparent, raster::Bgr bg, raster::Bgr (&table)[kColours]) {
  for (auto& c : table) c = raster::Bgr{};
  if (map && map->Colors) {
    const int n = std::min<int>(map->ColorCount, static_cast<int>(kColours));
    for (int i = 0; i < n; ++i) table[i] = raster::Bgr{map->Colors[i].Blue, map->Colors[i].Green, map->Colors[i].Red};
  }
  if (transparent >= 0 && transparent < static_cast<int>(kColours)) table[transparent] = bg;
}

void to_bgr(const uint8_t* in, uint8_t* out, int32_t width, const raster::Bgr (&table)[kColours]) {
  for (int32_t x = 0; x < width; ++x, out += 3) {
    const raster::Bgr& c = table[in[x]];
    out[0] = c.b, out[1] = c.g, out[2] = c.r;
  }
}

}  // namespace

bool is_gif(std::span<const uint8_t> head) {
  return head.size() >= 6 && (std::memcmp(head.data(), "GIF87a", 6) == 0 || std::memcmp(head.data(), "GIF89a", 6) == 0);
}

bool probe_gif(ByteSource& source, int32_t& width, int32_t& height) {
  Decoder d(source);
  if (!d.open() || !d.find_frame()) return false;
  const GifImageDesc& frame = d.gif()->Image;
  if (frame.Width <= 0 || frame.Height <= 0) return false;
  width = frame.Width;
  height = frame.Height;
  return true;
}

bool read_gif(ByteSource& source, const LoadRequest& request, raster::Bitmap& out, std::string* message) {
  return guarded_load(message, [&](std::string& why) {
    Decoder d(source);
    if (!d.open() || !d.find_frame()) {
      why = d.message();
      return false;
    }
    const GifImageDesc& frame = d.gif()->Image;
    const int32_t w = frame.Width, h = frame.Height;
    LoadPlan plan;
    if (!plan_load(request, w, h, plan, why)) return false;
    // Each code of the compressed data gives at most 4096 pixels and takes
    // at least two bits: a frame the file can't fill is refused before any
    // memory is taken for it.
    const uint64_t pixels = static_cast<uint64_t>(w) * static_cast<uint64_t>(h);
    if (pixels > kMaxPixelsPerByte * source.size() + kPixelSlack ||
        (frame.Interlace && pixels > raster::Bitmap::kMaxBytes)) {
      why = "The file is too short for the image it declares";
      return false;
    }
    raster::Bgr table[kColours];
    colour_table(frame.ColorMap ? frame.ColorMap : d.gif()->SColorMap, d.transparent(), request.background, table);
    raster::RowBuilder builder(w, h, plan.factor);
    if (!frame.Interlace) {
      // Row by row: only one row of indices is held.
      std::vector<uint8_t> indices(static_cast<size_t>(w));
      for (int32_t y = 0; y < h; ++y) {
        if (!d.line(indices.data(), w)) {
          why = d.message();
          return false;
        }
        to_bgr(indices.data(), builder.next_row(), w, table);
        builder.add();
      }
    } else {
      // The passes come out of order: the frame's indices are held, a byte
      // a pixel, and turned into rows once all are there.
      std::vector<uint8_t> indices(static_cast<size_t>(w) * static_cast<size_t>(h));
      for (int pass = 0; pass < 4; ++pass)
        for (int32_t y = kPassStart[pass]; y < h; y += kPassStep[pass])
          if (!d.line(indices.data() + static_cast<size_t>(y) * static_cast<size_t>(w), w)) {
            why = d.message();
            return false;
          }
      for (int32_t y = 0; y < h; ++y) {
        to_bgr(indices.data() + static_cast<size_t>(y) * static_cast<size_t>(w), builder.next_row(), w, table);
        builder.add();
      }
    }
    out = builder.take();
    return true;
  });
}

}  // namespace kelv::codec
