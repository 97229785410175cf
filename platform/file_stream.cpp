#include "platform/file_stream.h"

#include <algorithm>
#include <cstring>

namespace kelv {

using platform::Access;

FileStream::FileStream(platform::FileHandle h, bool can_read, bool can_write, bool append, Translation t,
                       size_t buffer_size)
    : m_handle(h),
      m_can_read(can_read),
      m_can_write(can_write),
      m_append(append),
      m_translation(t),
      m_buf(std::max<size_t>(buffer_size, 16)) {
  int64_t pos = platform::file_seek(m_handle, 0, 1);
  m_file_pos = pos < 0 ? 0 : pos;
}

FileStream::~FileStream() { close(); }

std::unique_ptr<FileStream> FileStream::open(const std::string& name, const std::string& mode, size_t buffer_size) {
  if (mode.empty()) return nullptr;
  char kind = mode[0];
  if (kind != 'r' && kind != 'w' && kind != 'a') return nullptr;
  // Position 2 is "+" or the translation letter; a "+" after the letter also means
  // update. The end of the string (or a further "+") leaves the text default.
  size_t i = 1;
  bool update = false;
  if (i < mode.size() && mode[i] == '+') update = true, ++i;
  Translation t = Translation::Text;
  if (i < mode.size() && mode[i] == 'b')
    t = Translation::Binary, ++i;
  else if (i < mode.size() && mode[i] == 't')
    ++i;
  else if (i < mode.size() && mode[i] != '+')
    return nullptr;
  if (!update && i < mode.size() && mode[i] == '+') update = true;

  Access a = Access::Read;
  switch (kind) {
    case 'r': a = update ? Access::ReadUpdate : Access::Read; break;
    case 'w': a = update ? Access::WriteUpdate : Access::Write; break;
    case 'a': a = update ? Access::AppendUpdate : Access::Append; break;
  }
  platform::FileHandle h;
  if (!platform::file_open(name, a, h)) return nullptr;
  bool can_read = kind == 'r' || update;
  bool can_write = kind != 'r' || update;
  return std::unique_ptr<FileStream>(new FileStream(h, can_read, can_write, kind == 'a', t, buffer_size));
}

bool FileStream::fill() {
  m_rpos = 0;
  m_rlen = 0;
  int64_t n = platform::file_read(m_handle, m_buf.data(), m_buf.size());
  if (n < 0) {
    m_error = true;
    return false;
  }
  m_rlen = static_cast<size_t>(n);
  m_file_pos += n;
  return n > 0;
}

// Gives read-ahead bytes back to the file, so that the operating system's position is
// the stream's position again (before a write).
bool FileStream::drop_read_ahead() {
  if (m_rpos == m_rlen) {
    m_rpos = m_rlen = 0;
    return true;
  }
  int64_t back = static_cast<int64_t>(m_rlen - m_rpos);
  int64_t pos = platform::file_seek(m_handle, m_file_pos - back, 0);
  m_rpos = m_rlen = 0;
  if (pos < 0) return false;
  m_file_pos = pos;
  return true;
}

size_t FileStream::read_raw(uint8_t* out, size_t n) {
  size_t done = 0;
  while (done < n) {
    if (m_rpos == m_rlen) {
      // Large binary reads bypass the buffer once it is empty.
      if (n - done >= std::min(kDirectSize, m_buf.size())) {
        int64_t got = platform::file_read(m_handle, out + done, n - done);
        if (got < 0) {
          m_error = true;
          break;
        }
        m_file_pos += got;
        done += static_cast<size_t>(got);
        if (got == 0) break;
        continue;
      }
      if (!fill()) break;
    }
    size_t take = std::min(n - done, m_rlen - m_rpos);
    std::memcpy(out + done, m_buf.data() + m_rpos, take);
    m_rpos += take;
    done += take;
  }
  return done;
}

size_t FileStream::read(void* buf, size_t n) {
  if (!m_handle.valid() || !m_can_read || n == 0) return 0;
  if (m_wlen && !flush()) return 0;
  auto* out = static_cast<uint8_t*>(buf);
  size_t done = 0;
  if (m_translation == Translation::Binary) {
    done = read_raw(out, n);
  } else if (!m_text_end) {
    // Text: CR bytes are dropped and 0x1A ends the data as the end of the file would.
    while (done < n) {
      if (m_rpos == m_rlen && !fill()) break;
      uint8_t c = m_buf[m_rpos];
      if (c == 0x1A) {
        m_text_end = true;
        break;
      }
      ++m_rpos;
      if (c != '\r') out[done++] = c;
    }
  }
  if (done < n && !m_error) m_eof = true;
  return done;
}

bool FileStream::get(uint8_t& b) {
  if (m_translation == Translation::Binary && m_rpos < m_rlen && !m_wlen) {
    b = m_buf[m_rpos++];
    return true;
  }
  return read(&b, 1) == 1;
}

size_t FileStream::write_raw(const uint8_t* in, size_t n) {
  size_t done = 0;
  while (done < n) {
    if (m_wlen == m_buf.size() && !flush()) break;
    // Large writes go straight to the file once the buffer is empty.
    if (m_wlen == 0 && n - done >= std::min(kDirectSize, m_buf.size())) {
      size_t want = n - done;
      int64_t put = platform::file_write(m_handle, in + done, want);
      if (put > 0) {
        done += static_cast<size_t>(put);
        int64_t pos = m_append ? platform::file_seek(m_handle, 0, 1) : m_file_pos + put;
        if (pos >= 0) m_file_pos = pos;
      }
      if (put != static_cast<int64_t>(want)) {
        m_error = true;
        break;
      }
      continue;
    }
    size_t take = std::min(n - done, m_buf.size() - m_wlen);
    std::memcpy(m_buf.data() + m_wlen, in + done, take);
    m_wlen += take;
    done += take;
  }
  return done;
}

size_t FileStream::write(const void* buf, size_t n) {
  if (!m_handle.valid() || !m_can_write || m_error) return 0;
  if (m_rlen && !drop_read_ahead()) return 0;
  const auto* in = static_cast<const uint8_t*>(buf);
  if (m_translation == Translation::Binary) return write_raw(in, n);
  // Text: every LF is written as CR LF.
  size_t done = 0;
  while (done < n) {
    const void* lf = std::memchr(in + done, '\n', n - done);
    size_t run = lf ? static_cast<size_t>(static_cast<const uint8_t*>(lf) - (in + done)) : n - done;
    if (write_raw(in + done, run) != run) return done;
    done += run;
    if (done == n) break;
    static const uint8_t crlf[2] = {'\r', '\n'};
    if (write_raw(crlf, 2) != 2) return done;
    ++done;
  }
  return done;
}

bool FileStream::flush() {
  if (m_wlen == 0) return !m_error;
  int64_t put = platform::file_write(m_handle, m_buf.data(), m_wlen);
  bool ok = put == static_cast<int64_t>(m_wlen);
  if (m_append) {
    // Appended bytes went to the end, wherever the stream stood.
    int64_t pos = platform::file_seek(m_handle, 0, 1);
    if (pos >= 0) m_file_pos = pos;
  } else if (put > 0) {
    m_file_pos += put;
  }
  m_wlen = 0;
  if (!ok) m_error = true;
  return ok;
}

bool FileStream::seek(int64_t offset, int whence) {
  if (!m_handle.valid()) return false;
  if (!flush()) return false;
  int64_t target = offset;
  if (whence == 1) {
    target = tell() + offset;
  } else if (whence == 2) {
    int64_t end = platform::file_seek(m_handle, 0, 2);
    if (end < 0) return false;
    m_file_pos = end;
    m_rpos = m_rlen = 0;
    target = end + offset;
  }
  if (target < 0) return false;
  int64_t pos = platform::file_seek(m_handle, target, 0);
  if (pos < 0) return false;
  m_file_pos = pos;
  m_rpos = m_rlen = 0;
  m_eof = false;
  m_text_end = false;
  return true;
}

int64_t FileStream::tell() const {
  if (!m_handle.valid()) return -1;
  if (m_wlen) {
    if (!m_append) return m_file_pos + static_cast<int64_t>(m_wlen);
    int64_t end = platform::file_seek(m_handle, 0, 2);
    return end < 0 ? -1 : end + static_cast<int64_t>(m_wlen);
  }
  return m_file_pos - static_cast<int64_t>(m_rlen - m_rpos);
}

bool FileStream::close() {
  if (!m_handle.valid()) return true;
  bool ok = flush();
  platform::file_close(m_handle);
  return ok;
}

}  // namespace kelv
