// A buffered byte stream over an operating-system file, opened by a C-style mode string,
// with the same text translation and end-of-file indicator on every platform.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace kelv {

class FileStream {
 public:
  enum class Translation : uint8_t { Binary, Text };

  FileStream() = default;
  ~FileStream();
  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;

  // Parses the mode string ("r", "w", "a", an optional "+", an optional "t" or "b", in
  // the orders the C library accepts) and opens the file. Null when the mode string is
  // not valid or the file can't be opened.
  static std::unique_ptr<FileStream> open(const std::string& name, const std::string& mode,
                                          size_t buffer_size = kBufferSize);

  // Reads up to n bytes; fewer only at the end of the file (or at 0x1A in text mode), or
  // on an error. A short read sets the end-of-file indicator.
  size_t read(void* buf, size_t n);
  // Reads one byte; false at the end (which sets the indicator) or on an error.
  bool get(uint8_t& b);
  // Writes n bytes; the count written.
  size_t write(const void* buf, size_t n);
  bool put(uint8_t b) { return write(&b, 1) == 1; }

  // Moves to origin + offset (whence 0 start, 1 current, 2 end); writes out pending
  // bytes first, drops read-ahead, clears the end-of-file indicator. False for a
  // position before the start.
  bool seek(int64_t offset, int whence);
  int64_t tell() const;  // -1 when unknown
  bool eof() const { return m_eof; }
  bool flush();
  // Writes out pending bytes and closes; false when the final write failed.
  bool close();

 private:
  FileStream(platform::FileHandle h, bool can_read, bool can_write, bool append, Translation t,
             size_t buffer_size = kBufferSize);
  size_t read_raw(uint8_t* buf, size_t n);
  size_t write_raw(const uint8_t* buf, size_t n);
  bool fill();
  bool drop_read_ahead();

  static constexpr size_t kBufferSize = 128 * 1024;
  // Reads and writes of at least this size bypass the buffer when it is empty. Smaller
  // ones (a script's 16 KB chunks) gather in the buffer: fewer system calls pay more
  // than the copy they cost.
  static constexpr size_t kDirectSize = 64 * 1024;

  platform::FileHandle m_handle;
  bool m_can_read = false;
  bool m_can_write = false;
  bool m_append = false;
  Translation m_translation = Translation::Binary;
  bool m_eof = false;
  bool m_error = false;
  bool m_text_end = false;  // a 0x1A was met in text mode: no more data until a seek

  std::vector<uint8_t> m_buf;
  size_t m_rpos = 0, m_rlen = 0;  // unread bytes m_buf[m_rpos, m_rlen)
  size_t m_wlen = 0;              // pending written bytes m_buf[0, m_wlen)
  int64_t m_file_pos = 0;         // the operating system's position
};

}  // namespace kelv
