#include "image/codec/bmp.h"

#include <algorithm>
#include <iterator>
#include <bit>
#include <cstring>
#include <vector>

#include "common/status.h"

namespace kelv::codec {

namespace {

// The file header before the info header.
constexpr uint32_t kFileHeader = 14;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kInfoHeaderWithAlphaSize = 56;  // with red, green, blue and alpha masks
// The sizes of the info headers this reader knows: the Windows 3 header, its two
// extensions with colour masks, and the version 4 and 5 headers.
constexpr uint32_t kInfoHeaderSizes[] = {kInfoHeaderSize, 52, kInfoHeaderWithAlphaSize, 108, 124};
// The OS/2 core header: 16-bit width and height.
constexpr uint32_t kCoreHeaderSize = 12;
// The first read of a file takes what the headers need; later ones read ahead.
constexpr size_t kFirstRead = 4096;
constexpr size_t kReadAhead = 64 * 1024;

using raster::Bgr;
using raster::Bitmap;

enum Compression : uint32_t { BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3, BI_ALPHABITFIELDS = 6 };

// A little-endian reader that checks every read against the end of the data. It reads
// the source through a window: small for the headers, larger for run-length data.
class Reader {
 public:
  explicit Reader(ByteSource& s) : m_src(s), m_size(s.size()) {}
  bool has(uint64_t n) const { return m_pos <= m_size && m_size - m_pos >= n; }
  bool seek(uint64_t pos) {
    if (pos > m_size) return false;
    m_pos = pos;
    return true;
  }
  uint64_t pos() const { return m_pos; }
  uint64_t size() const { return m_size; }
  // Copies the next n bytes and moves past them; false when the data ends first.
  bool bytes(uint8_t* dst, size_t n) {
    if (!has(n)) return false;
    while (n) {
      if (m_pos < m_window_at || m_pos >= m_window_at + m_window.size()) {
        if (!fill()) return false;
      }
      size_t at = static_cast<size_t>(m_pos - m_window_at);
      size_t k = std::min(n, m_window.size() - at);
      std::memcpy(dst, m_window.data() + at, k);
      dst += k, n -= k, m_pos += k;
    }
    return true;
  }
  bool u8(uint8_t& v) {
    if (m_pos >= m_window_at && m_pos < m_window_at + m_window.size()) {
      v = m_window[static_cast<size_t>(m_pos++ - m_window_at)];
      return true;
    }
    return bytes(&v, 1);
  }
  bool u16(uint16_t& v) {
    uint8_t b[2];
    if (!bytes(b, 2)) return false;
    v = static_cast<uint16_t>(b[0] | (b[1] << 8));
    return true;
  }
  bool u32(uint32_t& v) {
    uint8_t b[4];
    if (!bytes(b, 4)) return false;
    v = static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) | (static_cast<uint32_t>(b[2]) << 16) |
        (static_cast<uint32_t>(b[3]) << 24);
    return true;
  }
  bool i32(int32_t& v) {
    uint32_t u;
    if (!u32(u)) return false;
    v = static_cast<int32_t>(u);
    return true;
  }

 private:
  bool fill() {
    size_t want = static_cast<size_t>(std::min<uint64_t>(m_fills++ ? kReadAhead : kFirstRead, m_size - m_pos));
    m_window.resize(want);
    const platform::ReadPiece piece{m_window.data(), want};
    if (!m_src.read(m_pos, &piece, 1)) {
      m_window.clear();
      return false;
    }
    m_window_at = m_pos;
    return true;
  }

