// Transfer between Image objects and into buffers: GetBmp, Draw, StretchDraw,
// AssignPicture and the SaveToBuffer members.
#include "image/image.h"
#include "image/raster/blit.h"
#include "image/raster/canvas.h"

namespace kelv {
namespace {

// A copy of `src` with its pixels converted from the space of `from` into that of `to`.
// A fixed transparent colour is converted with them, so the same pixels stay transparent.
raster::Bitmap in_space(const raster::Bitmap& src, const codec::IccBytes& from, const codec::IccBytes& to) {
  raster::Bitmap copy(src);
  if (!codec::convert_pixels(copy, from, to)) return copy;
  raster::Transparency& t = copy.transparency();
  if (t.enabled && t.fixed) {
    raster::Bitmap key(1, 1, raster::Bitmap::Fill::None);
    key.set_pixel(0, 0, raster::resolve(t.colour));
    if (codec::convert_pixels(key, from, to)) t.colour = raster::to_colour(key.pixel(0, 0));
  }
  return copy;
}

}  // namespace

int32_t TImageImpl::GetBmp() {
  return guarded([&]() -> int32_t {
           if (!m_bitmap) return 0;
           publish_profile(this, m_bitmap.get(), m_profile);
           return m_bitmap->handle();
         })
      .value_or(0);
}

int32_t TImageImpl::paint_from(ImageSource* img, const std::function<void(const raster::Bitmap&)>& paint) {
  if (!m_bitmap) return 0;
  int32_t handle = 0;
  if (!img || !img->get_bmp(handle)) return 0;
  const raster::Bitmap* src = raster::Bitmap::from_handle(handle);
  if (!src) return 0;
  return guarded([&]() -> int32_t {
           // Pixels of another colour space are painted as they look: a copy converted into
           // this image's space.
           const codec::IccBytes from = profile_of(src);
           if (from != m_profile) {
             raster::Bitmap copy = in_space(*src, from, m_profile);
             paint(copy);
           } else if (src == m_bitmap.get()) {
             // Drawing an image onto itself: from a copy, so no pixel is read after it changed.
             raster::Bitmap copy(*src);
             paint(copy);
           } else {
             paint(*src);
           }
           return 1;
         })
      .value_or(0);
}

int32_t TImageImpl::Draw(int32_t x, int32_t y, ImageSource* img) {
  return paint_from(img, [&](const raster::Bitmap& src) { raster::copy_at(*m_bitmap, x, y, src); });
}

int32_t TImageImpl::StretchDraw(int32_t x, int32_t y, int32_t w, int32_t h, ImageSource* img) {
  // The rectangle is w + 1 by h + 1 pixels, right and bottom exclusive.
  return paint_from(img, [&](const raster::Bitmap& src) {
    auto edge = [](int32_t a, int32_t d) {
      return static_cast<int32_t>(std::clamp<int64_t>(int64_t{a} + d + 1, INT32_MIN, INT32_MAX));
    };
    raster::scale_copy(*m_bitmap, raster::Rect{x, y, edge(x, w), edge(y, h)}, src, resample());
  });
}

int32_t TImageImpl::AssignPicture(ImageSource* in) {
  // Every setting returns to a fresh object's, not only the image.
  reset();
  return guarded([&]() -> int32_t {
           m_bitmap = std::make_unique<raster::Bitmap>();
           int32_t handle = 0;
           if (!in || !in->get_bmp(handle)) return 0;
           const raster::Bitmap* src = raster::Bitmap::from_handle(handle);
           if (src && src != m_bitmap.get()) {
             // The copy takes the picture's profile, and ColorMode as a load does.
             *m_bitmap = raster::Bitmap(*src);
             adopt_profile(*m_bitmap, profile_of(src));
           }
           return 1;
         })
      .value_or(0);
}

VarOut TImageImpl::SaveToBufferBmp() { return save_buffer(codec::ImageFormat::Bmp, codec::SaveRequest{}); }

VarOut TImageImpl::SaveToBufferJpg(int32_t Quality, int32_t Progressive, int32_t Smoothing) {
  return save_buffer(codec::ImageFormat::Jpeg, jpeg_request(Quality, Progressive, Smoothing));
}

}  // namespace kelv
