#include "image/image.h"

#include <algorithm>

#include "image/codec/bmp.h"
#include "image/raster/blit.h"
#include "image/raster/canvas.h"
#include "platform/platform.h"

namespace kelv {

using raster::Bitmap;

TImageImpl::TImageImpl() {
  reset();
  HeaderHeight = -1;
  HeaderWidth = -1;
}

TImageImpl::~TImageImpl() { DeleteImage(); }

void TImageImpl::reset() {
  Bitmap.reset();
  ThumbBorderColors.clear();
  ThumbBgColor = 0;
  DefaultJpgQuality = 78;
  DefaultJpgProgressive = 0;
  DefaultJpgSmoothing = 1;
  cntThumbBorder = 0;
  ResampleMode = 0;
  JpgOrientation = 1;
}

void TImageImpl::DeleteImage() { Bitmap.reset(); }

int32_t TImageImpl::IsNullImage() const { return Bitmap ? 0 : 1; }

int32_t TImageImpl::IsValidImage() const {
  if (IsNullImage() == 1) return 0;
  return Bitmap->width() == 0 && Bitmap->height() == 0 ? 0 : 1;
}

void TImageImpl::put_DefaultJpgQuality(int32_t value) {
  DefaultJpgQuality = static_cast<int16_t>(std::clamp(value, 1, 100));
}

codec::JpegOptions TImageImpl::resolve_jpeg(int32_t Quality, int32_t Progressive, int32_t Smoothing) const {
  codec::JpegOptions o;
  o.quality = Quality == -1 ? DefaultJpgQuality : std::clamp(Quality, 1, 100);
  o.progressive = Progressive == -1 ? DefaultJpgProgressive == 1 : Progressive == 1;
  o.smoothing = Smoothing == -1 ? DefaultJpgSmoothing == 1 : Smoothing == 1;
  return o;
}

int32_t TImageImpl::LoadFromBmp(const std::string& FileName) {
  JpgOrientation = 1;
  return guarded([&]() -> int32_t {
           DeleteImage();
           // The new bitmap is held before anything is read: a failed load leaves an empty
           // image, not none.
           Bitmap = std::make_unique<raster::Bitmap>();
           // Read in place: the pixel rows go from the file straight into the new bitmap.
           codec::FileSource file(FileName);
           if (!file.is_open() || !codec::read_bmp(file, *Bitmap)) return 0;
           HeaderHeight = -1;
           HeaderWidth = -1;
           HeaderFileSize = -1;
           return 1;
         })
      .value_or(0);
}

int32_t TImageImpl::LoadFromJpg(const std::string& FileName) { return load_jpeg(FileName, nullptr); }

// Saves write a complete file or leave the target untouched: the bytes are built in
// memory and replace the target in one step.
int32_t TImageImpl::SaveToBmp(const std::string& FileName) {
  if (!Bitmap) return 0;
  return guarded([&]() -> int32_t {
           return platform::write_file_replacing(
                      FileName, [&](const platform::WriteSink& sink) { return codec::write_bmp(*Bitmap, sink); })
                      ? 1
                      : 0;
         })
      .value_or(0);
}

int32_t TImageImpl::SaveToJpg(const std::string& FileName, int32_t Quality, int32_t Progressive, int32_t Smoothing) {
  if (!Bitmap) return 0;
  return guarded([&]() -> int32_t {
           Bytes out;
           if (!codec::write_jpeg(*Bitmap, resolve_jpeg(Quality, Progressive, Smoothing), out)) return 0;
           return platform::write_file_replacing(FileName, out.data(), out.size()) ? 1 : 0;
         })
      .value_or(0);
}

int32_t TImageImpl::CreateFromSize(int32_t w, int32_t h, int32_t bgcol) {
  return guarded([&]() -> int32_t {
           DeleteImage();
           Bitmap = std::make_unique<raster::Bitmap>();
           Bitmap->set_size(w, h);
           if (bgcol > 0) {
             raster::Surface& s = Bitmap->surface();
             s.brush.colour = bgcol;
             raster::fill_rect(*Bitmap, raster::Rect{0, 0, w, h}, s.brush);
           }
           return 1;
         })
      .value_or(0);
}

// A rotation builds the whole turned image before it replaces the old one, so a
// rotation that fails (no memory) keeps the image it had.
int32_t TImageImpl::rotate(int turn) {
  if (!Bitmap) return 0;
  return guarded([&]() -> int32_t {
           auto t = static_cast<raster::Turn>(turn);
           bool quarter = t != raster::Turn::Half;
           auto turned =
               std::make_unique<raster::Bitmap>(quarter ? Bitmap->height() : Bitmap->width(),
                                                quarter ? Bitmap->width() : Bitmap->height(), Bitmap::Fill::None);
           raster::rotate(*Bitmap, *turned, t);
           Bitmap = std::move(turned);
           return 1;
         })
      .value_or(0);
}

int32_t TImageImpl::RotateCW() { return rotate(static_cast<int>(raster::Turn::Clockwise)); }
int32_t TImageImpl::RotateCCW() { return rotate(static_cast<int>(raster::Turn::CounterClockwise)); }
int32_t TImageImpl::Rotate180() { return rotate(static_cast<int>(raster::Turn::Half)); }

int32_t TImageImpl::replace_with_copy(const std::function<std::unique_ptr<raster::Bitmap>()>& make) {
  const bool was_transparent = Bitmap->transparency().enabled;
  Bitmap->transparency().enabled = false;
  const bool replaced = guarded([&] { Bitmap = make(); }).ok();
  Bitmap->transparency().enabled = was_transparent;
  return replaced ? 1 : 0;
}

int32_t TImageImpl::ResizeImg(int32_t w, int32_t h) {
  if (!Bitmap) return 0;
  // Only the transparent flag travels to the scaled image (in automatic mode).
  return replace_with_copy([&] {
    // Every pixel of the new bitmap is copied from a non-empty source.
    auto scaled = std::make_unique<raster::Bitmap>(w, h, Bitmap->empty() ? Bitmap::Fill::White : Bitmap::Fill::None);
    raster::scale_copy(*scaled, raster::Rect{0, 0, w, h}, *Bitmap, resample());
    return scaled;
  });
}

int32_t TImageImpl::ChangeSize(int32_t w, int32_t h) {
  if (!Bitmap) return 0;
  return guarded([&] { Bitmap->set_size(w, h); }).ok() ? 1 : 0;
}

void TImageImpl::put_Width(int32_t value) {
  if (Bitmap) Bitmap->set_width(value);
}

void TImageImpl::put_Height(int32_t value) {
  if (Bitmap) Bitmap->set_height(value);
}

void TImageImpl::SetTransparentColor(int32_t color) {
  if (!Bitmap) return;
  raster::Transparency& t = Bitmap->transparency();
  t.fixed = true;
  t.enabled = true;
  t.colour = color;
}

void TImageImpl::RemoveTransparency() {
  if (Bitmap) Bitmap->transparency().enabled = false;
}

}  // namespace kelv