  ByteSource& m_src;
  uint64_t m_size;
  uint64_t m_pos = 0;
  std::vector<uint8_t> m_window;
  uint64_t m_window_at = 0;
  int m_fills = 0;
};

// The header fields, named after the Windows structures.
struct InfoHeader {
  uint32_t biSize = 0;
  int32_t biWidth = 0;
  int32_t biHeight = 0;
  uint16_t biBitCount = 0;
  uint32_t biCompression = BI_RGB;
  uint32_t biClrUsed = 0;
  uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
};

// One channel of a bit-field pixel: where it sits and how to widen it to 8 bits.
struct Channel {
  uint32_t mask = 0;
  int shift = 0;
  uint64_t max = 0;
  uint8_t get(uint32_t px) const {
    if (!mask) return 0;
    uint64_t v = (px & mask) >> shift;
    return static_cast<uint8_t>((v * 255 + max / 2) / max);
  }
  static Channel of(uint32_t mask) {
    Channel c;
    if (!mask) return c;
    c.mask = mask;
    c.shift = std::countr_zero(mask);
    c.max = mask >> c.shift;
    return c;
  }
};

bool read_header(Reader& r, InfoHeader& h) {
  if (!r.u32(h.biSize)) return false;
  if (h.biSize == kCoreHeaderSize) {
    uint16_t w, ht, planes, bpp;
    if (!r.u16(w) || !r.u16(ht) || !r.u16(planes) || !r.u16(bpp)) return false;
    h.biWidth = w;
    h.biHeight = static_cast<int16_t>(ht);
    h.biBitCount = bpp;
    return true;
  }
  if (std::find(std::begin(kInfoHeaderSizes), std::end(kInfoHeaderSizes), h.biSize) == std::end(kInfoHeaderSizes))
    return false;
  uint64_t start = r.pos() - 4;
  uint16_t planes;
  uint32_t size_image, xppm, yppm, important;
  if (!r.i32(h.biWidth) || !r.i32(h.biHeight) || !r.u16(planes) || !r.u16(h.biBitCount) || !r.u32(h.biCompression) ||
      !r.u32(size_image) || !r.u32(xppm) || !r.u32(yppm) || !r.u32(h.biClrUsed) || !r.u32(important))
    return false;
  if (h.biSize > kInfoHeaderSize) {
    // The later headers carry the masks themselves.
    for (int i = 0; i < (h.biSize >= kInfoHeaderWithAlphaSize ? 4 : 3); ++i)
      if (!r.u32(h.masks[i])) return false;
  } else if (h.biCompression == BI_BITFIELDS || h.biCompression == BI_ALPHABITFIELDS) {
    // After a 40-byte header the masks follow it.
    for (int i = 0; i < (h.biCompression == BI_ALPHABITFIELDS ? 4 : 3); ++i)
      if (!r.u32(h.masks[i])) return false;
    return true;
  }
  return r.seek(start + h.biSize);
}

// Run-length encoded pixels (8 or 4 bits). Runs past the row end are cut at it; pixels
// the data skips stay black; a delta past the bottom row ends the picture. Data that
// ends before the picture does (a command, a delta or an absolute run cut off) makes the
// file unreadable.
bool decode_rle(Reader& r, const InfoHeader& h, const std::vector<Bgr>& pal, Bitmap& bmp) {
  const bool four = h.biCompression == BI_RLE4;
  const int32_t W = bmp.width(), H = bmp.height();
  for (int32_t y = 0; y < H; ++y) std::memset(bmp.row(y), 0, static_cast<size_t>(W) * 3);
  auto put = [&](int32_t x, int32_t y, uint8_t index) {
    if (x < W && y < H) bmp.set_pixel(x, H - 1 - y, index < pal.size() ? pal[index] : Bgr{});
  };
  int32_t x = 0, y = 0;
  while (y < H) {
    uint8_t count, value;
    if (!r.u8(count) || !r.u8(value)) return false;
    if (count > 0) {
      for (int i = 0; i < count && x < W; ++i, ++x) put(x, y, four ? ((i & 1) ? value & 0x0F : value >> 4) : value);
      continue;
    }
    switch (value) {
      case 0: x = 0, ++y; break;  // end of line
      case 1: return true;        // end of bitmap
      case 2: {
        uint8_t dx, dy;
        if (!r.u8(dx) || !r.u8(dy)) return false;
        x += dx, y += dy;
        break;
      }
      default: {
        // An absolute run of `value` pixels, padded to a 16-bit boundary.
        size_t bytes = four ? (value + 1u) / 2 : value;
        uint8_t run[256];
        if (!r.bytes(run, bytes + (bytes & 1))) return false;
        for (int i = 0; i < value && x < W; ++i, ++x) {
          uint8_t b = run[four ? i / 2 : i];
          put(x, y, four ? ((i & 1) ? b & 0x0F : b >> 4) : b);
        }
      }
    }
  }
  return true;
}

// The converted row of a palette or bit-field file: `in` holds the row as stored.
void convert_row(const uint8_t* in, uint8_t* out_row, int32_t W, uint16_t bpp, const std::vector<Bgr>& pal,
                 const Channel& red, const Channel& green, const Channel& blue) {
  switch (bpp) {
    case 32:
    case 16:
      for (int32_t x = 0; x < W; ++x) {
        uint32_t px = bpp == 32 ? (in[4 * x] | (in[4 * x + 1] << 8) | (in[4 * x + 2] << 16) |
                                   (static_cast<uint32_t>(in[4 * x + 3]) << 24))
                                : static_cast<uint32_t>(in[2 * x] | (in[2 * x + 1] << 8));
        uint8_t* p = out_row + 3 * x;
        p[0] = blue.get(px), p[1] = green.get(px), p[2] = red.get(px);
      }
      break;
    default: {
      // Palette indices; an index past the table is black.
      const int per_byte = 8 / bpp;
      const uint8_t mask = static_cast<uint8_t>((1u << bpp) - 1);
      for (int32_t x = 0; x < W; ++x) {
        uint8_t b = in[x / per_byte];
        int shift = 8 - bpp * (x % per_byte + 1);
        uint8_t index = static_cast<uint8_t>((b >> shift) & mask);
        Bgr c = index < pal.size() ? pal[index] : Bgr{};
        uint8_t* p = out_row + 3 * x;
        p[0] = c.b, p[1] = c.g, p[2] = c.r;
      }
    }
  }
}

// 24-bit rows are stored exactly as the bitmap keeps them (blue, green, red, padded to 4
// bytes), so they are read straight into its rows: top-down files in one read, bottom-up
// ones in as few reads as the reversed order allows.
bool read_rows_in_place(ByteSource& src, uint64_t offset, bool top_down, Bitmap& bmp) {
  const int32_t H = bmp.height();
  const size_t stride = bmp.stride();
  if (top_down) {
    const platform::ReadPiece all{bmp.row(0), stride * static_cast<size_t>(H)};
    return src.read(offset, &all, 1);
  }
  constexpr int32_t kBatch = 1024;  // rows per read: the most pieces one system call takes
  std::vector<platform::ReadPiece> pieces;
  pieces.reserve(static_cast<size_t>(std::min(H, kBatch)));
  for (int32_t k = 0; k < H; k += kBatch) {
    pieces.clear();
    for (int32_t j = k; j < std::min(H, k + kBatch); ++j) pieces.push_back({bmp.row(H - 1 - j), stride});
    if (!src.read(offset + static_cast<uint64_t>(k) * stride, pieces.data(), pieces.size())) return false;
  }
  return true;
}

}  // namespace

