// Draws the same scenes twice, with GDI into a 24-bit DIB section and with our raster
// layer, and compares them pixel by pixel. Lines, rectangles, fills and hatches must
// match exactly; for ellipses and pens wider than one pixel the differing pixels are
// reported.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <functional>
#include <string>

#include "image/raster/canvas.h"
#include "image/raster/text.h"

using namespace kelv::raster;

namespace {

constexpr int W = 64, H = 48;
int g_passed = 0, g_failed = 0;

struct Scene {
  const char* name;
  bool exact;
  std::function<void(HDC)> gdi;
  std::function<void(Bitmap&)> ours;
};

int compare(const Scene& s) {
  HDC dc = CreateCompatibleDC(nullptr);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = W;
  bi.bmiHeader.biHeight = -H;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, dib);
  size_t stride = (W * 3 + 3) & ~3;
  std::memset(bits, 0xFF, stride * H);
  s.gdi(dc);
  GdiFlush();
  Bitmap b(W, H);
  s.ours(b);
  // KELV_GDI_DUMP=<scene> prints both pictures of that scene: G where only GDI drew,
  // O where only we drew, # where both did.
  const char* dump = std::getenv("KELV_GDI_DUMP");
  if (dump && std::string(dump) == s.name) {
    for (int y = 0; y < H; ++y) {
      std::string line;
      for (int x = 0; x < W; ++x) {
        const uint8_t* g = static_cast<uint8_t*>(bits) + stride * y + 3 * x;
        const uint8_t* o = b.row(y) + 3 * x;
        bool gw = g[0] == 255 && g[1] == 255 && g[2] == 255, ow = o[0] == 255 && o[1] == 255 && o[2] == 255;
        bool same = std::memcmp(g, o, 3) == 0;
        line += same ? (gw ? '.' : '#') : (ow ? 'G' : gw ? 'O' : 'x');
      }
      std::printf("%s\n", line.c_str());
    }
  }
  int diff = 0;
  for (int y = 0; y < H; ++y)
    diff += std::memcmp(static_cast<uint8_t*>(bits) + stride * y, b.row(y), W * 3) != 0
                ? [&] {
                    int n = 0;
                    for (int x = 0; x < W; ++x)
                      n += std::memcmp(static_cast<uint8_t*>(bits) + stride * y + 3 * x, b.row(y) + 3 * x, 3) != 0;
                    return n;
                  }()
                : 0;
  SelectObject(dc, old);
  DeleteObject(dib);
  DeleteDC(dc);
  return diff;
}

// GDI objects chosen into the DC for one drawing call, then deleted.
void with_pen_brush(HDC dc, int width, COLORREF pen, HBRUSH brush, const std::function<void()>& f) {
  HPEN p = CreatePen(PS_SOLID, width, pen);
  HGDIOBJ op = SelectObject(dc, p);
  HGDIOBJ ob = SelectObject(dc, brush ? static_cast<HGDIOBJ>(brush) : GetStockObject(NULL_BRUSH));
  SetBkMode(dc, TRANSPARENT);
  f();
  SelectObject(dc, op);
  SelectObject(dc, ob);
  DeleteObject(p);
  if (brush) DeleteObject(brush);
}

void set(Bitmap& b, int pen_width, int32_t pen, int32_t brush, BrushStyle style) {
  Surface& s = b.surface();
  s.pen.width = pen_width;
  s.pen.colour = pen;
  s.brush.colour = brush;
  s.brush.style = style;
}

Scene lines(const char* name, std::initializer_list<std::pair<int, int>> pts, int width = 1) {
  std::vector<std::pair<int, int>> v(pts);
  return Scene{name, width == 1,
               [v, width](HDC dc) {
                 with_pen_brush(dc, width, RGB(255, 0, 0), nullptr, [&] {
                   MoveToEx(dc, v[0].first, v[0].second, nullptr);
                   for (size_t i = 1; i < v.size(); ++i) LineTo(dc, v[i].first, v[i].second);
                 });
               },
               [v, width](Bitmap& b) {
                 set(b, width, 0x0000FF, 0xFFFFFF, BrushStyle::Clear);
                 move_to(b, v[0].first, v[0].second);
                 for (size_t i = 1; i < v.size(); ++i) line_to(b, v[i].first, v[i].second);
               }};
}

const int kHatch[] = {HS_BDIAGONAL, HS_FDIAGONAL, HS_CROSS, HS_DIAGCROSS, HS_HORIZONTAL, HS_VERTICAL};

