#include "binaryrw/binary_rw.h"

#include <bit>
#include <cstring>
#include <limits>

#include "binaryrw/extended.h"
#include "common/status.h"
#include "formdata/decoder.h"
#include "platform/platform.h"

namespace kelv {
namespace {

// A buffer's bytes up to the first zero byte, or all of them.
std::string_view up_to_zero(std::span<const uint8_t> bytes) {
  const void* z = bytes.empty() ? nullptr : std::memchr(bytes.data(), 0, bytes.size());
  size_t n = z ? static_cast<size_t>(static_cast<const uint8_t*>(z) - bytes.data()) : bytes.size();
  return {reinterpret_cast<const char*>(bytes.data()), n};
}

}  // namespace

TBinaryRWImpl::TBinaryRWImpl() = default;
TBinaryRWImpl::~TBinaryRWImpl() { FClose(); }

void TBinaryRWImpl::put_CodePage(int32_t value) {
  const auto page = static_cast<uint32_t>(value);
  if (value >= 0 && platform::code_page_valid(page)) m_code_page = page;
}

// ---- Byte buffers --------------------------------------------------------------------

std::string TBinaryRWImpl::to_bytes(std::string_view text) const { return platform::text_to_bytes(text, m_code_page); }
std::string TBinaryRWImpl::to_text(std::string_view bytes) const { return platform::bytes_to_text(bytes, m_code_page); }

Bytes TBinaryRWImpl::StrToBuffer(const std::string& string, int32_t AddZeroByte) const {
  const std::string bytes = to_bytes(string);
  Bytes out(bytes.begin(), bytes.end());
  if (AddZeroByte == 1) out.push_back(0);
  return out;
}

std::string TBinaryRWImpl::BufferToStr(const VarIn& buffer) const {
  if (!buffer.is_buffer()) return {};
  return to_text(up_to_zero(buffer.bytes));
}

int32_t TBinaryRWImpl::IsBuffer(const VarIn& v) { return v.is_buffer() ? 1 : 0; }

VarOut TBinaryRWImpl::JoinBuffer(const VarIn& buffer1, const VarIn& buffer2) {
  if (!buffer1.is_buffer() || !buffer2.is_buffer()) return VarOut::null();
  Bytes out;
  out.reserve(buffer1.bytes.size() + buffer2.bytes.size());
  out.insert(out.end(), buffer1.bytes.begin(), buffer1.bytes.end());
  out.insert(out.end(), buffer2.bytes.begin(), buffer2.bytes.end());
  return VarOut::buffer(std::move(out));
}

// ---- The open file -------------------------------------------------------------------

int32_t TBinaryRWImpl::open_with(const std::string& name, const std::string& mode) {
  FClose();
  m_file = FileStream::open(name, mode);
  return m_file ? 1 : 0;
}

int32_t TBinaryRWImpl::FOpen(const std::string& FileName, const std::string& Type) { return open_with(FileName, Type); }
int32_t TBinaryRWImpl::FOpenRead(const std::string& FileName) { return open_with(FileName, "rb"); }
int32_t TBinaryRWImpl::FOpenAppend(const std::string& FileName) { return open_with(FileName, "ab"); }
// Writing in binary mode; an existing file is truncated, as "wb" does, so that no old
// bytes stay behind the new content.
int32_t TBinaryRWImpl::FOpenWrite(const std::string& FileName) { return open_with(FileName, "wb"); }

void TBinaryRWImpl::FClose() {
  if (m_file) m_file->close();
  m_file.reset();
  m_last_read_count = 0;
}

Bytes TBinaryRWImpl::read_up_to(int32_t size) {
  m_last_read_count = 0;
  Bytes out;
  if (!m_file || size <= 0) return out;
  // Read in steps, so that a large Size on a small file costs only what is there.
  constexpr size_t kStep = 1 << 20;
  size_t want = static_cast<size_t>(size);
  while (out.size() < want) {
    size_t step = std::min(kStep, want - out.size());
    size_t at = out.size();
    out.resize(at + step);
    size_t got = m_file->read(out.data() + at, step);
    out.resize(at + got);
    if (got < step) break;
  }
  m_last_read_count = static_cast<int32_t>(out.size());
  return out;
}

VarOut TBinaryRWImpl::FRead(int32_t Size) {
  // A failed allocation or read leaves the count at 0 and gives an empty buffer.
  Result<VarOut> read = guarded([&] { return VarOut::buffer(read_up_to(Size)); });
  if (!read) m_last_read_count = 0;
  return std::move(read).value_or(VarOut::buffer({}));
}

int32_t TBinaryRWImpl::FEof() const { return m_file && m_file->eof() ? 1 : 0; }

int32_t TBinaryRWImpl::FSeek(int32_t offset, int32_t from) {
  if (!m_file) return 0;
  int whence = from == 1 ? 1 : from == 2 ? 2 : 0;
  return m_file->seek(offset, whence) ? 1 : 0;
}

int32_t TBinaryRWImpl::FTell() const {
  if (!m_file) return -1;
  int64_t pos = m_file->tell();
  // A position beyond the 32-bit range cannot be told.
  if (pos < 0 || pos > std::numeric_limits<int32_t>::max()) return -1;
  return static_cast<int32_t>(pos);
}

int32_t TBinaryRWImpl::FWrite(const VarIn& data) {
  if (!m_file || !data.is_buffer()) return 0;
  if (data.bytes.empty()) return 1;
  return m_file->write(data.bytes.data(), data.bytes.size()) == data.bytes.size() ? 1 : 0;
}

bool TBinaryRWImpl::read_exact(uint8_t* buf, size_t n) { return m_file && m_file->read(buf, n) == n; }

VarOut TBinaryRWImpl::FReadInt(int32_t Size) {
  if (!m_file || (Size != 1 && Size != 2 && Size != 4 && Size != 8)) return VarOut::null();
  uint8_t b[8] = {};
  if (!read_exact(b, static_cast<size_t>(Size))) return VarOut::null();
  uint64_t u = 0;
  for (int i = Size - 1; i >= 0; --i) u = (u << 8) | b[i];
  switch (Size) {
    case 1: return VarOut::integer(VarOut::Type::I1, static_cast<int8_t>(u));
    case 2: return VarOut::integer(VarOut::Type::I2, static_cast<int16_t>(u));
    case 4: return VarOut::integer(VarOut::Type::I4, static_cast<int32_t>(u));
    default: return VarOut::integer(VarOut::Type::I8, static_cast<int64_t>(u));
  }
}

VarOut TBinaryRWImpl::FReadFloat(int32_t Size) {
  if (!m_file || (Size != 4 && Size != 8 && Size != 10)) return VarOut::null();
  uint8_t b[10] = {};
  if (!read_exact(b, static_cast<size_t>(Size))) return VarOut::null();
  if (Size == 10) return VarOut::real(VarOut::Type::R8, std::bit_cast<double>(extended_to_double_bits(b)));
  uint64_t u = 0;
  for (int i = Size - 1; i >= 0; --i) u = (u << 8) | b[i];
  if (Size == 4) return VarOut::real(VarOut::Type::R4, std::bit_cast<float>(static_cast<uint32_t>(u)));
  return VarOut::real(VarOut::Type::R8, std::bit_cast<double>(u));
}

int32_t TBinaryRWImpl::FWriteInt(int64_t data, int32_t Size) {
  if (!m_file || (Size != 1 && Size != 2 && Size != 4 && Size != 8)) return 0;
  uint8_t b[8];
  auto u = static_cast<uint64_t>(data);
  for (int i = 0; i < 8; ++i) b[i] = static_cast<uint8_t>(u >> (8 * i));
  return m_file->write(b, static_cast<size_t>(Size)) == static_cast<size_t>(Size) ? 1 : 0;
}

int32_t TBinaryRWImpl::FWriteFloat(double data, int32_t Size) {
  if (!m_file || (Size != 4 && Size != 8 && Size != 10)) return 0;
  uint8_t b[10];
  if (Size == 10) {
    double_to_extended(data, b);
  } else {
    // Single precision is the nearest float; beyond its range, an infinity of the sign.
    uint64_t u = Size == 4 ? std::bit_cast<uint32_t>(static_cast<float>(data)) : std::bit_cast<uint64_t>(data);
    for (int i = 0; i < 8; ++i) b[i] = static_cast<uint8_t>(u >> (8 * i));
  }
  return m_file->write(b, static_cast<size_t>(Size)) == static_cast<size_t>(Size) ? 1 : 0;
}

std::string TBinaryRWImpl::FReadStr(int32_t MaxSize) {
  if (!m_file || MaxSize <= 0) return {};
  std::string s;
  for (int32_t i = 0; i < MaxSize; ++i) {
    uint8_t c = 0;
    if (!m_file->get(c)) return {};  // the end came first: the bytes stay consumed
    if (c == 0) return to_text(s);
    s.push_back(static_cast<char>(c));
  }
  return to_text(s);
}

int32_t TBinaryRWImpl::FWriteStr(const std::string& string) {
  if (!m_file) return 0;
  std::string z = to_bytes(string);
  z.push_back('\0');
  return m_file->write(z.data(), z.size()) == z.size() ? 1 : 0;
}

VarOut TBinaryRWImpl::FReadStrBin(int32_t Size) {
  Bytes b = read_up_to(Size);
  std::string_view text = up_to_zero(b);
  b.resize(text.size());
  return VarOut::buffer(std::move(b));
}

int32_t TBinaryRWImpl::FWriteStrBin(const VarIn& string, int32_t Size, uint8_t fillchar) {
  if (!m_file) return 0;
  std::string_view text;
  std::string converted;
  if (string.kind == VarIn::Kind::Buffer) {
    text = up_to_zero(string.bytes);
  } else if (string.kind == VarIn::Kind::Text) {
    converted = to_bytes(string.text);
    text = converted;
  } else {
    return 0;
  }
  size_t field = Size > 0 ? static_cast<size_t>(Size) : 0;
  if (text.size() > field) text = text.substr(0, field);
  if (!text.empty() && m_file->write(text.data(), text.size()) != text.size()) return 0;
  for (size_t n = text.size(); n < field; ++n)
    if (!m_file->put(fillchar)) return 0;
  return 1;
}

int32_t TBinaryRWImpl::FileSize(const std::string& FileName) {
  auto found = platform::find_files(FileName, 1);
  if (found.empty()) return -1;
  if (found[0].attributes & platform::kAttrDirectory) return 0;
  return static_cast<int32_t>(static_cast<uint32_t>(found[0].size));
}

VarOut TBinaryRWImpl::FileSize64(const std::string& FileName) {
  auto found = platform::find_files(FileName, 1);
  if (found.empty()) return VarOut::integer(VarOut::Type::I8, -1);
  if (found[0].attributes & platform::kAttrDirectory) return VarOut::integer(VarOut::Type::I8, 0);
  return VarOut::integer(VarOut::Type::I8, static_cast<int64_t>(found[0].size));
}

}  // namespace kelv