bool read_bmp(std::span<const uint8_t> data, Bitmap& out) {
  SpanSource source(data);
  return read_bmp(source, out);
}

bool read_bmp(ByteSource& source, Bitmap& out, const LoadRequest* request, std::string* message) {
  Reader r(source);
  uint16_t magic;
  uint32_t file_size, reserved, offset;
  if (!r.u16(magic) || magic != 0x4D42 || !r.u32(file_size) || !r.u32(reserved) || !r.u32(offset)) return false;
  InfoHeader h;
  if (!read_header(r, h)) return false;

  const bool rle = h.biCompression == BI_RLE8 || h.biCompression == BI_RLE4;
  const bool fields = h.biCompression == BI_BITFIELDS || h.biCompression == BI_ALPHABITFIELDS;
  const uint16_t bpp = h.biBitCount;
  if (h.biCompression != BI_RGB && !rle && !fields) return false;
  if (rle && !((h.biCompression == BI_RLE8 && bpp == 8) || (h.biCompression == BI_RLE4 && bpp == 4))) return false;
  if (fields && bpp != 16 && bpp != 32) return false;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
  if (h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN) return false;
  const bool top_down = h.biHeight < 0;
  if (top_down && rle) return false;
  const int32_t W = h.biWidth, H = top_down ? -h.biHeight : h.biHeight;
  size_t stride = 0, bytes = 0;
  if (!Bitmap::layout(W, H, stride, bytes)) return false;
  LoadPlan plan;
  std::string why;
  if (request && !plan_load(*request, W, H, plan, why)) {
    if (message) *message = why;
    return false;
  }

  // The colour table: as many entries as the header says (or 2^bpp), all of which must
  // be in the file.
  std::vector<Bgr> pal;
  if (bpp <= 8) {
    size_t entries = h.biClrUsed ? h.biClrUsed : (size_t{1} << bpp);
    if (entries > 256) return false;
    const size_t entry_size = h.biSize == kCoreHeaderSize ? 3 : 4;
    uint8_t table[256 * 4];
    if (!r.bytes(table, entries * entry_size)) return false;
    for (size_t i = 0; i < entries; ++i)
      pal.push_back(Bgr{table[i * entry_size], table[i * entry_size + 1], table[i * entry_size + 2]});
  }
  if (!r.seek(offset)) return false;

  // Uncompressed rows must all be there before any memory is taken for them.
  const uint64_t row_bytes = ((uint64_t{static_cast<uint32_t>(W)} * bpp + 31) / 32) * 4;
  if (!rle && (source.size() - offset) / row_bytes < static_cast<uint64_t>(H)) return false;

  Bitmap bmp(W, H, Bitmap::Fill::None);  // every row is written below (RLE clears its own)
  if (rle) {
    if (!decode_rle(r, h, pal, bmp)) return false;
  } else if (bpp == 24) {
    if (!read_rows_in_place(source, offset, top_down, bmp)) return false;
  } else {
    Channel red, green, blue;
    if (bpp == 16 || bpp == 32) {
      uint32_t rm = h.masks[0], gm = h.masks[1], bm = h.masks[2];
      if (!fields) {
        rm = bpp == 16 ? 0x7C00 : 0xFF0000, gm = bpp == 16 ? 0x03E0 : 0x00FF00, bm = bpp == 16 ? 0x001F : 0x0000FF;
      }
      red = Channel::of(rm), green = Channel::of(gm), blue = Channel::of(bm);
    }
    // The stored rows are read in blocks of about a megabyte and converted.
    const size_t rows_per_block = std::max<size_t>(1, (size_t{1} << 20) / row_bytes);
    std::vector<uint8_t> block(static_cast<size_t>(row_bytes) *
                               std::min<size_t>(rows_per_block, static_cast<size_t>(H)));
    for (int32_t y = 0; y < H;) {
      const size_t rows = std::min<size_t>(rows_per_block, static_cast<size_t>(H - y));
      const platform::ReadPiece piece{block.data(), static_cast<size_t>(row_bytes) * rows};
      if (!source.read(offset + row_bytes * static_cast<uint64_t>(y), &piece, 1)) return false;
      for (size_t k = 0; k < rows; ++k, ++y)
        convert_row(block.data() + k * row_bytes, bmp.row(top_down ? y : H - 1 - y), W, bpp, pal, red, green, blue);
    }
  }
  out = std::move(bmp);
  return true;
}

