// Text in every script: drawn and measured as its own characters (never as the '?' a code
// page makes of them), characters the font lacks drawn by an installed font that has
// them, and Unicode font names.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "image/image.h"

namespace kelv {
namespace {

constexpr int32_t kW = 240, kH = 40;

// TextOut of `text` on a fresh white image with the clear brush, as every pixel's colour.
std::vector<int32_t> drawn(const std::string& text, const std::string& font = "") {
  TImageImpl img;
  img.CreateFromSize(kW, kH, 0);
  if (!font.empty()) img.put_FontName(font);
  img.put_BrushStyle(1);
  img.put_FontColor(0);
  img.TextOut(4, 4, text);
  std::vector<int32_t> px;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) px.push_back(img.GetColor(x, y));
  return px;
}

int32_t width(const std::string& text, const std::string& font = "") {
  TImageImpl img;
  img.CreateFromSize(1, 1, 0);
  if (!font.empty()) img.put_FontName(font);
  return img.GetTextWidth(text);
}

// The inked pixels cut to their bounding box, so one glyph drawn at two baselines compares
// equal.
std::vector<int32_t> ink(const std::vector<int32_t>& px) {
  int x0 = kW, y0 = kH, x1 = -1, y1 = -1;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
      if (px[y * kW + x] != 0xFFFFFF)
        x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
  std::vector<int32_t> out{x1 - x0, y1 - y0};
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x) out.push_back(px[y * kW + x]);
  return out;
}

TEST(UnicodeText, ScriptsAreNotDrawnOrMeasuredAsQuestionMarks) {
  struct Case {
    const char* script;
    std::string text;
    size_t utf16_units;  // the '?' a code page conversion would have made
  };
  const Case cases[] = {
      {"Cyrillic", "Привет мир", 10}, {"Greek", "Καλημέρα", 8}, {"Turkish", "ğı İş", 5},
      {"Chinese", "中文字", 3},       {"emoji", "😀", 2},
  };
  for (const Case& c : cases) {
    const std::string marks(c.utf16_units, '?');
    EXPECT_NE(drawn(c.text), drawn(marks)) << c.script;
    EXPECT_NE(width(c.text), width(marks)) << c.script;
    EXPECT_GT(width(c.text), 0) << c.script;
  }
}

TEST(UnicodeText, ACharacterTheFontLacksIsDrawnByAFontThatHasIt) {
  struct Case {
    const char* what;
    std::string text;
    const char* font_with_it;  // an installed font that has the character; the default one lacks it
  };
  const Case cases[] = {
      {"Han ideograph", "中", "WenQuanYi Micro Hei"},
      {"character outside the BMP", "𐐀", "WenQuanYi Micro Hei"},  // U+10400
  };
  const std::vector<int32_t> box = ink(drawn("\U0010FFFD"));  // no font has this one
  for (const Case& c : cases) {
    std::vector<int32_t> fallback = ink(drawn(c.text));
    EXPECT_NE(fallback, box) << c.what;
    EXPECT_EQ(fallback, ink(drawn(c.text, c.font_with_it))) << c.what;
    // Measured as drawn: by the advance of the font that draws it.
    EXPECT_EQ(width("a" + c.text + "b"), width("a") + width(c.text, c.font_with_it) + width("b")) << c.what;
  }
  // Malformed UTF-8 draws as U+FFFD, one for each byte that starts no character.
  EXPECT_EQ(drawn("a\xff"), drawn("a\xEF\xBF\xBD"));
  EXPECT_EQ(width("\xE4\xB8"), 2 * width("\xEF\xBF\xBD"));
}

TEST(UnicodeText, FontNamesAreUnicodeAndCutAt31Units) {
  TImageImpl img;
  img.CreateFromSize(1, 1, 0);
  img.put_FontName("文泉驿微米黑");
  EXPECT_EQ(img.get_FontName(), "文泉驿微米黑");
  // The Chinese name finds the font its English name does.
  EXPECT_EQ(img.GetTextWidth("Kelvarin"), width("Kelvarin", "WenQuanYi Micro Hei"));
  EXPECT_NE(img.GetTextWidth("Kelvarin"), width("Kelvarin"));
  struct Case {
    std::string put, kept;
  };
  const std::string x29(29, 'x'), x30(30, 'x');
  const std::string cyrillic40 = [] {
    std::string s;
    for (int i = 0; i < 40; ++i) s += "Ж";
    return s;
  }();
  const Case cases[] = {
      {x30 + "😀", x30},                            // the pair would be units 31 and 32
      {x29 + "😀z", x29 + "😀"},                     // units 30 and 31
      {cyrillic40, cyrillic40.substr(0, 31 * 2)},  // 31 characters of two bytes each
      {"Fotoğraf Sans", "Fotoğraf Sans"},
  };
  for (const Case& c : cases) {
    img.put_FontName(c.put);
    EXPECT_EQ(img.get_FontName(), c.kept) << c.put;
  }
}

}  // namespace
}  // namespace kelv
