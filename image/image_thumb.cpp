// Thumbnails: the frame's border settings and MakeThumb.
#include <algorithm>
#include <span>
#include <vector>

#include "image/image.h"
#include "image/raster/blit.h"
#include "image/raster/canvas.h"
#include "image/thumb_frame.h"

namespace kelv {

void TImageImpl::put_cntThumbBorder(int32_t value) {
  if (value == 0 || value < 0) {
    // Negative counts can't be stored: no rings.
    m_thumb_border_colors.clear();
    m_thumb_border_count = 0;
    return;
  }
  if (value > 255) return;
  // New rings start black until SetThumbBorder sets them.
  m_thumb_border_colors.resize(static_cast<size_t>(value), 0);
  m_thumb_border_count = static_cast<int16_t>(value);
}

int32_t TImageImpl::SetThumbBorder(int32_t index, int32_t color) {
  if (index < 0 || index >= m_thumb_border_count) return 0;
  m_thumb_border_colors[static_cast<size_t>(index)] = color;
  return 1;
}

int32_t TImageImpl::GetThumbBorder(int32_t index) const {
  return index >= 0 && index < m_thumb_border_count ? m_thumb_border_colors[static_cast<size_t>(index)] : 0;
}

int32_t TImageImpl::MakeThumb(int32_t insideW, int32_t insideH) {
  if (!m_bitmap || !admits(insideW, insideH)) return 0;
  const std::span<const int32_t> given(m_thumb_border_colors.data(), static_cast<size_t>(m_thumb_border_count));
  // The frame's colours are sRGB, as the drawing colours are: painted in the image's
  // profile.
  std::vector<int32_t> rings(given.begin(), given.end());
  if (!m_profile.empty()) std::ranges::transform(rings, rings.begin(), [&](int32_t c) { return in_profile(c); });
  const ThumbFrame frame{insideW, insideH, in_profile(m_thumb_bg_color), rings};
  // No picture area left inside the rings, or nothing to scale: the image stays.
  if (!thumb_picture_rect(frame, m_bitmap->width(), m_bitmap->height())) return 0;
  // The copy takes every pixel; the flag comes back afterwards, in automatic mode.
  return replace_with_copy([&] {
    auto thumb = make_thumbnail(*m_bitmap, frame, resample());
    // The surface the framing leaves reads back the script's own colours.
    if (thumb) {
      raster::Surface& s = thumb->surface();
      s.brush.colour = m_thumb_bg_color;
      if (!given.empty()) s.pen.colour = given.back();
    }
    return thumb;
  });
}

}  // namespace kelv
