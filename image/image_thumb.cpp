// Thumbnails: the frame's border settings and MakeThumb.
#include <algorithm>

#include "image/image.h"
#include "image/raster/blit.h"
#include "image/raster/canvas.h"
#include "image/thumb_frame.h"

namespace kelv {

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
  return replace_with_copy([&] { return make_thumbnail(*Bitmap, frame, resample()); });
}

}  // namespace kelv
