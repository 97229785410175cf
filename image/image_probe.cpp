// Header probes: a file's kind and size read from its first bytes, without decoding it.
#include <algorithm>
#include <cstdio>
#include <functional>

#include "image/codec/bmp.h"
#include "image/codec/gif.h"
#include "image/codec/heif.h"
#include "image/codec/webp.h"
#include "image/codec/exif.h"
#include "image/codec/format.h"
#include "image/codec/png.h"
#include "image/image.h"
#include "platform/file_stream.h"
#include "platform/platform.h"

namespace kelv {
namespace {

std::string html_wh(int32_t w, int32_t h) {
  return "width=\"" + std::to_string(w) + "\" height=\"" + std::to_string(h) + "\"";
}

// Header probes read through a small buffer: a probe needs a few dozen bytes, plus four
// for each JPEG segment it skips.
constexpr size_t kProbeBuffer = 512;
// How much of a camera metadata block a JPEG probe reads: the first directory, where the
// orientation tag is, follows the block's header in the files cameras write.
constexpr size_t kExifProbeBytes = 1024;

}  // namespace

size_t read_head(const std::string& FileName, uint8_t* buf, size_t n) {
  return guarded([&]() -> size_t {
           auto f = FileStream::open(FileName, "rb", kProbeBuffer);
           return f ? f->read(buf, n) : 0;
         })
      .value_or(size_t{0});
}

namespace {

// The size of the named file in bytes; -1 when it cannot be opened.
int64_t file_size_of(const std::string& name) {
  platform::FileHandle f;
  if (!platform::file_open(name, platform::Access::Read, f)) return -1;
  const int64_t size = platform::file_size(f);
  platform::file_close(f);
  return size;
}

// Runs one header probe. The last probe's picture size, orientation tag and file size are
// cleared first and replaced only when the probe succeeds; whatever the probe raises reads
// as a failure.
int32_t guarded_probe(const std::string& name, int32_t& width, int32_t& height, int32_t& orientation,
                      int64_t& file_size, const std::function<bool(int32_t& w, int32_t& h, int32_t& o)>& probe) {
  width = height = -1;
  orientation = 1;
  file_size = -1;
  int32_t w = -1, h = -1, o = 1;
  int64_t size = -1;
  const bool found = guarded([&] {
                       if (!probe(w, h, o)) return false;
                       size = file_size_of(name);
                       return true;
                     }).value_or(false);
  if (!found) return 0;
  height = h;
  width = w;
  orientation = o;
  file_size = size;
  return 1;
}

// A probe of a format whose picture size stands in the first N bytes of the file.
template <size_t N>
auto head_probe(const std::string& name, bool (*probe)(std::span<const uint8_t>, int32_t&, int32_t&)) {
  return [&name, probe](int32_t& w, int32_t& h, int32_t&) {
    uint8_t head[N];
    const size_t got = read_head(name, head, sizeof head);
    return probe(std::span<const uint8_t>(head, got), w, h);
  };
}

}  // namespace

codec::ImageFormat sniff_file(const std::string& FileName) {
  uint8_t head[codec::kSniffBytes];
  const size_t got = read_head(FileName, head, sizeof head);
  return codec::sniff_format(std::span<const uint8_t>(head, got));
}

namespace {

// A probe of a format whose headers are walked through the file: GIF, WebP, AVIF, HEIC.
auto source_probe(const std::string& name, bool (*probe)(codec::ByteSource&, int32_t&, int32_t&)) {
  return [&name, probe](int32_t& w, int32_t& h, int32_t&) {
    codec::FileSource file(name);
    return file.is_open() && probe(file, w, h);
  };
}

// The format a probe found, or none after a failed one.
int32_t noted(int32_t result, codec::ImageFormat format, codec::ImageFormat& found) {
  found = result ? format : codec::ImageFormat::Unknown;
  return result;
}

}  // namespace

int32_t TImageImpl::HeaderReadBmp(const std::string& FileName) {
  return noted(guarded_probe(FileName, m_header_width, m_header_height, m_jpg_orientation, m_header_file_size,
                             head_probe<codec::kBmpProbeBytes>(FileName, codec::probe_bmp)),
               codec::ImageFormat::Bmp, m_file_format);
}

int32_t TImageImpl::HeaderReadJpg(const std::string& FileName) {
  return noted(guarded_probe(FileName, m_header_width, m_header_height, m_jpg_orientation, m_header_file_size,
                             [&](int32_t& w, int32_t& h, int32_t& orientation) {
                               auto f = FileStream::open(FileName, "rb", kProbeBuffer);
                               if (!f) return false;
                               // The start-of-image pair, anywhere in the file. The byte read after an 0xFF that
                               // is not 0xD8 is not itself looked at as a possible 0xFF.
                               uint8_t c = 0;
                               while (f->get(c)) {
                                 if (c != 0xFF) continue;
                                 if (!f->get(c) || c == 0xD8) break;
                               }
                               // The segments: four bytes of header each, bodies skipped by relative seeks, until a
                               // start-of-frame code of the five that carry the size. Of the first camera metadata
                               // segment the start is read (where a camera puts the directory with the orientation
                               // tag) and the rest skipped, so the position moves just as far; the tag counts only
                               // when the probe succeeds.
                               bool tagged = false;
                               std::vector<uint8_t> body;
                               for (;;) {
                                 uint8_t sh[4];
                                 if (f->read(sh, 4) != 4) return false;
                                 if (sh[0] == 0xFF && (sh[1] == 0xC0 || sh[1] == 0xC1 || sh[1] == 0xC2 ||
                                                       sh[1] == 0xC9 || sh[1] == 0xCA)) {
                                   uint8_t fr[5];
                                   if (f->read(fr, 5) != 5) return false;
                                   h = fr[1] * 256 + fr[2];
                                   w = fr[3] * 256 + fr[4];
                                   return true;
                                 }
                                 int32_t length = sh[2] * 256 + sh[3];
                                 if (sh[0] == 0xFF && sh[1] == 0xE1 && !tagged && length >= 2) {
                                   body.resize(std::min<size_t>(static_cast<size_t>(length - 2), kExifProbeBytes));
                                   if (f->read(body.data(), body.size()) != body.size()) return false;
                                   if (codec::is_exif(body)) {
                                     tagged = true;
                                     orientation = codec::exif_orientation(body);
                                   }
                                   if (!f->seek(length - 2 - static_cast<int32_t>(body.size()), 1)) return false;
                                   continue;
                                 }
                                 if (!f->seek(length - 2, 1)) return false;
                               }
                             }),
               codec::ImageFormat::Jpeg, m_file_format);
}

int32_t TImageImpl::HeaderReadPng(const std::string& FileName) {
  return noted(guarded_probe(FileName, m_header_width, m_header_height, m_jpg_orientation, m_header_file_size,
                             head_probe<codec::kPngProbeBytes>(FileName, codec::probe_png)),
               codec::ImageFormat::Png, m_file_format);
}

int32_t TImageImpl::HeaderReadFile(const std::string& FileName) {
  const codec::ImageFormat format = sniff_file(FileName);
  bool (*probe)(codec::ByteSource&, int32_t&, int32_t&) = nullptr;
  switch (format) {
    case codec::ImageFormat::Bmp: return HeaderReadBmp(FileName);
    case codec::ImageFormat::Jpeg: return HeaderReadJpg(FileName);
    case codec::ImageFormat::Png: return HeaderReadPng(FileName);
    case codec::ImageFormat::Gif: probe = codec::probe_gif; break;
    case codec::ImageFormat::Webp: probe = codec::probe_webp; break;
    case codec::ImageFormat::Avif:
    case codec::ImageFormat::Heic:
      probe = [](codec::ByteSource& source, int32_t& w, int32_t& h) { return codec::probe_heif(source, w, h); };
      break;
    case codec::ImageFormat::Unknown: break;
  }
  if (!probe) {
    m_header_width = m_header_height = -1;
    m_header_file_size = -1;
    m_jpg_orientation = 1;
    m_file_format = codec::ImageFormat::Unknown;
    return 0;
  }
  return noted(guarded_probe(FileName, m_header_width, m_header_height, m_jpg_orientation, m_header_file_size,
                             source_probe(FileName, probe)),
               format, m_file_format);
}

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
