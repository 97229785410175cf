// Text on Windows: GDI matches the font and draws it. The text box is copied from the
// bitmap into a 24-bit DIB section, drawn on there and copied back, so GDI writes the
// bitmap's own pixels.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "image/raster/canvas.h"
#include "common/status.h"
#include "image/raster/text.h"

namespace kelv::raster {
namespace {

COLORREF colour_ref(int32_t c) {
  auto u = static_cast<uint32_t>(c);
  if (u & 0x80000000u) return GetSysColor(static_cast<int>(u & 0xFF));
  return u & 0x00FFFFFF;
}

// A memory DC with the font selected, released on every path.
class FontDC {
 public:
  explicit FontDC(const Font& f) {
    m_dc = CreateCompatibleDC(nullptr);
    LOGFONTA lf{};
    lf.lfHeight = f.height;
    lf.lfWeight = (f.style & kBold) ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = (f.style & kItalic) ? TRUE : FALSE;
    lf.lfUnderline = (f.style & kUnderline) ? TRUE : FALSE;
    lf.lfStrikeOut = (f.style & kStrikeOut) ? TRUE : FALSE;
    lf.lfCharSet = f.charset;
    lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
    lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    lf.lfQuality = DEFAULT_QUALITY;
    lf.lfPitchAndFamily = DEFAULT_PITCH;
    std::strncpy(lf.lfFaceName, f.name.c_str(), LF_FACESIZE - 1);
    m_font = CreateFontIndirectA(&lf);
    if (!m_dc || !m_font) {
      release();
      throw Failure(Status::FontCannotBeCreated);
    }
    m_old = SelectObject(m_dc, m_font);
  }
  ~FontDC() { release(); }
  FontDC(const FontDC&) = delete;
  FontDC& operator=(const FontDC&) = delete;
  HDC dc() const { return m_dc; }

 private:
  void release() {
    if (m_dc && m_old) SelectObject(m_dc, m_old);
    if (m_font) DeleteObject(m_font);
    if (m_dc) DeleteDC(m_dc);
    m_dc = nullptr, m_font = nullptr, m_old = nullptr;
  }
  HDC m_dc = nullptr;
  HFONT m_font = nullptr;
  HGDIOBJ m_old = nullptr;
};

SIZE extent(HDC dc, std::string_view text) {
  SIZE sz{0, 0};
  TEXTMETRICA tm{};
  GetTextMetricsA(dc, &tm);
  if (!text.empty()) GetTextExtentPoint32A(dc, text.data(), static_cast<int>(text.size()), &sz);
  sz.cy = tm.tmHeight;
  return sz;
}

}  // namespace

TextExtent measure_text(const Font& font, std::string_view text) {
  FontDC f(font);
  SIZE sz = extent(f.dc(), text);
  return TextExtent{sz.cx, sz.cy};
}

void draw_text(Bitmap& bmp, int32_t x, int32_t y, std::string_view text, const Font& font, const Brush& brush) {
  FontDC f(font);
  SIZE sz = extent(f.dc(), text);
  // Italic and overhanging glyphs may reach past the advance: a margin on the right.
  int64_t margin = sz.cy;
  int64_t l = std::max<int64_t>(x, 0), t = std::max<int64_t>(y, 0);
  int64_t r = std::min<int64_t>(int64_t{x} + sz.cx + margin, bmp.width());
  int64_t b = std::min<int64_t>(int64_t{y} + sz.cy, bmp.height());
  if (l >= r || t >= b) return;
  int w = static_cast<int>(r - l), h = static_cast<int>(b - t);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;  // top-down, like our rows
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(f.dc(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!dib) throw Failure(Status::OutOfSystemResources);
  size_t stride = (static_cast<size_t>(w) * 3 + 3) & ~size_t{3};
  for (int row = 0; row < h; ++row)
    std::memcpy(static_cast<uint8_t*>(bits) + stride * row, bmp.row(static_cast<int32_t>(t) + row) + 3 * l,
                static_cast<size_t>(w) * 3);
  HGDIOBJ old = SelectObject(f.dc(), dib);
  SetTextColor(f.dc(), colour_ref(font.colour));
  if (brush.style == BrushStyle::Solid) {
    SetBkMode(f.dc(), OPAQUE);
    SetBkColor(f.dc(), colour_ref(brush.colour));
  } else {
    SetBkMode(f.dc(), TRANSPARENT);
  }
  TextOutA(f.dc(), static_cast<int>(x - l), static_cast<int>(y - t), text.data(), static_cast<int>(text.size()));
  GdiFlush();
  for (int row = 0; row < h; ++row)
    std::memcpy(bmp.row(static_cast<int32_t>(t) + row) + 3 * l, static_cast<uint8_t*>(bits) + stride * row,
                static_cast<size_t>(w) * 3);
  SelectObject(f.dc(), old);
  DeleteObject(dib);
}

}  // namespace kelv::raster
