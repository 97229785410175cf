// Drawing and text: exact pixels of the GDI conventions, the property rules, text boxes.
#include <gtest/gtest.h>

#include "image/image.h"

namespace kelv {
namespace {

constexpr int32_t kWhite = 0xFFFFFF, kRed = 0x0000FF, kBlack = 0;

// The image as rows of characters: '.' white, '#' the given colour, '?' anything else.
std::vector<std::string> picture(TImageImpl& img, int32_t colour) {
  std::vector<std::string> rows;
  for (int y = 0; y < img.get_Height(); ++y) {
    std::string r;
    for (int x = 0; x < img.get_Width(); ++x) {
      int32_t c = img.GetColor(x, y);
      r += c == kWhite ? '.' : c == colour ? '#' : '?';
    }
    rows.push_back(r);
  }
  return rows;
}

int count(TImageImpl& img, int32_t colour) {
  int n = 0;
  for (const std::string& r : picture(img, colour)) n += static_cast<int>(std::count(r.begin(), r.end(), '#'));
  return n;
}

TEST(Colours, ComposeAndSplit) {
  EXPECT_EQ(TImageImpl::GetColorFromRGB(255, 128, 0), 33023);
  EXPECT_EQ(TImageImpl::GetRFromColor(33023), 255);
  EXPECT_EQ(TImageImpl::GetGFromColor(33023), 128);
  EXPECT_EQ(TImageImpl::GetBFromColor(33023), 0);
  EXPECT_EQ(TImageImpl::GetRFromColor(-1), 255);
  EXPECT_EQ(TImageImpl::GetBFromColor(0x7F123456), 0x12);
}

TEST(Drawing, FillRectCoversItsInclusiveExtent) {
  TImageImpl img;
  img.CreateFromSize(10, 10, 0);
  img.put_BrushColor(kRed);
  img.FillRect(0, 0, 0, 0);
  EXPECT_EQ(count(img, kRed), 1);
  EXPECT_EQ(img.GetColor(0, 0), kRed);
  img.CreateFromSize(10, 10, 0);
  img.put_BrushColor(kRed);
  img.FillRect(2, 3, 4, 5);  // columns 2-6, rows 3-8
  EXPECT_EQ(count(img, kRed), 5 * 6);
  EXPECT_EQ(img.GetColor(6, 8), kRed);
  EXPECT_EQ(img.GetColor(7, 8), kWhite);
  EXPECT_EQ(img.GetColor(6, 9), kWhite);
  img.put_BrushStyle(1);  // the clear brush fills nothing
  img.FillRect(0, 0, 9, 9);
  EXPECT_EQ(count(img, kRed), 30);
}

TEST(Drawing, RectangleAndLineRectOutlineTheSamePixels) {
  TImageImpl a, b;
  a.CreateFromSize(10, 10, 0);
  b.CreateFromSize(10, 10, 0);
  a.put_PenColor(kRed);
  a.put_BrushColor(0x00FF00);
  a.Rectangle(0, 0, 9, 9);
  b.put_PenColor(kRed);
  b.LineRect(0, 0, 9, 9);
  auto pa = picture(a, kRed), pb = picture(b, kRed);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) {
      bool border = x == 0 || y == 0 || x == 9 || y == 9;
      EXPECT_EQ(pa[y][x], border ? '#' : '?') << x << "," << y;
      EXPECT_EQ(pb[y][x], border ? '#' : '.') << x << "," << y;
    }
  EXPECT_EQ(a.GetColor(5, 5), 0x00FF00);
}

TEST(Drawing, LinesLeaveOutTheirEndPoint) {
  TImageImpl img;
  img.CreateFromSize(10, 10, 0);
  img.put_PenColor(kRed);
  img.Line(0, 0, 5, 0);
  EXPECT_EQ(picture(img, kRed)[0], "#####.....");
  img.Line(3, 3, 3, 3);  // zero length draws nothing
  EXPECT_EQ(img.GetColor(3, 3), kWhite);
  // A diagonal in each direction, and a chain continuing from the pen position.
  img.CreateFromSize(10, 10, 0);
  img.put_PenColor(kRed);
  img.MoveTo(0, 0);
  img.LineTo(4, 4);
  img.LineTo(8, 0);
  EXPECT_EQ(picture(img, kRed)[0], "#.........");
  EXPECT_EQ(img.GetColor(4, 4), kRed);  // the corner comes from the second line
  EXPECT_EQ(img.GetColor(8, 0), kWhite);
  EXPECT_EQ(count(img, kRed), 8);
  // Far outside and huge coordinates are clipped without overflow.
  img.Line(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX);
  img.Line(-1000000000, 5, 1000000000, 5);
  EXPECT_EQ(picture(img, kRed)[5], "##########");
}

TEST(Drawing, HatchesAreAlignedToTheOriginAndLeaveGaps) {
  TImageImpl img;
  img.CreateFromSize(16, 16, 0);
  img.put_BrushColor(kBlack);
  img.put_BrushStyle(6);  // horizontal
  img.FillRect(0, 0, 15, 15);
  EXPECT_EQ(picture(img, kBlack)[3], "################");
  EXPECT_EQ(picture(img, kBlack)[6], "................");
  EXPECT_EQ(picture(img, kBlack)[11], "################");
  img.CreateFromSize(16, 16, 0);
  img.put_BrushColor(kBlack);
  img.put_BrushStyle(7);  // vertical, from a rectangle that does not start at the origin
  img.FillRect(3, 3, 10, 10);
  EXPECT_EQ(picture(img, kBlack)[5], "....#.......#...");
  img.put_BrushStyle(3);  // downward diagonal: upper left to lower right
  img.FillRect(0, 0, 15, 15);
  EXPECT_EQ(img.GetColor(0, 0), kBlack);
  EXPECT_EQ(img.GetColor(1, 1), kBlack);
  img.CreateFromSize(8, 8, 0);
  img.put_BrushColor(kBlack);
  img.put_BrushStyle(2);  // upward diagonal: lower left to upper right
  img.FillRect(0, 0, 7, 7);
  EXPECT_EQ(img.GetColor(0, 7), kBlack);
  EXPECT_EQ(img.GetColor(7, 0), kBlack);
  EXPECT_EQ(img.GetColor(0, 0), kWhite);
}

TEST(Drawing, EllipsesStayInTheirBoxAndAreSymmetric) {
  TImageImpl img;
  img.CreateFromSize(30, 20, 0);
  img.put_PenColor(kRed);
  img.put_BrushColor(0x00FF00);
  img.Ellipse(2, 3, 20, 10);  // columns 2-22, rows 3-13
  auto p = picture(img, kRed);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 30; ++x) {
      bool inside = x >= 2 && x <= 22 && y >= 3 && y <= 13;
      if (!inside) {
        EXPECT_EQ(p[y][x], '.') << x << "," << y;
      } else {
        EXPECT_EQ(p[y][x], p[y][24 - x]) << "mirror " << x << "," << y;
      }
    }
  EXPECT_EQ(img.GetColor(12, 8), 0x00FF00);  // filled
  EXPECT_EQ(p[3][12], '#');                  // outline at the top
  img.put_BrushStyle(4);
  img.LineEllipse(0, 0, 10, 10);
  EXPECT_EQ(img.get_BrushStyle(), 4);  // restored
}

