// Text on Linux: FreeType renders the glyphs (grey-scale anti-aliasing, blended in the
// font colour) code point by code point; fontconfig finds the font file for a name,
// weight and slant, and for a character that font lacks the next font in its ranking
// that has it.
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
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/status.h"
#include "image/raster/canvas.h"
#include "image/raster/text.h"
#include "platform/platform.h"

namespace kelv::raster {
namespace {

// The largest font size in pixels that text is drawn at; larger requests draw at this.
constexpr int32_t kMaxFontPixels = 4096;
// How many characters a font remembers the fallback face of before it starts afresh.
constexpr size_t kMaxRememberedFallbacks = 4096;

// A font as a script names it: the face fontconfig matched for the name, and the faces
// fontconfig ranks next for the same request, which draw the characters the matched face
// lacks.
struct FontFaces {
  FT_Face primary = nullptr;
  FcFontSet* fallbacks = nullptr;                     // best first, each adding characters the ones before lack
  std::unordered_map<char32_t, FT_Face> fallback_of;  // the face chosen for a character
};

// One FreeType library, the font files opened so far and the fonts asked for, shared by
// every bitmap; all text calls take the lock, since FreeType objects are not for
// concurrent use.
struct Fonts {
  std::mutex lock;
  FT_Library lib = nullptr;
  std::map<std::pair<std::string, int>, FT_Face> files;  // by file name and face index
  std::map<std::tuple<std::string, bool, bool>, FontFaces> fonts;

  Fonts() {
    if (FT_Init_FreeType(&lib)) lib = nullptr;
    FcInit();
  }
};

Fonts& fonts() {
  static Fonts* f = new Fonts;  // lives as long as the process: faces are cached
  return *f;
}

// The face of a fontconfig match, opened once per file and index; null when FreeType
// cannot open it.
FT_Face open_face(Fonts& f, FcPattern* match) {
  FcChar8* file = nullptr;
  int index = 0;
  if (FcPatternGetString(match, FC_FILE, 0, &file) != FcResultMatch) return nullptr;
  FcPatternGetInteger(match, FC_INDEX, 0, &index);
  auto key = std::make_pair(std::string(reinterpret_cast<const char*>(file)), index);
  if (auto it = f.files.find(key); it != f.files.end()) return it->second;
  FT_Face face = nullptr;
  if (FT_New_Face(f.lib, key.first.c_str(), index, &face)) face = nullptr;
  if (face) f.files[key] = face;
  return face;
}

FontFaces& faces_for(Fonts& f, const std::string& name, bool bold, bool italic) {
  auto key = std::make_tuple(name, bold, italic);
  if (auto it = f.fonts.find(key); it != f.fonts.end()) return it->second;
  FcPattern* pat = FcPatternCreate();
  FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
  FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));
  FcPatternAddInteger(pat, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pat, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, pat, FcMatchPattern);
  FcDefaultSubstitute(pat);
  FcResult res;
  FontFaces faces;
  if (FcPattern* match = FcFontMatch(nullptr, pat, &res)) {
    faces.primary = open_face(f, match);
    FcPatternDestroy(match);
  }
  if (faces.primary) faces.fallbacks = FcFontSort(nullptr, pat, FcTrue, nullptr, &res);
  FcPatternDestroy(pat);
  if (!faces.primary) throw Failure(Status::NoFont);
  return f.fonts.emplace(key, std::move(faces)).first->second;
}

// Control characters are left to the matched face, which draws them as it always has.
bool is_control(char32_t c) { return c < 0x20 || (c >= 0x7F && c < 0xA0); }

// The face that draws `c`: the matched one when it has the character, else the first of
// the fallbacks with an outline for it; the matched face's missing-glyph box when no
// installed font has it.
FT_Face face_for_char(Fonts& f, FontFaces& faces, char32_t c) {
  if (is_control(c) || FT_Get_Char_Index(faces.primary, c)) return faces.primary;
  if (auto it = faces.fallback_of.find(c); it != faces.fallback_of.end()) return it->second;
  FT_Face found = faces.primary;
  for (int i = 0; faces.fallbacks && i < faces.fallbacks->nfont; ++i) {
    FcPattern* p = faces.fallbacks->fonts[i];
    FcCharSet* chars = nullptr;
    FcBool outline = FcTrue;
    if (FcPatternGetCharSet(p, FC_CHARSET, 0, &chars) != FcResultMatch || !FcCharSetHasChar(chars, c)) continue;
    FcPatternGetBool(p, FC_OUTLINE, 0, &outline);
    if (!outline) continue;  // bitmap-only faces (colour emoji) don't scale to the font's size
    FT_Face face = open_face(f, p);
    if (face && FT_Get_Char_Index(face, c)) {
      found = face;
      break;
    }
  }
  if (faces.fallback_of.size() >= kMaxRememberedFallbacks) faces.fallback_of.clear();
  faces.fallback_of.emplace(c, found);
  return found;
}

// The code points to draw: a surrogate that forms no pair, and every byte that starts no
// UTF-8 sequence, draws as U+FFFD.
std::u32string drawn_characters(std::string_view text) {
  return platform::code_points(text, platform::Surrogates::Replace);
}

// A face sized for one call: synthetic bold and italic where the face has none.
struct SizedFace {
  FT_Face face = nullptr;
  bool embolden = false;
};

// A font set up for one call: the em size by the Windows height convention, the line's
// ascent and descent from the matched face, and each face that draws a character sized
// to the same em the first time the call uses it.
struct Prepared {
  Fonts* fonts = nullptr;
  FontFaces* faces = nullptr;
  FT_UInt em = 0;
  bool bold = false, italic = false;
  int ascent = 0, descent = 0;
  std::vector<SizedFace> sized;
};

