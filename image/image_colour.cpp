// Colour profiles of the Image class: ColorProfile, ColorMode, ConvertToSRGB, what a load
// does with a file's profile, how one object learns another's profile for Draw, and the
// script's sRGB drawing colours turned into the image's profile.
#include <unordered_map>
#include <utility>

#include "image/image.h"
#include "platform/platform.h"

namespace kelv {
namespace {

// What each Image object last said of its picture when it was asked for it (GetBmp, the
// call through which Draw and AssignPicture reach another object's pixels): the bitmap and
// its profile, copied here by the owner. profile_of reads only these copies, never another
// object's own fields, which its own thread may be changing at the same time.
struct Published {
  platform::Mutex lock;
  std::unordered_map<const TImageImpl*, std::pair<const raster::Bitmap*, codec::IccBytes>> images;
};

Published& published() {
  static Published* p = new Published;  // outlives every object
  return *p;
}

}  // namespace

void publish_profile(const TImageImpl* image, const raster::Bitmap* bmp, const codec::IccBytes& profile) {
  Published& p = published();
  platform::LockGuard lock(p.lock);
  // A bitmap belongs to one object at a time: an entry of another object that names the
  // same address is left from a picture since freed, whose memory this one now uses.
  std::erase_if(p.images, [&](const auto& entry) { return entry.first != image && entry.second.first == bmp; });
  p.images[image] = {bmp, profile};
}

void unregister_image(const TImageImpl* image) {
  Published& p = published();
  platform::LockGuard lock(p.lock);
  p.images.erase(image);
}

codec::IccBytes profile_of(const raster::Bitmap* bmp) {
  Published& p = published();
  platform::LockGuard lock(p.lock);
  for (const auto& [image, entry] : p.images)
    if (entry.first == bmp) return entry.second;
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
