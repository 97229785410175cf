// Colour profiles of the Image class: ColorProfile, ColorMode, ConvertToSRGB, what a load
// does with a file's profile, and how one object learns another's profile for Draw.
#include <mutex>
#include <unordered_set>

#include "image/image.h"

namespace kelv {
namespace {

// The live Image objects. Draw reaches another object's bitmap by its handle only; the
// profile beside it is found by asking which live object holds that bitmap.
std::mutex g_images_lock;
std::unordered_set<const TImageImpl*>& live_images() {
  static std::unordered_set<const TImageImpl*> images;
  return images;
}

}  // namespace

void register_image(const TImageImpl* image) {
  const std::lock_guard lock(g_images_lock);
  live_images().insert(image);
}

void unregister_image(const TImageImpl* image) {
  const std::lock_guard lock(g_images_lock);
  live_images().erase(image);
}

codec::IccBytes profile_of(const raster::Bitmap* bmp) {
  const std::lock_guard lock(g_images_lock);
  for (const TImageImpl* image : live_images())
    if (image->bitmap() == bmp) return image->profile();
  return {};
}

std::string TImageImpl::get_ColorProfile() const { return codec::profile_description(m_profile); }

void TImageImpl::put_ColorMode(int32_t value) {
  if (value == 0 || value == 1) m_color_mode = value;
}

int32_t TImageImpl::ConvertToSRGB() {
  if (!m_bitmap) return 0;
  return guarded([&]() -> int32_t {
           if (m_profile.empty()) return 1;
           if (!codec::convert_pixels(*m_bitmap, m_profile)) return 0;
           m_profile.clear();
           return 1;
         })
      .value_or(0);
}

void TImageImpl::adopt_profile(raster::Bitmap& picture, std::span<const uint8_t> icc) {
  m_profile = codec::kept_profile(icc);
  // A profile that can't be applied is kept all the same: the pixels are the file's, and
  // a save writes what the file said about them.
  if (m_color_mode == 1 && !m_profile.empty() && codec::convert_pixels(picture, m_profile)) m_profile.clear();
}

}  // namespace kelv
