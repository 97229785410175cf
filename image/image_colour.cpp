// Colour profiles of the Image class: ColorProfile, ColorMode, ConvertToSRGB, what a load
// does with a file's profile, how one object learns another's profile for Draw, and the
// script's sRGB drawing colours turned into the image's profile.
#include <unordered_set>

#include "image/image.h"
#include "platform/platform.h"

namespace kelv {
namespace {

// The live Image objects. Draw reaches another object's bitmap by its handle only; the
// profile beside it is found by asking which live object holds that bitmap.
struct LiveImages {
  platform::Mutex lock;
  std::unordered_set<const TImageImpl*> images;
};

LiveImages& live() {
  static LiveImages* l = new LiveImages;  // outlives every object
  return *l;
}

}  // namespace

void register_image(const TImageImpl* image) {
  LiveImages& l = live();
  platform::LockGuard lock(l.lock);
  l.images.insert(image);
}

void unregister_image(const TImageImpl* image) {
  LiveImages& l = live();
  platform::LockGuard lock(l.lock);
  l.images.erase(image);
}

codec::IccBytes profile_of(const raster::Bitmap* bmp) {
  LiveImages& l = live();
  platform::LockGuard lock(l.lock);
  for (const TImageImpl* image : l.images)
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

int32_t TImageImpl::in_profile(int32_t colour) {
  if (m_profile.empty()) return colour;
  return raster::to_colour(m_srgb_colours.in(m_profile, raster::resolve(colour)));
}

void TImageImpl::with_profile_colours(const std::function<void()>& step) {
  if (m_profile.empty() || !m_bitmap || !m_bitmap->surface_used()) return step();
  raster::Surface& s = m_bitmap->surface();
  struct Kept {
    raster::Surface& s;
    int32_t pen, brush, font;
    ~Kept() {
      s.pen.colour = pen;
      s.brush.colour = brush;
      s.font.colour = font;
    }
  } kept{s, s.pen.colour, s.brush.colour, s.font.colour};
  s.pen.colour = in_profile(kept.pen);
  s.brush.colour = in_profile(kept.brush);
  s.font.colour = in_profile(kept.font);
  step();
}

void TImageImpl::draw(const std::function<void(raster::Bitmap&)>& step) {
  if (!m_bitmap) return;
  (void)guarded([&] {
    m_bitmap->surface();  // drawing uses the surface; its colours are the ones to turn
    with_profile_colours([&] { step(*m_bitmap); });
  });
}

}  // namespace kelv
