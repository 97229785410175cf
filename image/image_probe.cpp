// Header probes: a file's kind and size read from its first bytes, without decoding it.
#include "image/codec/formats.h"
#include "image/image.h"
#include "platform/file_stream.h"
#include "platform/platform.h"

namespace kelv {
namespace {

std::string html_wh(int32_t w, int32_t h) {
  return "width=\"" + std::to_string(w) + "\" height=\"" + std::to_string(h) + "\"";
}

// Header probes read through a small buffer: the first bytes decide the format.
constexpr size_t kProbeBuffer = 512;

}  // namespace

size_t read_head(const std::string& FileName, uint8_t* buf, size_t n) {
  return guarded([&]() -> size_t {
           auto f = FileStream::open(FileName, "rb", kProbeBuffer);
           return f ? f->read(buf, n) : 0;
         })
      .value_or(size_t{0});
}

codec::ImageFormat sniff_file(const std::string& FileName) {
  uint8_t head[codec::kSniffBytes];
  const size_t got = read_head(FileName, head, sizeof head);
  return codec::sniff_format(std::span<const uint8_t>(head, got));
}

// The last probe's picture size, orientation tag, file size and format are cleared first
// and replaced only when the probe succeeds.
int32_t TImageImpl::probe_file(const std::string& FileName, codec::ImageFormat format) {
  m_header_width = m_header_height = -1;
  m_jpg_orientation = 1;
  m_header_file_size = -1;
  m_file_format = codec::ImageFormat::Unknown;
  codec::FileSource file(FileName);
  if (!file.is_open()) return failed(kCannotOpen);
  codec::ProbeResult found;
  if (!codec::probe_image(file, format, found)) return failed(found.message);
  m_header_height = found.height;
  m_header_width = found.width;
  m_jpg_orientation = found.orientation;
  m_header_file_size = static_cast<int64_t>(file.size());
  m_file_format = format;
  m_last_error.clear();
  return 1;
}

int32_t TImageImpl::HeaderReadBmp(const std::string& FileName) { return probe_file(FileName, codec::ImageFormat::Bmp); }

int32_t TImageImpl::HeaderReadJpg(const std::string& FileName) {
  return probe_file(FileName, codec::ImageFormat::Jpeg);
}

int32_t TImageImpl::HeaderReadPng(const std::string& FileName) { return probe_file(FileName, codec::ImageFormat::Png); }

int32_t TImageImpl::HeaderReadFile(const std::string& FileName) { return probe_file(FileName, sniff_file(FileName)); }

VarOut TImageImpl::HeaderGetFileSize() const { return VarOut::integer(VarOut::Type::I8, m_header_file_size); }

std::string TImageImpl::HeaderGetHtmlWH() const {
  if (m_header_width == -1 || m_header_height == -1) return {};
  return html_wh(m_header_width, m_header_height);
}

std::string TImageImpl::GetHtmlWH() const {
  if (IsValidImage() == 0) return {};
  return html_wh(m_bitmap->width(), m_bitmap->height());
}

}  // namespace kelv
