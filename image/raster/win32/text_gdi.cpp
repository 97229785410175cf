// Text on Windows: GDI matches the font and draws the UTF-16 text. The text box is
// copied from the bitmap into a 24-bit DIB section, drawn on there and copied back, so
// GDI writes the bitmap's own pixels.
//
// A character the font lacks is drawn with the font that GDI's font mapper picks for the
// same request in a character set that holds the character (the system's code page
// first), so Cyrillic, Greek or Chinese text draws in an installed font that has it,
// whatever FontCharSet chose the main font.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/status.h"
#include "image/raster/canvas.h"
#include "image/raster/text.h"
#include "platform/platform.h"

namespace kelv::raster {
namespace {

COLORREF colour_ref(int32_t c) {
  auto u = static_cast<uint32_t>(c);
  if (u & 0x80000000u) return GetSysColor(static_cast<int>(u & 0xFF));
  return u & 0x00FFFFFF;
}

LOGFONTW logfont(const Font& f, BYTE charset) {
  LOGFONTW lf{};
  lf.lfHeight = f.height;
  lf.lfWeight = (f.style & kBold) ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = (f.style & kItalic) ? TRUE : FALSE;
  lf.lfUnderline = (f.style & kUnderline) ? TRUE : FALSE;
  lf.lfStrikeOut = (f.style & kStrikeOut) ? TRUE : FALSE;
  lf.lfCharSet = charset;
  lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
  lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  lf.lfQuality = DEFAULT_QUALITY;
  lf.lfPitchAndFamily = DEFAULT_PITCH;
  // The face name holds 31 units and its NUL (FontName keeps no more).
  const std::u16string name = platform::utf16_from_utf8(f.name);
  std::memcpy(lf.lfFaceName, name.data(), std::min<size_t>(name.size(), LF_FACESIZE - 1) * sizeof(char16_t));
  return lf;
}

// A memory DC with the font selected, and the fonts made for characters it lacks,
// released on every path.
class FontDC {
 public:
  explicit FontDC(const Font& f) : m_font(f) {
    m_dc = CreateCompatibleDC(nullptr);
    LOGFONTW lf = logfont(f, f.charset);
    m_primary = CreateFontIndirectW(&lf);
    if (!m_dc || !m_primary) {
      release();
      throw Failure(Status::FontCannotBeCreated);
    }
    m_old = SelectObject(m_dc, m_primary);
  }
  ~FontDC() { release(); }
  FontDC(const FontDC&) = delete;
  FontDC& operator=(const FontDC&) = delete;
  HDC dc() const { return m_dc; }
  HFONT primary() const { return m_primary; }
  void select(HFONT font) { SelectObject(m_dc, font); }

  // The font for the same request in `charset`; null when GDI makes none.
  HFONT in_charset(BYTE charset) {
    for (const auto& [cs, font] : m_fallbacks)
      if (cs == charset) return font;
    LOGFONTW lf = logfont(m_font, charset);
    HFONT font = CreateFontIndirectW(&lf);
    m_fallbacks.emplace_back(charset, font);
    return font;
  }