SizedFace size_face(Prepared& p, FT_Face face) {
  for (const SizedFace& s : p.sized)
    if (s.face == face) return s;
  if (FT_Set_Pixel_Sizes(face, 0, p.em)) throw Failure(Status::FontCannotBeSized);
  if (p.italic && !(face->style_flags & FT_STYLE_FLAG_ITALIC)) {
    FT_Matrix shear{0x10000, 0x3800, 0, 0x10000};
    FT_Set_Transform(face, &shear, nullptr);
  } else {
    FT_Set_Transform(face, nullptr, nullptr);
  }
  p.sized.push_back(SizedFace{face, p.bold && !(face->style_flags & FT_STYLE_FLAG_BOLD)});
  return p.sized.back();
}

Prepared prepare(Fonts& f, const Font& font) {
  Prepared p;
  p.fonts = &f;
  p.bold = font.style & kBold;
  p.italic = font.style & kItalic;
  p.faces = &faces_for(f, font.name, p.bold, p.italic);
  FT_Face face = p.faces->primary;
  int32_t h = font.height == 0 ? -11 : font.height;
  if (h < 0) {
    p.em = static_cast<FT_UInt>(-static_cast<int64_t>(h) > kMaxFontPixels ? kMaxFontPixels : -h);
  } else {
    // A positive height is the whole cell: ascent plus descent.
    double cell = static_cast<double>(face->ascender - face->descender);
    p.em = static_cast<FT_UInt>(
        std::max(1.0, std::round(std::min<double>(h, kMaxFontPixels) * face->units_per_EM / cell)));
  }
  p.em = std::max<FT_UInt>(p.em, 1);
  size_face(p, face);
  p.ascent = static_cast<int>((face->size->metrics.ascender + 63) >> 6);
  p.descent = static_cast<int>((-face->size->metrics.descender + 63) >> 6);
  if (h > 0) {
    // The cell is exactly the height asked for, shared as the design shares it.
    int cell = static_cast<int>(std::min<int32_t>(h, kMaxFontPixels));
    p.ascent =
        static_cast<int>(std::lround(static_cast<double>(cell) * face->ascender / (face->ascender - face->descender)));
    p.descent = cell - p.ascent;
  }
  return p;
}

// Loads the glyph of `c` into its face's slot; no face when it cannot be loaded.
SizedFace load(Prepared& p, char32_t c) {
  FT_Face face = face_for_char(*p.fonts, *p.faces, c);
  SizedFace s = size_face(p, face);
  if (FT_Load_Glyph(face, FT_Get_Char_Index(face, c), FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP)) return SizedFace{};
  if (s.embolden && face->glyph->format == FT_GLYPH_FORMAT_OUTLINE)
    FT_Outline_Embolden(&face->glyph->outline, std::max<FT_Pos>(64, face->size->metrics.y_ppem * 3));
  return s;
}

int advance_of(const SizedFace& s) {
  return static_cast<int>((s.face->glyph->advance.x + 32) >> 6) + (s.embolden ? 1 : 0);
}

int64_t width_of(Prepared& p, const std::u32string& cps) {
  int64_t width = 0;
  for (char32_t c : cps)
    if (SizedFace s = load(p, c); s.face) width += advance_of(s);
  return width;
}

}  // namespace

TextExtent measure_text(const Font& font, std::string_view text) {
  Fonts& f = fonts();
  std::lock_guard<std::mutex> lock(f.lock);
  if (!f.lib) throw Failure(Status::NoTextOutput);
  Prepared p = prepare(f, font);
  int64_t width = width_of(p, drawn_characters(text));
  return TextExtent{static_cast<int32_t>(std::min<int64_t>(width, INT32_MAX)), p.ascent + p.descent};
}

void draw_text(Bitmap& bmp, int32_t x, int32_t y, std::string_view text, const Font& font, const Brush& brush) {
  Fonts& f = fonts();
  std::lock_guard<std::mutex> lock(f.lock);
  if (!f.lib) throw Failure(Status::NoTextOutput);
  Prepared p = prepare(f, font);
  std::u32string cps = drawn_characters(text);
  const int64_t width = width_of(p, cps);
  const int64_t height = p.ascent + p.descent;
  auto clamp32 = [](int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
  if (brush.style == BrushStyle::Solid)
    fill_rect(bmp, Rect{x, y, clamp32(int64_t{x} + width), clamp32(int64_t{y} + height)}, brush);
  Bgr colour = resolve(font.colour);
  int64_t pen_x = x;
  const int64_t baseline = int64_t{y} + p.ascent;
  for (char32_t c : cps) {
    const SizedFace s = load(p, c);
    if (!s.face) continue;
    FT_GlyphSlot g = s.face->glyph;
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
    pen_x += advance_of(s);
  }
  // Underline and strike-out run the width of the text.
  FT_Face primary = p.faces->primary;
  int thick = std::max(1, static_cast<int>(primary->size->metrics.y_ppem) / 14);
  Brush line{to_colour(colour), BrushStyle::Solid};
  if (font.style & kUnderline)
    fill_rect(bmp, Rect{x, clamp32(baseline + 1), clamp32(int64_t{x} + width), clamp32(baseline + 1 + thick)}, line);
  if (font.style & kStrikeOut) {
    int64_t sy = baseline - p.ascent / 3;
    fill_rect(bmp, Rect{x, clamp32(sy), clamp32(int64_t{x} + width), clamp32(sy + thick)}, line);
  }
}

}  // namespace kelv::raster
