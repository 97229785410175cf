#include "image/codec/source.h"

#include <algorithm>
#include <cstring>

namespace kelv::codec {

bool SpanSource::read(uint64_t offset, const platform::ReadPiece* pieces, size_t count) {
  for (size_t k = 0; k < count; ++k) {
    if (offset > m_data.size() || m_data.size() - offset < pieces[k].size) return false;
    if (pieces[k].size) std::memcpy(pieces[k].data, m_data.data() + offset, pieces[k].size);
    offset += pieces[k].size;
  }
  return true;
}

FileSource::FileSource(const std::string& name) {
  if (!platform::file_open(name, platform::Access::Read, m_file)) return;
  int64_t size = platform::file_size(m_file);
  if (size < 0)
    platform::file_close(m_file);
  else
    m_size = static_cast<uint64_t>(size);
}

FileSource::~FileSource() { platform::file_close(m_file); }

bool FileSource::read(uint64_t offset, const platform::ReadPiece* pieces, size_t count) {
  uint64_t want = 0;
  for (size_t k = 0; k < count; ++k) want += pieces[k].size;
  return platform::file_read_at(m_file, offset, pieces, count) == static_cast<int64_t>(want);
}

SequentialReader::SequentialReader(ByteSource& source, size_t buffer_size) : m_source(source), m_buffer(buffer_size) {}

bool SequentialReader::refill(size_t want) {
  // What is left moves to the front; the rest of the buffer takes what follows it.
  const size_t kept = m_end - m_begin;
  if (kept && m_begin) std::memmove(m_buffer.data(), m_buffer.data() + m_begin, kept);
  m_begin = 0, m_end = kept;
  if (m_buffer.size() < want) m_buffer.resize(want);
  const uint64_t from = m_position + kept;
  if (from >= m_source.size()) return false;
  const size_t n = static_cast<size_t>(std::min<uint64_t>(m_buffer.size() - kept, m_source.size() - from));
  if (!m_source.read(from, m_buffer.data() + kept, n)) return false;
  m_end += n;
  return true;
}

std::span<const uint8_t> SequentialReader::peek(size_t want) {
  if (m_end - m_begin < want) refill(want);
  return {m_buffer.data() + m_begin, m_end - m_begin};
}

void SequentialReader::take(size_t n) {
  n = std::min(n, m_end - m_begin);
  m_begin += n;
  m_position += n;
}

size_t SequentialReader::read(void* out, size_t n) {
  auto* dst = static_cast<uint8_t*>(out);
  size_t done = 0;
  while (done < n) {
    if (m_begin == m_end && !refill(1)) break;
    const size_t k = std::min(n - done, m_end - m_begin);
    std::memcpy(dst + done, m_buffer.data() + m_begin, k);
    take(k);
    done += k;
  }
  return done;
}

bool SequentialReader::skip(uint64_t n) {
  const size_t buffered = std::min<uint64_t>(n, m_end - m_begin);
  take(buffered);
  n -= buffered;
  if (n == 0) return true;
  if (n > m_source.size() - std::min(m_position, m_source.size())) {
    m_position = m_source.size();
    return false;
  }
  m_position += n;
  return true;
}

}  // namespace kelv::codec