bool write_bmp(const Bitmap& bmp, const std::function<bool(const uint8_t*, size_t)>& sink) {
  const uint32_t W = static_cast<uint32_t>(bmp.width()), H = static_cast<uint32_t>(bmp.height());
  const size_t row = (static_cast<size_t>(W) * 3 + 3) & ~size_t{3};
  const uint64_t pixels = uint64_t{row} * H;
  const uint64_t total = kFileHeader + kInfoHeaderSize + pixels;
  if (total > 0xFFFFFFFFu) throw Failure(Status::BitmapTooLargeToWrite);
  uint8_t p[54] = {};
  auto le16 = [&](size_t at, uint32_t v) { p[at] = static_cast<uint8_t>(v), p[at + 1] = static_cast<uint8_t>(v >> 8); };
  auto le32 = [&](size_t at, uint32_t v) { le16(at, v & 0xFFFF), le16(at + 2, v >> 16); };
  p[0] = 'B', p[1] = 'M';
  le32(2, static_cast<uint32_t>(total));
  le32(10, kFileHeader + kInfoHeaderSize);  // no colour table: the pixels follow the two headers
  le32(14, kInfoHeaderSize);
  le32(18, W);
  le32(22, H);
  le16(26, 1);
  le16(28, 24);
  le32(30, BI_RGB);
  le32(34, static_cast<uint32_t>(pixels));
  if (!sink(p, sizeof p)) return false;
  // Bottom row first, each padded with zeros to a multiple of 4 bytes.
  const size_t data = static_cast<size_t>(W) * 3;
  const uint8_t zeros[3] = {0, 0, 0};
  for (uint32_t y = 0; y < H; ++y) {
    if (!sink(bmp.row(static_cast<int32_t>(H - 1 - y)), data)) return false;
    if (row > data && !sink(zeros, row - data)) return false;
  }
  return true;
}

Bytes write_bmp(const Bitmap& bmp) {
  Bytes out;
  out.reserve(54 + ((static_cast<size_t>(bmp.width()) * 3 + 3) & ~size_t{3}) * static_cast<size_t>(bmp.height()));
  write_bmp(bmp, [&](const uint8_t* p, size_t n) {
    out.insert(out.end(), p, p + n);
    return true;
  });
  return out;
}

bool is_bmp(std::span<const uint8_t> head) { return head.size() >= 2 && head[0] == 'B' && head[1] == 'M'; }

bool probe_bmp(std::span<const uint8_t> head, int32_t& width, int32_t& height) {
  const auto u16 = [&](size_t at) { return uint32_t{head[at]} | (uint32_t{head[at + 1]} << 8); };
  const auto u32 = [&](size_t at) { return u16(at) | (u16(at + 2) << 16); };
  if (head.size() < kFileHeader + 4) return false;
  const uint32_t size = u32(kFileHeader);
  if (size == kCoreHeaderSize && head.size() >= kFileHeader + 8) {
    width = static_cast<int32_t>(u16(kFileHeader + 4));
    height = static_cast<int32_t>(u16(kFileHeader + 6));
    return true;
  }
  if (size == kInfoHeaderSize && head.size() >= kFileHeader + 12) {
    width = static_cast<int32_t>(u32(kFileHeader + 4));
    height = static_cast<int32_t>(u32(kFileHeader + 8));
    return true;
  }
  return false;
}

}  // namespace kelv::codec
