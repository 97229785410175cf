#include "image/thumb_frame.h"

#include <cmath>

namespace kelv {

std::optional<raster::Rect> thumb_picture_rect(const ThumbFrame& frame, int32_t src_width, int32_t src_height) {
  const int64_t n = static_cast<int64_t>(frame.rings.size());
  if (frame.width <= 0 || frame.height <= 0 || 2 * n >= frame.width || 2 * n >= frame.height || src_width <= 0 ||
      src_height <= 0)
    return std::nullopt;
  const double area_w = frame.width - 2.0 * static_cast<double>(n),
               area_h = frame.height - 2.0 * static_cast<double>(n);
  const double rx = area_w / src_width, ry = area_h / src_height;
  int32_t w, h;
  if (rx < ry) {
    w = static_cast<int32_t>(area_w);
    h = static_cast<int32_t>(std::floor(src_height * rx + 0.5));
  } else {
    h = static_cast<int32_t>(area_h);
    w = static_cast<int32_t>(std::floor(src_width * ry + 0.5));
  }
  // Centred on the outer size, which is the same place as centred inside the rings.
  const int32_t x = (frame.width - w) / 2, y = (frame.height - h) / 2;
  return raster::Rect{x, y, x + w, y + h};
}

std::unique_ptr<raster::Bitmap> make_thumbnail(const raster::Bitmap& src, const ThumbFrame& frame,
                                               raster::Resample mode) {
  const std::optional<raster::Rect> picture = thumb_picture_rect(frame, src.width(), src.height());
  if (!picture) return nullptr;
  const int32_t w = frame.width, h = frame.height;
  auto thumb = std::make_unique<raster::Bitmap>(w, h);
  raster::Surface& s = thumb->surface();
  s.brush = raster::Brush{frame.background, raster::BrushStyle::Solid};
  s.pen.width = 1;
  raster::fill_rect(*thumb, raster::Rect{0, 0, w, h}, s.brush);
  // Ring i outlines columns i to w-1-i and rows i to h-1-i.
  for (int32_t i = 0; i < static_cast<int32_t>(frame.rings.size()); ++i) {
    s.pen.colour = frame.rings[static_cast<size_t>(i)];
    raster::move_to(*thumb, i, i);
    raster::line_to(*thumb, w - i - 1, i);
    raster::line_to(*thumb, w - i - 1, h - i - 1);
    raster::line_to(*thumb, i, h - i - 1);
    raster::line_to(*thumb, i, i);
  }
  raster::scale_copy(*thumb, *picture, src, mode);
  return thumb;
}

}  // namespace kelv
