// Thumbnails, header probing and transfer between Image objects and into buffers.
#include <cmath>
#include <cstdio>

#include "binaryrw/FileStream.h"
#include "image/codec/Bmp.h"
#include "image/imageImpl.h"
#include "image/raster/Blit.h"
#include "image/raster/Canvas.h"

namespace kelv {
namespace {

std::string html_wh(int32_t w, int32_t h) {
  return "width=\"" + std::to_string(w) + "\" height=\"" + std::to_string(h) + "\"";
}

// Header probes read through a small buffer: a probe needs a few dozen bytes, plus four
// for each JPEG segment it skips.
constexpr size_t kProbeBuffer = 512;

}  // namespace

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
  const int32_t n = cntThumbBorder;
  const int32_t srcW = Bitmap->width(), srcH = Bitmap->height();
  // No picture area left inside the rings, or nothing to scale: the image stays.
  if (insideW <= 0 || insideH <= 0 || 2 * n >= insideW || 2 * n >= insideH || srcW == 0 || srcH == 0) return 0;
  // The copy takes every pixel; the flag comes back afterwards, in automatic mode.
  bool was_transparent = Bitmap->transparency().enabled;
  Bitmap->transparency().enabled = false;
  int32_t result = 1;
  try {
    auto thumb = std::make_unique<raster::Bitmap>(insideW, insideH);
    raster::Surface& s = thumb->surface();
    s.brush = raster::Brush{ThumbBgColor, raster::BrushStyle::Solid};
    s.pen.width = 1;
    raster::fill_rect(*thumb, raster::Rect{0, 0, insideW, insideH}, s.brush);
    // Ring i outlines columns i to insideW-1-i and rows i to insideH-1-i.
    for (int32_t i = 0; i < n; ++i) {
      s.pen.colour = ThumbBorderColors[static_cast<size_t>(i)];
      raster::move_to(*thumb, i, i);
      raster::line_to(*thumb, insideW - i - 1, i);
      raster::line_to(*thumb, insideW - i - 1, insideH - i - 1);
      raster::line_to(*thumb, i, insideH - i - 1);
      raster::line_to(*thumb, i, i);
    }
    // Fit inside the rings with the aspect kept; equal ratios take the height branch.
    const double areaW = insideW - 2.0 * n, areaH = insideH - 2.0 * n;
    const double rx = areaW / srcW, ry = areaH / srcH;
    int32_t newW, newH;
    if (rx < ry) {
      newW = static_cast<int32_t>(areaW);
      newH = static_cast<int32_t>(std::floor(srcH * rx + 0.5));
    } else {
      newH = static_cast<int32_t>(areaH);
      newW = static_cast<int32_t>(std::floor(srcW * ry + 0.5));
    }
    // Centred on the outer size, which is the same place as centred inside the rings.
    const int32_t offX = (insideW - newW) / 2, offY = (insideH - newH) / 2;
    raster::stretch_copy(*thumb, raster::Rect{offX, offY, offX + newW, offY + newH}, *Bitmap);
    Bitmap = std::move(thumb);
  } catch (...) {
    result = 0;
  }
  Bitmap->transparency().enabled = was_transparent;
  return result;
}

// ---- Header probing ------------------------------------------------------------------

int32_t TImageImpl::HeaderReadBmp(const std::string& FileName) {
  HeaderWidth = HeaderHeight = -1;
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
    // start-of-frame code of the five that carry the size.
    for (;;) {
      uint8_t h[4];
      if (f->read(h, 4) != 4) return 0;
      if (h[0] == 0xFF && (h[1] == 0xC0 || h[1] == 0xC1 || h[1] == 0xC2 || h[1] == 0xC9 || h[1] == 0xCA)) {
        uint8_t fr[5];
        if (f->read(fr, 5) != 5) return 0;
        HeaderHeight = fr[1] * 256 + fr[2];
        HeaderWidth = fr[3] * 256 + fr[4];
        return 1;
      }
      int32_t length = h[2] * 256 + h[3];
      if (!f->seek(length - 2, 1)) return 0;
    }
  } catch (...) {
    HeaderWidth = HeaderHeight = -1;
    return 0;
  }
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
    raster::stretch_copy(*Bitmap, raster::Rect{x, y, edge(x, w), edge(y, h)}, src);
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
