// Text on Linux: FreeType renders the glyphs (grey-scale anti-aliasing, blended in the
// font colour), fontconfig finds the font file for a name, weight and slant.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <string>
#include <tuple>

#include "common/status.h"
#include "image/raster/canvas.h"
#include "image/raster/text.h"

namespace kelv::raster {
namespace {

// The largest font size in pixels that text is drawn at; larger requests draw at this.
constexpr int32_t kMaxFontPixels = 4096;

// One FreeType library and the faces opened so far, shared by every bitmap; all text
// calls take the lock, since FreeType objects are not for concurrent use.
struct Fonts {
  std::mutex lock;
  FT_Library lib = nullptr;
  std::map<std::tuple<std::string, bool, bool>, FT_Face> faces;

  Fonts() {
    if (FT_Init_FreeType(&lib)) lib = nullptr;
    FcInit();
  }
};

Fonts& fonts() {
  static Fonts* f = new Fonts;  // lives as long as the process: faces are cached
  return *f;
}

FT_Face face_for(Fonts& f, const std::string& name, bool bold, bool italic) {
  auto key = std::make_tuple(name, bold, italic);
  if (auto it = f.faces.find(key); it != f.faces.end()) return it->second;
  FT_Face face = nullptr;
  FcPattern* pat = FcPatternCreate();
  FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
  FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));
  FcPatternAddInteger(pat, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pat, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, pat, FcMatchPattern);
  FcDefaultSubstitute(pat);
  FcResult res;
  FcPattern* match = FcFontMatch(nullptr, pat, &res);
  FcChar8* file = nullptr;
  int index = 0;
  if (match && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
    FcPatternGetInteger(match, FC_INDEX, 0, &index);
    if (FT_New_Face(f.lib, reinterpret_cast<const char*>(file), index, &face)) face = nullptr;
  }
  if (match) FcPatternDestroy(match);
  FcPatternDestroy(pat);
  if (!face) throw Failure(Status::NoFont);
  f.faces[key] = face;
  return face;
}

// Decodes UTF-8 (the 8-bit text of this platform); a malformed byte stands for itself.
std::u32string code_points(std::string_view s) {
  std::u32string out;
  for (size_t i = 0; i < s.size();) {
    auto b = static_cast<unsigned char>(s[i]);
    int len = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
    char32_t c = len == 1 ? b : len == 2 ? b & 0x1F : len == 3 ? b & 0x0F : b & 0x07;
    bool ok = len > 0 && i + static_cast<size_t>(len) <= s.size();
    for (int k = 1; ok && k < len; ++k) {
      auto n = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
      if ((n & 0xC0) != 0x80) ok = false;
      c = (c << 6) | (n & 0x3F);
    }
    if (!ok) c = b, len = 1;
    out.push_back(c);
    i += static_cast<size_t>(len);
  }
  return out;
}

// A face set up for a font: size by the Windows height convention, synthetic bold and
// italic where the matched face has none.
struct Prepared {
  FT_Face face = nullptr;
  int ascent = 0, descent = 0;
  bool embolden = false;
};

Prepared prepare(Fonts& f, const Font& font) {
  bool bold = font.style & kBold, italic = font.style & kItalic;
  Prepared p;
  p.face = face_for(f, font.name, bold, italic);
  FT_Face face = p.face;
  int32_t h = font.height == 0 ? -11 : font.height;
  FT_UInt em = 0;
  if (h < 0) {
    em = static_cast<FT_UInt>(-static_cast<int64_t>(h) > kMaxFontPixels ? kMaxFontPixels : -h);
  } else {
    // A positive height is the whole cell: ascent plus descent.
    double cell = static_cast<double>(face->ascender - face->descender);
    em = static_cast<FT_UInt>(
        std::max(1.0, std::round(std::min<double>(h, kMaxFontPixels) * face->units_per_EM / cell)));
  }
  if (FT_Set_Pixel_Sizes(face, 0, std::max<FT_UInt>(em, 1))) throw Failure(Status::FontCannotBeSized);
  p.ascent = static_cast<int>((face->size->metrics.ascender + 63) >> 6);
  p.descent = static_cast<int>((-face->size->metrics.descender + 63) >> 6);
  if (h > 0) {
    // The cell is exactly the height asked for, shared as the design shares it.
    int cell = static_cast<int>(std::min<int32_t>(h, kMaxFontPixels));
    p.ascent =
        static_cast<int>(std::lround(static_cast<double>(cell) * face->ascender / (face->ascender - face->descender)));
    p.descent = cell - p.ascent;
  }
  p.embolden = bold && !(face->style_flags & FT_STYLE_FLAG_BOLD);
  if (italic && !(face->style_flags & FT_STYLE_FLAG_ITALIC)) {
    FT_Matrix shear{0x10000, 0x3800, 0, 0x10000};
    FT_Set_Transform(face, &shear, nullptr);
  } else {
    FT_Set_Transform(face, nullptr, nullptr);
  }
  return p;
}