 private:
  void release() {
    if (m_dc && m_old) SelectObject(m_dc, m_old);
    for (const auto& fallback : m_fallbacks)
      if (fallback.second) DeleteObject(fallback.second);
    if (m_primary) DeleteObject(m_primary);
    if (m_dc) DeleteDC(m_dc);
    m_fallbacks.clear();
    m_dc = nullptr, m_primary = nullptr, m_old = nullptr;
  }
  Font m_font;
  HDC m_dc = nullptr;
  HFONT m_primary = nullptr;
  HGDIOBJ m_old = nullptr;
  std::vector<std::pair<BYTE, HFONT>> m_fallbacks;
};

// The character sets a missing character is looked for in, by the code page that
// defines them.
struct CharsetPage {
  UINT code_page;
  BYTE charset;
};
constexpr CharsetPage kCharsetPages[] = {
    {1252, ANSI_CHARSET},    {1250, EASTEUROPE_CHARSET}, {1251, RUSSIAN_CHARSET},    {1253, GREEK_CHARSET},
    {1254, TURKISH_CHARSET}, {1257, BALTIC_CHARSET},     {1258, VIETNAMESE_CHARSET}, {1255, HEBREW_CHARSET},
    {1256, ARABIC_CHARSET},  {874, THAI_CHARSET},        {936, GB2312_CHARSET},      {950, CHINESEBIG5_CHARSET},
    {932, SHIFTJIS_CHARSET}, {949, HANGUL_CHARSET},
};

bool page_has(UINT code_page, wchar_t c) {
  char bytes[8];
  BOOL defaulted = FALSE;
  int n = WideCharToMultiByte(code_page, WC_NO_BEST_FIT_CHARS, &c, 1, bytes, sizeof bytes, nullptr, &defaulted);
  return n > 0 && !defaulted;
}

bool has_glyph(HDC dc, wchar_t c) {
  WORD index = 0xFFFF;
  return GetGlyphIndicesW(dc, &c, 1, &index, GGI_MARK_NONEXISTING_GLYPHS) == 1 && index != 0xFFFF;
}

// Control characters and surrogates stay with the main font, which draws them as it
// always has.
bool keeps_main_font(wchar_t c) { return c < 0x20 || (c >= 0x7F && c < 0xA0) || (c >= 0xD800 && c <= 0xDFFF); }

// A font for `c`, which the main font lacks: the first character set holding it, the
// system's code page first, whose font has its glyph. Null when none has.
HFONT fallback_for(FontDC& f, wchar_t c) {
  const UINT system_page = GetACP();
  HFONT found = nullptr;
  for (int pass = 0; pass < 2 && !found; ++pass)
    for (const CharsetPage& cp : kCharsetPages) {
      if ((cp.code_page == system_page) != (pass == 0) || !page_has(cp.code_page, c)) continue;
      HFONT font = f.in_charset(cp.charset);
      if (!font) continue;
      f.select(font);
      if (has_glyph(f.dc(), c)) {
        found = font;
        break;
      }
    }
  f.select(f.primary());
  return found;
}

// A stretch of the text drawn with one font.
struct Run {
  size_t begin = 0, end = 0;  // in UTF-16 units
  HFONT font = nullptr;
  LONG width = 0;
};

// The text as GDI draws it: UTF-16 in runs of one font each, the width of them all and
// the main font's line.
struct Layout {
  std::u16string text;
  std::vector<Run> runs;
  LONG width = 0, height = 0, ascent = 0;
};

LONG run_width(HDC dc, const std::u16string& text, const Run& r) {
  SIZE sz{0, 0};
  GetTextExtentPoint32W(dc, reinterpret_cast<const wchar_t*>(text.data()) + r.begin, static_cast<int>(r.end - r.begin),
                        &sz);
  return sz.cx;
}

Layout lay_out(FontDC& f, std::string_view utf8) {
  Layout out;
  out.text = platform::utf16_from_utf8(utf8);
  TEXTMETRICW tm{};
  GetTextMetricsW(f.dc(), &tm);
  out.height = tm.tmHeight;
  out.ascent = tm.tmAscent;
  const auto* text = reinterpret_cast<const wchar_t*>(out.text.data());
  const int n = static_cast<int>(out.text.size());
  if (n == 0) return out;
  std::vector<WORD> glyphs(out.text.size());
  GetGlyphIndicesW(f.dc(), text, n, glyphs.data(), GGI_MARK_NONEXISTING_GLYPHS);
  std::unordered_map<wchar_t, HFONT> chosen;
  std::vector<HFONT> font_of(out.text.size(), f.primary());
  for (size_t i = 0; i < out.text.size(); ++i) {
    const wchar_t c = text[i];
    if (glyphs[i] != 0xFFFF || keeps_main_font(c)) continue;
    auto it = chosen.find(c);
    if (it == chosen.end()) it = chosen.emplace(c, fallback_for(f, c)).first;
    if (it->second) font_of[i] = it->second;
  }
  for (size_t i = 0; i < out.text.size(); ++i) {
    if (out.runs.empty() || out.runs.back().font != font_of[i]) out.runs.push_back(Run{i, i, font_of[i], 0});
    out.runs.back().end = i + 1;
  }
  for (Run& r : out.runs) {
    f.select(r.font);
    r.width = run_width(f.dc(), out.text, r);
    out.width += r.width;
  }
  f.select(f.primary());
  return out;
}

}  // namespace

TextExtent measure_text(const Font& font, std::string_view text) {
  FontDC f(font);
  Layout l = lay_out(f, text);
  return TextExtent{l.width, l.height};
}

void draw_text(Bitmap& bmp, int32_t x, int32_t y, std::string_view text, const Font& font, const Brush& brush) {
  FontDC f(font);
  Layout lay = lay_out(f, text);
  // Italic and overhanging glyphs may reach past the advance: a margin on the right.
  int64_t margin = lay.height;
  int64_t l = std::max<int64_t>(x, 0), t = std::max<int64_t>(y, 0);
  int64_t r = std::min<int64_t>(int64_t{x} + lay.width + margin, bmp.width());
  int64_t b = std::min<int64_t>(int64_t{y} + lay.height, bmp.height());
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
  const bool solid = brush.style == BrushStyle::Solid;
  if (solid) {
    SetBkMode(f.dc(), OPAQUE);
    SetBkColor(f.dc(), colour_ref(brush.colour));
  } else {
    SetBkMode(f.dc(), TRANSPARENT);
  }
  const int dx = static_cast<int>(x - l), dy = static_cast<int>(y - t);
  const auto* units = reinterpret_cast<const wchar_t*>(lay.text.data());
  if (lay.runs.empty() || (lay.runs.size() == 1 && lay.runs[0].font == f.primary())) {
    TextOutW(f.dc(), dx, dy, units, static_cast<int>(lay.text.size()));
  } else {
    // Runs in other fonts share the main font's baseline; the background is the main
    // font's cell under the whole text, as for one font.
    if (solid) {
      RECT cell{dx, dy, static_cast<LONG>(std::min<int64_t>(int64_t{dx} + lay.width, w)), dy + lay.height};
      ExtTextOutW(f.dc(), 0, 0, ETO_OPAQUE, &cell, L"", 0, nullptr);
      SetBkMode(f.dc(), TRANSPARENT);
    }
    SetTextAlign(f.dc(), TA_BASELINE | TA_LEFT | TA_NOUPDATECP);
    int64_t pen = dx;
    for (const Run& run : lay.runs) {
      if (pen >= w) break;
      f.select(run.font);
      TextOutW(f.dc(), static_cast<int>(pen), dy + lay.ascent, units + run.begin,
               static_cast<int>(run.end - run.begin));
      pen += run.width;
    }
    f.select(f.primary());
  }
  GdiFlush();
  for (int row = 0; row < h; ++row)
    std::memcpy(bmp.row(static_cast<int32_t>(t) + row) + 3 * l, static_cast<uint8_t*>(bits) + stride * row,
                static_cast<size_t>(w) * 3);
  SelectObject(f.dc(), old);
  DeleteObject(dib);
}

}  // namespace kelv::raster