// Text: our layer's font, and GDI's own font made from it in `charset`.
Font text_font() {
  Font f;
  f.colour = 0;
  return f;
}

HFONT gdi_font(BYTE charset) {
  LOGFONTW lf{};
  lf.lfHeight = text_font().height;
  lf.lfWeight = FW_NORMAL;
  lf.lfCharSet = charset;
  std::wcscpy(lf.lfFaceName, L"MS Sans Serif");
  return CreateFontIndirectW(&lf);
}

// GDI's TextOutW of `wide` at (3, 4), its cell top-left there; with a font in another
// charset than the main one, on the main font's baseline, as our layer draws a fallback.
Scene text(const char* name, const char* utf8, const wchar_t* wide, bool solid, BYTE charset = 1) {
  std::wstring w(wide);
  return Scene{name, true,
               [w, solid, charset](HDC dc) {
                 HFONT main = gdi_font(1), font = gdi_font(charset);
                 HGDIOBJ old = SelectObject(dc, main);
                 TEXTMETRICW tm{};
                 GetTextMetricsW(dc, &tm);
                 SelectObject(dc, font);
                 SetTextColor(dc, RGB(0, 0, 0));
                 SetBkMode(dc, solid ? OPAQUE : TRANSPARENT);
                 SetBkColor(dc, RGB(0, 255, 0));
                 if (charset != 1) SetTextAlign(dc, TA_BASELINE);
                 TextOutW(dc, 3, charset != 1 ? 4 + tm.tmAscent : 4, w.c_str(), static_cast<int>(w.size()));
                 SetTextAlign(dc, TA_TOP);
                 SelectObject(dc, old);
                 DeleteObject(font);
                 DeleteObject(main);
               },
               [utf8, solid](Bitmap& b) {
                 draw_text(b, 3, 4, utf8, text_font(), Brush{0x00FF00, solid ? BrushStyle::Solid : BrushStyle::Clear});
               }};
}

}  // namespace

