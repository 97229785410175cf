// The JPEG header walk of a probe: the size from the first start-of-frame segment and
// the orientation tag from the first camera metadata block, without libjpeg.
#include <algorithm>
#include <cstring>
#include <vector>

#include "image/codec/exif.h"
#include "image/codec/jpeg.h"

namespace kelv::codec {
namespace {

// A probe reads a few bytes at a time and skips segment bodies: through a small buffer,
// refilled at whatever offset the walk has reached.
constexpr size_t kProbeBuffer = 512;
// How much of a camera metadata block a probe reads: the first directory, where the
// orientation tag is, follows the block's header in the files cameras write.
constexpr size_t kExifProbeBytes = 1024;

class Cursor {
 public:
  explicit Cursor(ByteSource& source) : m_source(source) {}

  // The next n bytes; false when the source ends first.
  bool read(void* out, size_t n) {
    const uint64_t size = m_source.size();
    if (m_position > size || size - m_position < n) return false;
    if (n == 0) return true;  // an empty segment body: nothing to copy, and no buffer to copy to
    if (n > sizeof m_buffer) {
      if (!m_source.read(m_position, out, n)) return false;
    } else {
      if (m_position < m_start || m_position + n > m_start + m_length) {
        m_start = m_position;
        m_length = static_cast<size_t>(std::min<uint64_t>(sizeof m_buffer, size - m_position));
        if (!m_source.read(m_start, m_buffer, m_length)) {
          m_length = 0;
          return false;
        }
      }
      std::memcpy(out, m_buffer + (m_position - m_start), n);
    }
    m_position += n;
    return true;
  }
  // Moves by n bytes, back for a negative n (a segment length below 2 reads as a step
  // back over its own length field, the walk still moving forward overall).
  void skip(int64_t n) { m_position = static_cast<uint64_t>(static_cast<int64_t>(m_position) + n); }

 private:
  ByteSource& m_source;
  uint8_t m_buffer[kProbeBuffer];
  uint64_t m_start = 0;
  size_t m_length = 0;
  uint64_t m_position = 0;
};

bool is_size_frame(uint8_t code) {
  return code == 0xC0 || code == 0xC1 || code == 0xC2 || code == 0xC9 || code == 0xCA;
}

}  // namespace

bool is_jpeg(std::span<const uint8_t> head) {
  return head.size() >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF;
}

bool probe_jpeg(ByteSource& source, ProbeResult& out) {
  Cursor f(source);
  // The start-of-image pair, anywhere in the file. The byte read after an 0xFF that is
  // not 0xD8 is not itself looked at as a possible 0xFF.
  uint8_t c = 0;
  while (f.read(&c, 1)) {
    if (c != 0xFF) continue;
    if (!f.read(&c, 1) || c == 0xD8) break;
  }
  // The segments: four bytes of header each, bodies skipped, until a start-of-frame code
  // of the five that carry the size. Of the first camera metadata segment the start is
  // read (where a camera puts the directory with the orientation tag) and the rest
  // skipped; the tag counts only when the probe succeeds.
  bool tagged = false;
  int32_t orientation = 1;
  std::vector<uint8_t> body;
  for (;;) {
    uint8_t sh[4];
    if (!f.read(sh, 4)) break;
    if (sh[0] == 0xFF && is_size_frame(sh[1])) {
      uint8_t fr[5];
      if (!f.read(fr, 5)) break;
      out.height = fr[1] * 256 + fr[2];
      out.width = fr[3] * 256 + fr[4];
      out.orientation = orientation;
      return true;
    }
    const int32_t length = sh[2] * 256 + sh[3];
    if (sh[0] == 0xFF && sh[1] == 0xE1 && !tagged && length >= 2) {
      body.resize(std::min<size_t>(static_cast<size_t>(length - 2), kExifProbeBytes));
      if (!f.read(body.data(), body.size())) break;
      if (is_exif(body)) {
        tagged = true;
        orientation = exif_orientation(body);
      }
      f.skip(length - 2 - static_cast<int64_t>(body.size()));
      continue;
    }
    f.skip(length - 2);
  }
  out.message = "The file ends before the JPEG picture's size";
  return false;
}

}  // namespace kelv::codec
