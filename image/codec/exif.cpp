#include "image/codec/exif.h"

#include <cstring>

namespace kelv::codec {
namespace {

constexpr int32_t kUpright = 1;
constexpr uint16_t kOrientationTag = 0x0112;
constexpr uint8_t kApp1 = 0xE1;
constexpr uint8_t kStartOfScan = 0xDA;
constexpr uint8_t kEndOfImage = 0xD9;
constexpr size_t kEntryBytes = 12;
constexpr uint8_t kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};

// TIFF field types that can carry a small number.
enum FieldType : uint16_t { kByte = 1, kShort = 3, kLong = 4 };

// Reads numbers of the block's byte order; every read is checked against the end.
class TiffReader {
 public:
  explicit TiffReader(std::span<const uint8_t> tiff) : m_data(tiff) {}

  bool start() {
    if (m_data.size() < 8) return false;
    if (m_data[0] == 'I' && m_data[1] == 'I')
      m_big = false;
    else if (m_data[0] == 'M' && m_data[1] == 'M')
      m_big = true;
    else
      return false;
    uint16_t magic = 0;
    return u16(2, magic) && magic == 42;
  }
  bool u16(size_t at, uint16_t& v) const {
    if (at > m_data.size() || m_data.size() - at < 2) return false;
    const uint8_t* p = m_data.data() + at;
    v = m_big ? static_cast<uint16_t>(p[0] << 8 | p[1]) : static_cast<uint16_t>(p[1] << 8 | p[0]);
    return true;
  }
  bool u32(size_t at, uint32_t& v) const {
    uint16_t a = 0, b = 0;
    if (!u16(at, a) || !u16(at + 2, b)) return false;
    v = m_big ? (uint32_t{a} << 16 | b) : (uint32_t{b} << 16 | a);
    return true;
  }
  bool u8(size_t at, uint8_t& v) const {
    if (at >= m_data.size()) return false;
    v = m_data[at];
    return true;
  }
  size_t size() const { return m_data.size(); }

 private:
  std::span<const uint8_t> m_data;
  bool m_big = false;
};

int32_t orientation_of(const TiffReader& r, size_t entry) {
  uint16_t type = 0;
  uint32_t count = 0;
  if (!r.u16(entry + 2, type) || !r.u32(entry + 4, count) || count == 0) return kUpright;
  // A value of one number sits in the entry itself, at its start.
  uint32_t value = 0;
  if (type == kShort) {
    uint16_t v = 0;
    if (!r.u16(entry + 8, v)) return kUpright;
    value = v;
  } else if (type == kLong) {
    if (!r.u32(entry + 8, value)) return kUpright;
  } else if (type == kByte) {
    uint8_t v = 0;
    if (!r.u8(entry + 8, v)) return kUpright;
    value = v;
  } else {
    return kUpright;
  }
  return value >= 1 && value <= 8 ? static_cast<int32_t>(value) : kUpright;
}

}  // namespace

int32_t exif_orientation(std::span<const uint8_t> app1) {
  if (!is_exif(app1)) return kUpright;
  TiffReader r(app1.subspan(sizeof kExifHeader));
  uint32_t ifd = 0;
  uint16_t entries = 0;
  if (!r.start() || !r.u32(4, ifd) || !r.u16(ifd, entries)) return kUpright;
  // No more entries than the bytes hold, whatever the count says.
  const size_t first = size_t{ifd} + 2;
  const size_t room = (r.size() - first) / kEntryBytes;
  for (size_t i = 0; i < entries && i < room; ++i) {
    uint16_t tag = 0;
    const size_t entry = first + i * kEntryBytes;
    if (!r.u16(entry, tag)) break;
    if (tag == kOrientationTag) return orientation_of(r, entry);
  }
  return kUpright;
}

bool is_exif(std::span<const uint8_t> app1) {
  return app1.size() >= sizeof kExifHeader && std::memcmp(app1.data(), kExifHeader, sizeof kExifHeader) == 0;
}

int32_t jpeg_orientation(std::span<const uint8_t> file) {
  if (file.size() < 4 || file[0] != 0xFF || file[1] != 0xD8) return kUpright;
  size_t at = 2;
  // Segment by segment up to the image data; each step moves forward, so the walk ends.
  while (at + 4 <= file.size()) {
    if (file[at] != 0xFF) return kUpright;
    const uint8_t marker = file[at + 1];
    if (marker == 0xFF) {  // fill byte before a marker
      ++at;
      continue;
    }
    if (marker == kStartOfScan || marker == kEndOfImage) return kUpright;
    // Markers without a length: restart markers and TEM.
    if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
      at += 2;
      continue;
    }
    const size_t length = size_t{file[at + 2]} << 8 | file[at + 3];
    if (length < 2 || length > file.size() - at - 2) return kUpright;
    if (marker == kApp1) {
      std::span<const uint8_t> payload = file.subspan(at + 4, length - 2);
      if (is_exif(payload)) return exif_orientation(payload);
    }
    at += 2 + length;
  }
  return kUpright;
}

}  // namespace kelv::codec