int main() {
  std::vector<Scene> scenes = {
      lines("line octant 1", {{10, 10}, {50, 20}}),
      lines("line octant 2", {{10, 10}, {20, 45}}),
      lines("line octant 3", {{30, 10}, {20, 45}}),
      lines("line octant 4", {{60, 10}, {5, 30}}),
      lines("line octant 5", {{60, 40}, {5, 20}}),
      lines("line octant 6", {{40, 45}, {30, 2}}),
      lines("line octant 7", {{10, 45}, {20, 2}}),
      lines("line octant 8", {{3, 40}, {60, 25}}),
      lines("line diagonals", {{0, 0}, {47, 47}, {63, 31}, {32, 0}}),
      lines("line horizontal and vertical", {{5, 5}, {55, 5}, {55, 40}, {5, 40}, {5, 5}}),
      lines("line of zero length", {{20, 20}, {20, 20}}),
      lines("line clipped far outside", {{-1000, -700}, {1000, 900}, {-5000, 30}}),
      lines("line chain", {{1, 1}, {13, 7}, {2, 30}, {40, 33}, {63, 0}, {0, 47}}),
      lines("wide pen 3", {{10, 10}, {50, 30}, {20, 40}}, 3),
      lines("wide pen 6", {{8, 8}, {56, 8}, {30, 40}}, 6),
      Scene{"rectangle", true,
            [](HDC dc) {
              with_pen_brush(dc, 1, RGB(0, 0, 255), CreateSolidBrush(RGB(0, 255, 0)),
                             [&] { Rectangle(dc, 5, 6, 40, 30); });
            },
            [](Bitmap& b) {
              set(b, 1, 0xFF0000, 0x00FF00, BrushStyle::Solid);
              rectangle(b, Rect{5, 6, 40, 30});
            }},
      Scene{"rectangle clipped", true,
            [](HDC dc) {
              with_pen_brush(dc, 1, RGB(0, 0, 255), CreateSolidBrush(RGB(0, 255, 0)),
                             [&] { Rectangle(dc, -10, -5, 30, 70); });
            },
            [](Bitmap& b) {
              set(b, 1, 0xFF0000, 0x00FF00, BrushStyle::Solid);
              rectangle(b, Rect{-10, -5, 30, 70});
            }},
      Scene{"fill rect", true,
            [](HDC dc) {
              RECT r{3, 4, 33, 44};
              HBRUSH br = CreateSolidBrush(RGB(10, 20, 30));
              FillRect(dc, &r, br);
              DeleteObject(br);
            },
            [](Bitmap& b) {
              fill_rect(b, Rect{3, 4, 33, 44}, Brush{0x1E140A, BrushStyle::Solid});
            }},
      Scene{"ellipse", false,
            [](HDC dc) {
              with_pen_brush(dc, 1, RGB(255, 0, 0), CreateSolidBrush(RGB(0, 0, 255)),
                             [&] { Ellipse(dc, 4, 3, 60, 44); });
            },
            [](Bitmap& b) {
              set(b, 1, 0x0000FF, 0xFF0000, BrushStyle::Solid);
              ellipse(b, Rect{4, 3, 60, 44});
            }},
      Scene{"small ellipse", false,
            [](HDC dc) {
              with_pen_brush(dc, 1, RGB(255, 0, 0), CreateSolidBrush(RGB(0, 0, 255)),
                             [&] { Ellipse(dc, 10, 10, 17, 15); });
            },
            [](Bitmap& b) {
              set(b, 1, 0x0000FF, 0xFF0000, BrushStyle::Solid);
              ellipse(b, Rect{10, 10, 17, 15});
            }},
  };
  // More ellipses of other shapes and sizes.
  const RECT boxes[] = {{0, 0, 64, 48}, {5, 5, 12, 30},   {20, 20, 23, 21},
                        {3, 3, 53, 13}, {30, 10, 37, 17}, {1, 2, 40, 47}};
  static std::vector<std::string> box_names;
  box_names.reserve(8);
  for (const RECT& r : boxes) {
    box_names.push_back("ellipse " + std::to_string(r.left) + "," + std::to_string(r.top) + "-" +
                        std::to_string(r.right) + "," + std::to_string(r.bottom));
    scenes.push_back(Scene{box_names.back().c_str(), false,
                           [r](HDC dc) {
                             with_pen_brush(dc, 1, RGB(255, 0, 0), CreateSolidBrush(RGB(0, 0, 255)),
                                            [&] { Ellipse(dc, r.left, r.top, r.right, r.bottom); });
                           },
                           [r](Bitmap& b) {
                             set(b, 1, 0x0000FF, 0xFF0000, BrushStyle::Solid);
                             ellipse(b, Rect{static_cast<int32_t>(r.left), static_cast<int32_t>(r.top),
                                             static_cast<int32_t>(r.right), static_cast<int32_t>(r.bottom)});
                           }});
  }
  const BrushStyle ours[] = {BrushStyle::UpwardDiagonal, BrushStyle::DownwardDiagonal, BrushStyle::Cross,
                             BrushStyle::DiagonalCross,  BrushStyle::Horizontal,       BrushStyle::Vertical};
  const char* names[] = {"hatch upward",         "hatch downward",   "hatch cross",
                         "hatch diagonal cross", "hatch horizontal", "hatch vertical"};
  for (int k = 0; k < 6; ++k) {
    int hs = kHatch[k];
    BrushStyle st = ours[k];
    scenes.push_back(Scene{names[k], true,
                           [hs](HDC dc) {
                             SetBkMode(dc, TRANSPARENT);
                             RECT r{3, 5, 61, 42};
                             HBRUSH br = CreateHatchBrush(hs, RGB(0, 0, 0));
                             FillRect(dc, &r, br);
                             DeleteObject(br);
                           },
                           [st](Bitmap& b) {
                             fill_rect(b, Rect{3, 5, 61, 42}, Brush{0, st});
                           }});
  }
  // Text the font has draws as GDI draws it, ASCII as with the 8-bit calls before; a
  // character it lacks draws in the font GDI maps for a character set that holds it.
  scenes.push_back(text("text latin", "Kelvarin 1.5", L"Kelvarin 1.5", true));
  scenes.push_back(text("text cyrillic greek turkish", "Жук Ωμέγα ğıİş",
                        L"\u0416\u0443\u043a \u03a9\u03bc\u03ad\u03b3\u03b1 \u011f\u0131\u0130\u015f", false));
  scenes.push_back(text("text chinese by fallback", "中文字", L"\u4e2d\u6587\u5b57", false, GB2312_CHARSET));
  for (const Scene& s : scenes) {
    int diff = compare(s);
    std::printf("%-30s %5d differing pixels%s\n", s.name, diff, s.exact ? "" : " (reported)");
    if (!s.exact || diff == 0)
      ++g_passed;
    else
      ++g_failed;
  }
  std::printf("%d passed, %d failed\n", g_passed, g_failed);
  return g_failed;
}
