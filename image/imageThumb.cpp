// Thumbnails, header probing and transfer between Image objects and into buffers.
#include <algorithm>
#include <cstdio>

#include "platform/file_stream.h"
#include "image/codec/Bmp.h"
#include "image/codec/exif.h"
#include "image/codec/format.h"
#include "image/codec/png.h"
#include "image/imageImpl.h"
#include "image/raster/Blit.h"
#include "image/raster/Canvas.h"
#include "image/thumb_frame.h"

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
  try {
    auto f = FileStream::open(FileName, "rb", kProbeBuffer);
    return f ? f->read(buf, n) : 0;
  } catch (...) {
    return 0;
  }
}

codec::ImageFormat sniff_file(const std::string& FileName) {
  uint8_t head[codec::kSniffBytes];
  const size_t got = read_head(FileName, head, sizeof head);
  return codec::sniff_format(std::span<const uint8_t>(head, got));
}

// ---- Thumbnails ----------------------------------------------------------------------

void TImageImpl::put_cntThumbBorder(int32_t value) {
  if (value == 0 || value < 0) {
    // Negative counts can't be stored: no rings.
    ThumbBorderColors.clear();
    cntThumbBorder = 0;
    return;
  }
  if (value > 255) return;
  // New rings start black until SetThumbBorder sets them.
  ThumbBorderColors.resize(static_cast<size_t>(value), 0);
  cntThumbBorder = static_cast<int16_t>(value);
}

int32_t TImageImpl::SetThumbBorder(int32_t index, int32_t color) {
  if (index < 0 || index >= cntThumbBorder) return 0;
  ThumbBorderColors[static_cast<size_t>(index)] = color;
  return 1;
}

int32_t TImageImpl::GetThumbBorder(int32_t index) const {
  return index >= 0 && index < cntThumbBorder ? ThumbBorderColors[static_cast<size_t>(index)] : 0;
}

int32_t TImageImpl::MakeThumb(int32_t insideW, int32_t insideH) {
  if (!Bitmap) return 0;
  const ThumbFrame frame{insideW, insideH, ThumbBgColor,
                         std::span<const int32_t>(ThumbBorderColors.data(), static_cast<size_t>(cntThumbBorder))};
  // No picture area left inside the rings, or nothing to scale: the image stays.
  if (!thumb_picture_rect(frame, Bitmap->width(), Bitmap->height())) return 0;
  // The copy takes every pixel; the flag comes back afterwards, in automatic mode.
  bool was_transparent = Bitmap->transparency().enabled;
  Bitmap->transparency().enabled = false;
  int32_t result = 1;
  try {
    Bitmap = make_thumbnail(*Bitmap, frame, resample());
  } catch (...) {
    result = 0;
  }
  Bitmap->transparency().enabled = was_transparent;
  return result;
}

// ---- Header probing ------------------------------------------------------------------

int32_t TImageImpl::HeaderReadBmp(const std::string& FileName) {
  HeaderWidth = HeaderHeight = -1;
  JpgOrientation = 1;
  try {
    auto f = FileStream::open(FileName, "rb", kProbeBuffer);
    if (!f) return 0;
    // The file header is read and ignored, then the information header's size selects
    // the layout: 12 bytes (16-bit sizes) or 40 (32-bit, a negative height kept).
    uint8_t b[14];
    if (f->read(b, 14) != 14 || f->read(b, 4) != 4) return 0;
    uint32_t size = b[0] | (b[1] << 8) | (b[2] << 16) | (uint32_t{b[3]} << 24);
    int32_t w, h;
    if (size == 12) {
      if (f->read(b, 2) != 2) return 0;
      w = b[0] | (b[1] << 8);
      if (f->read(b, 2) != 2) return 0;
      h = b[0] | (b[1] << 8);
    } else if (size == 40) {
      if (f->read(b, 4) != 4) return 0;
      w = static_cast<int32_t>(b[0] | (b[1] << 8) | (b[2] << 16) | (uint32_t{b[3]} << 24));
      if (f->read(b, 4) != 4) return 0;
      h = static_cast<int32_t>(b[0] | (b[1] << 8) | (b[2] << 16) | (uint32_t{b[3]} << 24));
    } else {
      return 0;
    }
    HeaderHeight = h;
    HeaderWidth = w;
    return 1;
  } catch (...) {
    HeaderWidth = HeaderHeight = -1;
    return 0;
  }
}

int32_t TImageImpl::HeaderReadJpg(const std::string& FileName) {
  HeaderWidth = HeaderHeight = -1;
  JpgOrientation = 1;
  try {
    auto f = FileStream::open(FileName, "rb", kProbeBuffer);
    if (!f) return 0;
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
    int32_t orientation = 1;
    bool tagged = false;
    std::vector<uint8_t> body;
    for (;;) {
      uint8_t h[4];
      if (f->read(h, 4) != 4) return 0;
      if (h[0] == 0xFF && (h[1] == 0xC0 || h[1] == 0xC1 || h[1] == 0xC2 || h[1] == 0xC9 || h[1] == 0xCA)) {
        uint8_t fr[5];
        if (f->read(fr, 5) != 5) return 0;
        HeaderHeight = fr[1] * 256 + fr[2];
        HeaderWidth = fr[3] * 256 + fr[4];
        JpgOrientation = orientation;
        return 1;
      }
      int32_t length = h[2] * 256 + h[3];
      if (h[0] == 0xFF && h[1] == 0xE1 && !tagged && length >= 2) {
        body.resize(std::min<size_t>(static_cast<size_t>(length - 2), kExifProbeBytes));
        if (f->read(body.data(), body.size()) != body.size()) return 0;
        if (codec::is_exif(body)) {
          tagged = true;
          orientation = codec::exif_orientation(body);
        }
        if (!f->seek(length - 2 - static_cast<int32_t>(body.size()), 1)) return 0;
        continue;
      }
      if (!f->seek(length - 2, 1)) return 0;
    }
  } catch (...) {
    HeaderWidth = HeaderHeight = -1;
    return 0;
  }
}

