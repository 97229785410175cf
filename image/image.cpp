#include "image/image.h"

#include <algorithm>

#include "image/raster/blit.h"
#include "image/raster/canvas.h"
#include "platform/platform.h"

namespace kelv {

using raster::Bitmap;

TImageImpl::TImageImpl() {
  reset();
  m_header_height = -1;
  m_header_width = -1;
}

TImageImpl::~TImageImpl() {
  unregister_image(this);
  DeleteImage();
}

void TImageImpl::reset() {
  m_bitmap.reset();
  m_profile.clear();
  m_thumb_border_colors.clear();
  m_thumb_bg_color = 0;
  m_default_jpg_quality = codec::kDefaultJpegQuality;
  m_default_jpg_progressive = 0;
  m_default_jpg_smoothing = 1;
  m_thumb_border_count = 0;
  m_resample_mode = 0;
  m_jpg_orientation = 1;
}

void TImageImpl::DeleteImage() {
  m_bitmap.reset();
  m_profile.clear();
}

int32_t TImageImpl::IsNullImage() const { return m_bitmap ? 0 : 1; }

int32_t TImageImpl::IsValidImage() const {
  if (IsNullImage() == 1) return 0;
  return m_bitmap->width() == 0 && m_bitmap->height() == 0 ? 0 : 1;
}

void TImageImpl::put_DefaultJpgQuality(int32_t value) {
  m_default_jpg_quality = static_cast<int16_t>(std::clamp(value, codec::kMinJpegQuality, codec::kMaxJpegQuality));
}

codec::JpegOptions TImageImpl::resolve_jpeg(int32_t Quality, int32_t Progressive, int32_t Smoothing) const {
  codec::JpegOptions o;
  o.quality =
      Quality == -1 ? m_default_jpg_quality : std::clamp(Quality, codec::kMinJpegQuality, codec::kMaxJpegQuality);
  o.progressive = Progressive == -1 ? m_default_jpg_progressive == 1 : Progressive == 1;
  o.smoothing = Smoothing == -1 ? m_default_jpg_smoothing == 1 : Smoothing == 1;
  return o;
}

int32_t TImageImpl::LoadFromBmp(const std::string& FileName) { return load_file(FileName, codec::ImageFormat::Bmp); }

int32_t TImageImpl::LoadFromJpg(const std::string& FileName) { return load_file(FileName, codec::ImageFormat::Jpeg); }

codec::SaveRequest TImageImpl::jpeg_request(int32_t Quality, int32_t Progressive, int32_t Smoothing) const {
  const codec::JpegOptions o = resolve_jpeg(Quality, Progressive, Smoothing);
  codec::SaveRequest r;
  r.quality = o.quality;
  r.progressive = o.progressive;
  r.icc_profile = m_profile;
  return r;
}

// Saves write a complete file or leave the target untouched: the bytes go to a new file
// that replaces the target in one step.
int32_t TImageImpl::SaveToBmp(const std::string& FileName) {
  return save_file(FileName, codec::ImageFormat::Bmp, codec::SaveRequest{});
}

int32_t TImageImpl::SaveToJpg(const std::string& FileName, int32_t Quality, int32_t Progressive, int32_t Smoothing) {
  return save_file(FileName, codec::ImageFormat::Jpeg, jpeg_request(Quality, Progressive, Smoothing));
}

int32_t TImageImpl::CreateFromSize(int32_t w, int32_t h, int32_t bgcol) {
  return guarded([&]() -> int32_t {
           DeleteImage();
           m_bitmap = std::make_unique<raster::Bitmap>();
           if (!admits(w, h)) return 0;
           m_bitmap->set_size(w, h);
           if (bgcol > 0) {
             raster::Surface& s = m_bitmap->surface();
             s.brush.colour = bgcol;
             raster::fill_rect(*m_bitmap, raster::Rect{0, 0, w, h}, s.brush);
           }
           return 1;
         })
      .value_or(0);
}

// A rotation builds the whole turned image before it replaces the old one, so a
// rotation that fails (no memory) keeps the image it had.
int32_t TImageImpl::rotate(int turn) {
  if (!m_bitmap) return 0;
  return guarded([&]() -> int32_t {
           auto t = static_cast<raster::Turn>(turn);
           bool quarter = t != raster::Turn::Half;
           auto turned =
               std::make_unique<raster::Bitmap>(quarter ? m_bitmap->height() : m_bitmap->width(),
                                                quarter ? m_bitmap->width() : m_bitmap->height(), Bitmap::Fill::None);
           raster::rotate(*m_bitmap, *turned, t);
           m_bitmap = std::move(turned);
           return 1;
         })
      .value_or(0);
}

int32_t TImageImpl::RotateCW() { return rotate(static_cast<int>(raster::Turn::Clockwise)); }
int32_t TImageImpl::RotateCCW() { return rotate(static_cast<int>(raster::Turn::CounterClockwise)); }
int32_t TImageImpl::Rotate180() { return rotate(static_cast<int>(raster::Turn::Half)); }

int32_t TImageImpl::replace_with_copy(const std::function<std::unique_ptr<raster::Bitmap>()>& make) {
  const bool was_transparent = m_bitmap->transparency().enabled;
  m_bitmap->transparency().enabled = false;
  const bool replaced = guarded([&] { m_bitmap = make(); }).ok();
  m_bitmap->transparency().enabled = was_transparent;
  return replaced ? 1 : 0;
}

int32_t TImageImpl::ResizeImg(int32_t w, int32_t h) {
  if (!m_bitmap || !admits(w, h)) return 0;
  // Only the transparent flag travels to the scaled image (in automatic mode).
  return replace_with_copy([&] {
    // Every pixel of the new bitmap is copied from a non-empty source.
    auto scaled = std::make_unique<raster::Bitmap>(w, h, m_bitmap->empty() ? Bitmap::Fill::White : Bitmap::Fill::None);
    raster::scale_copy(*scaled, raster::Rect{0, 0, w, h}, *m_bitmap, resample());
    return scaled;
  });
}

int32_t TImageImpl::ChangeSize(int32_t w, int32_t h) {
  if (!m_bitmap || !admits(w, h)) return 0;
  return guarded([&] { with_profile_colours([&] { m_bitmap->set_size(w, h); }); }).ok() ? 1 : 0;
}

// Beyond MaxPixels a put fails as a put whose bitmap can't be had does: with an error.
void TImageImpl::put_Width(int32_t value) {
  if (!m_bitmap) return;
  if (!admits(value, m_bitmap->height())) throw Failure(Status::TooManyPixels);
  with_profile_colours([&] { m_bitmap->set_width(value); });
}

void TImageImpl::put_Height(int32_t value) {
  if (!m_bitmap) return;
  if (!admits(m_bitmap->width(), value)) throw Failure(Status::TooManyPixels);
  with_profile_colours([&] { m_bitmap->set_height(value); });
}

void TImageImpl::SetTransparentColor(int32_t color) {
  if (!m_bitmap) return;
  raster::Transparency& t = m_bitmap->transparency();
  t.fixed = true;
  t.enabled = true;
  t.colour = color;
}

void TImageImpl::RemoveTransparency() {
  if (m_bitmap) m_bitmap->transparency().enabled = false;
}

}  // namespace kelv
