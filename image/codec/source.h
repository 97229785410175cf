// Where the readers take a file's bytes from: memory or an open file, read at any
// offset, and a buffered reader that walks a source from front to back.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace kelv::codec {

// Headers and tables are read in small pieces; pixel rows can be read straight into a
// bitmap's memory.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t size() const = 0;
  // Fills the pieces in order with the bytes from `offset` on; false unless all of them
  // arrive.
  virtual bool read(uint64_t offset, const platform::ReadPiece* pieces, size_t count) = 0;
  bool read(uint64_t offset, void* data, size_t size) {
    const platform::ReadPiece piece{data, size};
    return read(offset, &piece, 1);
  }
};

// Bytes in memory.
class SpanSource final : public ByteSource {
 public:
  explicit SpanSource(std::span<const uint8_t> data) : m_data(data) {}
  uint64_t size() const override { return m_data.size(); }
  bool read(uint64_t offset, const platform::ReadPiece* pieces, size_t count) override;

 private:
  std::span<const uint8_t> m_data;
};

// A file, opened for reading by name and closed with this object.
class FileSource final : public ByteSource {
 public:
  explicit FileSource(const std::string& name);
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;
  bool is_open() const { return m_file.valid(); }
  uint64_t size() const override { return m_size; }
  bool read(uint64_t offset, const platform::ReadPiece* pieces, size_t count) override;

 private:
  platform::FileHandle m_file;
  uint64_t m_size = 0;
};

// Reads a source from its start to its end through a buffer, for the libraries that
// ask for their input a few bytes at a time.
class SequentialReader {
 public:
  explicit SequentialReader(ByteSource& source, size_t buffer_size = 64 * 1024);
  // Up to n bytes; fewer only at the end of the source (or when it can't be read).
  size_t read(void* out, size_t n);
  // Where the next byte comes from.
  uint64_t position() const { return m_position; }
  // The buffered bytes not yet taken, at least `want` of them unless the source ends;
  // take() then moves past those used.
  std::span<const uint8_t> peek(size_t want);
  void take(size_t n);
  // Moves forward by n bytes; false past the end.
  bool skip(uint64_t n);
  uint64_t size() const { return m_source.size(); }

 private:
  bool refill(size_t want);

  ByteSource& m_source;
  std::vector<uint8_t> m_buffer;
  size_t m_begin = 0, m_end = 0;  // buffered bytes m_buffer[m_begin, m_end)
  uint64_t m_position = 0;        // of m_buffer[m_begin]
};

}  // namespace kelv::codec