int32_t TImageImpl::HeaderReadPng(const std::string& FileName) {
  HeaderWidth = HeaderHeight = -1;
  JpgOrientation = 1;
  try {
    uint8_t head[codec::kPngProbeBytes];
    const size_t got = read_head(FileName, head, sizeof head);
    int32_t w = 0, h = 0;
    if (!codec::probe_png(std::span<const uint8_t>(head, got), w, h)) return 0;
    HeaderHeight = h;
    HeaderWidth = w;
    return 1;
  } catch (...) {
    HeaderWidth = HeaderHeight = -1;
    return 0;
  }
}

int32_t TImageImpl::HeaderReadFile(const std::string& FileName) {
  switch (sniff_file(FileName)) {
    case codec::ImageFormat::Bmp: return HeaderReadBmp(FileName);
    case codec::ImageFormat::Jpeg: return HeaderReadJpg(FileName);
    case codec::ImageFormat::Png: return HeaderReadPng(FileName);
    case codec::ImageFormat::Unknown: break;
  }
  HeaderWidth = HeaderHeight = -1;
  JpgOrientation = 1;
  return 0;
}

std::string TImageImpl::HeaderGetHtmlWH() const {
  if (HeaderWidth == -1 || HeaderHeight == -1) return {};
  return html_wh(HeaderWidth, HeaderHeight);
}

std::string TImageImpl::GetHtmlWH() const {
  if (IsValidImage() == 0) return {};
  return html_wh(Bitmap->width(), Bitmap->height());
}

// ---- Transfer ------------------------------------------------------------------------

int32_t TImageImpl::GetBmp() {
  try {
    return Bitmap ? Bitmap->handle() : 0;
  } catch (...) {
    return 0;
  }
}

int32_t TImageImpl::paint_from(ImageSource* img, const std::function<void(const raster::Bitmap&)>& paint) {
  if (!Bitmap) return 0;
  int32_t handle = 0;
  if (!img || !img->get_bmp(handle)) return 0;
  const raster::Bitmap* src = raster::Bitmap::from_handle(handle);
  if (!src) return 0;
  try {
    if (src == Bitmap.get()) {
      // Drawing an image onto itself: from a copy, so no pixel is read after it changed.
      raster::Bitmap copy(*src);
      paint(copy);
    } else {
      paint(*src);
    }
    return 1;
  } catch (...) {
    return 0;
  }
}

int32_t TImageImpl::Draw(int32_t x, int32_t y, ImageSource* img) {
  return paint_from(img, [&](const raster::Bitmap& src) { raster::copy_at(*Bitmap, x, y, src); });
}

int32_t TImageImpl::StretchDraw(int32_t x, int32_t y, int32_t w, int32_t h, ImageSource* img) {
  // The rectangle is w + 1 by h + 1 pixels, right and bottom exclusive.
  return paint_from(img, [&](const raster::Bitmap& src) {
    auto edge = [](int32_t a, int32_t d) {
      return static_cast<int32_t>(std::clamp<int64_t>(int64_t{a} + d + 1, INT32_MIN, INT32_MAX));
    };
    raster::scale_copy(*Bitmap, raster::Rect{x, y, edge(x, w), edge(y, h)}, src, resample());
  });
}

int32_t TImageImpl::AssignPicture(ImageSource* in) {
  // Every setting returns to a fresh object's, not only the image.
  reset();
  try {
    Bitmap = std::make_unique<raster::Bitmap>();
    int32_t handle = 0;
    if (!in || !in->get_bmp(handle)) return 0;
    const raster::Bitmap* src = raster::Bitmap::from_handle(handle);
    if (src && src != Bitmap.get()) *Bitmap = raster::Bitmap(*src);
    return 1;
  } catch (...) {
    return 0;
  }
}

VarOut TImageImpl::SaveToBufferBmp() {
  if (!Bitmap) return VarOut::null();
  try {
    return VarOut::buffer(codec::write_bmp(*Bitmap));
  } catch (...) {
    return VarOut::null();
  }
}

VarOut TImageImpl::SaveToBufferJpg(int32_t Quality, int32_t Progressive, int32_t Smoothing) {
  if (!Bitmap) return VarOut::null();
  try {
    Bytes out;
    if (!codec::write_jpeg(*Bitmap, resolve_jpeg(Quality, Progressive, Smoothing), out)) return VarOut::null();
    return VarOut::buffer(std::move(out));
  } catch (...) {
    return VarOut::null();
  }
}

}  // namespace kelv