TEST(Drawing, PropertyRules) {
  TImageImpl img;
  EXPECT_EQ(img.get_PenColor(), 0);
  EXPECT_EQ(img.get_BrushColor(), 0);
  EXPECT_EQ(img.get_FontName(), "");
  img.put_PenColor(5);  // ignored without an image
  img.CreateFromSize(10, 10, 0);
  EXPECT_EQ(img.get_PenColor(), 0);
  EXPECT_EQ(img.get_PenWidth(), 1);
  EXPECT_EQ(img.get_BrushColor(), 16777215);
  EXPECT_EQ(img.get_BrushStyle(), 0);
  EXPECT_EQ(img.get_FontName(), "MS Sans Serif");
  EXPECT_EQ(img.get_FontColor(), static_cast<int32_t>(0x80000008u));
  EXPECT_EQ(img.get_FontColor(), -2147483640);
  EXPECT_EQ(img.get_FontStyle(), 0);
  EXPECT_EQ(img.get_FontCharSet(), 1);
  EXPECT_EQ(img.get_FontHeight(), -11);
  img.put_BrushStyle(9);
  EXPECT_EQ(img.get_BrushStyle(), 0);
  img.put_BrushStyle(2);
  EXPECT_EQ(img.get_BrushStyle(), 2);
  img.put_FontStyle(0xFF);
  EXPECT_EQ(img.get_FontStyle(), 15);
  img.put_PenWidth(4);
  img.put_PenWidth(-3);
  EXPECT_EQ(img.get_PenWidth(), 4);
  img.put_FontName("");
  EXPECT_EQ(img.get_FontName(), "MS Sans Serif");
  img.put_FontName(std::string(40, 'x'));
  EXPECT_EQ(img.get_FontName(), std::string(31, 'x'));
  img.put_PenColor(kRed);
  img.RotateCW();  // a new bitmap starts with a new surface
  EXPECT_EQ(img.get_PenColor(), 0);
  EXPECT_EQ(img.GetColor(-1, 0), -1);
  EXPECT_EQ(img.GetColor(img.get_Width(), 0), -1);
  TImageImpl none;
  EXPECT_EQ(none.GetColor(0, 0), 0);
  none.Line(0, 0, 5, 5);
  none.TextOut(0, 0, "x");
  none.Rectangle(0, 0, 5, 5);
  EXPECT_EQ(none.GetTextWidth("abc"), 0);
}