bool load(const Prepared& p, char32_t c) {
  if (FT_Load_Char(p.face, c, FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP)) return false;
  if (p.embolden && p.face->glyph->format == FT_GLYPH_FORMAT_OUTLINE)
    FT_Outline_Embolden(&p.face->glyph->outline, std::max<FT_Pos>(64, p.face->size->metrics.y_ppem * 3));
  return true;
}

int advance_of(const Prepared& p) {
  return static_cast<int>((p.face->glyph->advance.x + 32) >> 6) + (p.embolden ? 1 : 0);
}

}  // namespace

TextExtent measure_text(const Font& font, std::string_view text) {
  Fonts& f = fonts();
  std::lock_guard<std::mutex> lock(f.lock);
  if (!f.lib) throw Failure(Status::NoTextOutput);
  Prepared p = prepare(f, font);
  int64_t width = 0;
  for (char32_t c : code_points(text))
    if (load(p, c)) width += advance_of(p);
  return TextExtent{static_cast<int32_t>(std::min<int64_t>(width, INT32_MAX)), p.ascent + p.descent};
}

void draw_text(Bitmap& bmp, int32_t x, int32_t y, std::string_view text, const Font& font, const Brush& brush) {
  Fonts& f = fonts();
  std::lock_guard<std::mutex> lock(f.lock);
  if (!f.lib) throw Failure(Status::NoTextOutput);
  Prepared p = prepare(f, font);
  std::u32string cps = code_points(text);
  int64_t width = 0;
  for (char32_t c : cps)
    if (load(p, c)) width += advance_of(p);
  const int64_t height = p.ascent + p.descent;
  auto clamp32 = [](int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
  if (brush.style == BrushStyle::Solid)
    fill_rect(bmp, Rect{x, y, clamp32(int64_t{x} + width), clamp32(int64_t{y} + height)}, brush);
  Bgr colour = resolve(font.colour);
  int64_t pen_x = x;
  const int64_t baseline = int64_t{y} + p.ascent;
  for (char32_t c : cps) {
    if (!load(p, c)) continue;
    FT_GlyphSlot g = p.face->glyph;
    if (pen_x < bmp.width() && pen_x + (g->advance.x >> 6) + 64 >= 0 &&
        FT_Render_Glyph(g, FT_RENDER_MODE_NORMAL) == 0) {
      const FT_Bitmap& gb = g->bitmap;
      for (unsigned row = 0; row < gb.rows; ++row) {
        int64_t py = baseline - g->bitmap_top + row;
        if (py < 0 || py >= bmp.height()) continue;
        const unsigned char* src = gb.buffer + static_cast<ptrdiff_t>(row) * gb.pitch;
        for (unsigned col = 0; col < gb.width; ++col) {
          int64_t px = pen_x + g->bitmap_left + col;
          unsigned a = src[col];
          if (!a || px < 0 || px >= bmp.width()) continue;
          uint8_t* d = bmp.row(static_cast<int32_t>(py)) + 3 * static_cast<size_t>(px);
          d[0] = static_cast<uint8_t>((colour.b * a + d[0] * (255 - a) + 127) / 255);
          d[1] = static_cast<uint8_t>((colour.g * a + d[1] * (255 - a) + 127) / 255);
          d[2] = static_cast<uint8_t>((colour.r * a + d[2] * (255 - a) + 127) / 255);
        }
      }
    }
    pen_x += advance_of(p);
  }
  // Underline and strike-out run the width of the text.
  int thick = std::max(1, static_cast<int>(p.face->size->metrics.y_ppem) / 14);
  Brush line{to_colour(colour), BrushStyle::Solid};
  if (font.style & kUnderline)
    fill_rect(bmp, Rect{x, clamp32(baseline + 1), clamp32(int64_t{x} + width), clamp32(baseline + 1 + thick)}, line);
  if (font.style & kStrikeOut) {
    int64_t sy = baseline - p.ascent / 3;
    fill_rect(bmp, Rect{x, clamp32(sy), clamp32(int64_t{x} + width), clamp32(sy + thick)}, line);
  }
}

}  // namespace kelv::raster
