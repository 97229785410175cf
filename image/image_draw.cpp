// The drawing members of the Image class: pixels, lines, shapes, text, and the pen,
// brush and font properties. Drawing without an image does nothing; an error inside a
// drawing method is caught, one inside a property reaches the caller.
#include <algorithm>
#include <utility>

#include "image/image.h"
#include "image/raster/canvas.h"
#include "image/raster/text.h"
#include "platform/platform.h"

namespace kelv {
namespace {

// The longest font name, in UTF-16 units.
constexpr size_t kFontNameUnits = 31;

int32_t clamp32(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

// The shapes' rectangle: left x1, top y1, right x1 + w + 1, bottom y1 + h + 1 (right and
// bottom exclusive), so a shape covers w + 1 by h + 1 pixels.
raster::Rect shape_rect(int32_t x1, int32_t y1, int32_t w, int32_t h) {
  return raster::Rect{x1, y1, clamp32(int64_t{x1} + w + 1), clamp32(int64_t{y1} + h + 1)};
}

}  // namespace

int32_t TImageImpl::GetColor(int32_t x, int32_t y) {
  if (!m_bitmap) return 0;
  return guarded([&]() -> int32_t {
           m_bitmap->surface();  // reading a pixel goes through the surface, as drawing does
           if (!m_bitmap->contains(x, y)) return -1;
           return raster::to_colour(m_bitmap->pixel(x, y));
         })
      .value_or(0);
}

void TImageImpl::MoveTo(int32_t x, int32_t y) {
  draw([&](raster::Bitmap& b) { raster::move_to(b, x, y); });
}

void TImageImpl::LineTo(int32_t x, int32_t y) {
  draw([&](raster::Bitmap& b) { raster::line_to(b, x, y); });
}

void TImageImpl::Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  draw([&](raster::Bitmap& b) {
    raster::move_to(b, x1, y1);
    raster::line_to(b, x2, y2);
  });
}

void TImageImpl::Rectangle(int32_t x1, int32_t y1, int32_t w, int32_t h) {
  draw([&](raster::Bitmap& b) { raster::rectangle(b, shape_rect(x1, y1, w, h)); });
}

void TImageImpl::FillRect(int32_t x1, int32_t y1, int32_t w, int32_t h) {
  draw([&](raster::Bitmap& b) { raster::fill_rect(b, shape_rect(x1, y1, w, h), b.surface().brush); });
}

void TImageImpl::Ellipse(int32_t x1, int32_t y1, int32_t w, int32_t h) {
  draw([&](raster::Bitmap& b) { raster::ellipse(b, shape_rect(x1, y1, w, h)); });
}

// The outline that Rectangle draws with a 1-pixel pen, as four lines, ending where it
// started.
void TImageImpl::LineRect(int32_t x1, int32_t y1, int32_t w, int32_t h) {
  draw([&](raster::Bitmap& b) {
    int32_t x2 = clamp32(int64_t{x1} + w), y2 = clamp32(int64_t{y1} + h);
    raster::move_to(b, x1, y1);
    raster::line_to(b, x2, y1);
    raster::line_to(b, x2, y2);
    raster::line_to(b, x1, y2);
    raster::line_to(b, x1, y1);
  });
}

void TImageImpl::LineEllipse(int32_t x1, int32_t y1, int32_t w, int32_t h) {
  draw([&](raster::Bitmap& b) {
    raster::Brush& brush = b.surface().brush;
    const raster::BrushStyle kept = std::exchange(brush.style, raster::BrushStyle::Clear);
    (void)guarded([&] { raster::ellipse(b, shape_rect(x1, y1, w, h)); });
    brush.style = kept;
  });
}

void TImageImpl::TextOut(int32_t x, int32_t y, const std::string& str) {
  draw([&](raster::Bitmap& b) {
    raster::Surface& s = b.surface();
    raster::draw_text(b, x, y, str, s.font, s.brush);
    s.position = {clamp32(int64_t{x} + raster::measure_text(s.font, str).width), y};
  });
}

int32_t TImageImpl::GetTextWidth(const std::string& str) {
  if (!m_bitmap) return 0;
  return guarded([&]() -> int32_t { return raster::measure_text(m_bitmap->surface().font, str).width; }).value_or(0);
}

int32_t TImageImpl::GetTextHeight(const std::string& str) {
  if (!m_bitmap) return 0;
  return guarded([&]() -> int32_t { return raster::measure_text(m_bitmap->surface().font, str).height; }).value_or(0);
}

int32_t TImageImpl::get_PenColor() { return m_bitmap ? surface()->pen.colour : 0; }
void TImageImpl::put_PenColor(int32_t value) {
  if (m_bitmap) surface()->pen.colour = value;
}
int32_t TImageImpl::get_PenWidth() { return m_bitmap ? surface()->pen.width : 0; }
void TImageImpl::put_PenWidth(int32_t value) {
  if (m_bitmap && value >= 0) surface()->pen.width = value;
}
int32_t TImageImpl::get_BrushColor() { return m_bitmap ? surface()->brush.colour : 0; }
void TImageImpl::put_BrushColor(int32_t value) {
  if (m_bitmap) surface()->brush.colour = value;
}
uint8_t TImageImpl::get_BrushStyle() { return m_bitmap ? static_cast<uint8_t>(surface()->brush.style) : 0; }
void TImageImpl::put_BrushStyle(uint8_t value) {
  if (m_bitmap) surface()->brush.style = static_cast<raster::BrushStyle>(value > 7 ? 0 : value);
}
std::string TImageImpl::get_FontName() { return m_bitmap ? surface()->font.name : std::string(); }
// The name is kept to the 31 UTF-16 units a font's face name holds, never splitting a
// surrogate pair.
void TImageImpl::put_FontName(const std::string& value) {
  if (!m_bitmap || value.empty()) return;
  std::u16string units = platform::utf16_from_utf8(value);
  if (units.size() <= kFontNameUnits) {
    surface()->font.name = value;
    return;
  }
  size_t keep = kFontNameUnits;
  if (units[keep - 1] >= 0xD800 && units[keep - 1] <= 0xDBFF && units[keep] >= 0xDC00 && units[keep] <= 0xDFFF) --keep;
  surface()->font.name = platform::utf8_from_utf16(std::u16string_view(units).substr(0, keep));
}
int32_t TImageImpl::get_FontHeight() { return m_bitmap ? surface()->font.height : 0; }
void TImageImpl::put_FontHeight(int32_t value) {
  if (m_bitmap) surface()->font.height = value;
}
int32_t TImageImpl::get_FontColor() { return m_bitmap ? surface()->font.colour : 0; }
void TImageImpl::put_FontColor(int32_t value) {
  if (m_bitmap) surface()->font.colour = value;
}
uint8_t TImageImpl::get_FontStyle() { return m_bitmap ? surface()->font.style : 0; }
void TImageImpl::put_FontStyle(uint8_t value) {
  if (m_bitmap) surface()->font.style = value & 0x0F;
}
uint8_t TImageImpl::get_FontCharSet() { return m_bitmap ? surface()->font.charset : 0; }
void TImageImpl::put_FontCharSet(uint8_t value) {
  if (m_bitmap) surface()->font.charset = value;
}

}  // namespace kelv