TEST(Text, BoxWithASolidBrushOnlyGlyphsOtherwise) {
  TImageImpl img;
  img.CreateFromSize(200, 40, 0);
  img.put_BrushColor(0x00FF00);
  img.put_FontColor(kBlack);
  int32_t w = img.GetTextWidth("Hello"), h = img.GetTextHeight("Hello");
  EXPECT_GT(w, 10);
  EXPECT_GT(h, 8);
  EXPECT_EQ(img.GetTextHeight("x"), h);  // the line height, whatever the characters
  EXPECT_GT(img.GetTextWidth("Hello, world"), w);
  img.TextOut(10, 5, "Hello");
  EXPECT_EQ(img.GetColor(10, 5), 0x00FF00);  // the cell background
  EXPECT_EQ(img.GetColor(10 + w - 1, 5 + h - 1), 0x00FF00);
  EXPECT_EQ(img.GetColor(10 + w, 5), kWhite);
  int dark = 0;
  for (int y = 5; y < 5 + h; ++y)
    for (int x = 10; x < 10 + w; ++x) dark += img.GetColor(x, y) != 0x00FF00;
  EXPECT_GT(dark, 10);  // glyphs were drawn
  // The pen position moved by the text's width.
  img.put_PenColor(kRed);
  img.LineTo(10 + w, 30);
  EXPECT_EQ(img.GetColor(10 + w, 29), kRed);
  img.CreateFromSize(200, 40, 0);
  img.put_BrushStyle(1);
  img.put_FontColor(kBlack);
  img.TextOut(10, 5, "Hello");
  EXPECT_EQ(img.GetColor(10, 5), kWhite);  // no box
  int drawn = 0;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 200; ++x) drawn += img.GetColor(x, y) != kWhite;
  EXPECT_GT(drawn, 10);
  // Text partly outside the image, and far outside, is clipped.
  img.TextOut(-20, -5, "Clipped text");
  img.TextOut(INT32_MAX - 5, INT32_MAX - 5, "far");
  img.put_FontHeight(30);
  EXPECT_NEAR(img.GetTextHeight("x"), 30, 1);  // a positive height is the cell
  img.put_FontHeight(-30);
  EXPECT_GT(img.GetTextHeight("x"), 30);  // a negative one the characters alone
}

}  // namespace
}  // namespace kelv
