// The drawing state of one bitmap: pen, brush, font and pen position, with the defaults
// a new bitmap starts with. The primitives that draw with it are in Canvas.
#pragma once

#include <cstdint>
#include <string>

#include "image/raster/colour.h"

namespace kelv::raster {

enum class BrushStyle : uint8_t {
  Solid = 0,
  Clear = 1,
  UpwardDiagonal = 2,    // lines from lower left to upper right
  DownwardDiagonal = 3,  // lines from upper left to lower right
  Cross = 4,
  DiagonalCross = 5,
  Horizontal = 6,
  Vertical = 7,
};

struct Pen {
  int32_t colour = 0;
  int32_t width = 1;
};

struct Brush {
  int32_t colour = 0x00FFFFFF;
  BrushStyle style = BrushStyle::Solid;
};

enum FontStyleBits : uint8_t { kBold = 1, kItalic = 2, kUnderline = 4, kStrikeOut = 8 };

struct Font {
  std::string name = "MS Sans Serif";
  // Windows convention: negative is the character height, positive the cell height,
  // 0 the default size. -11 is 8 points at 96 dots per inch.
  int32_t height = -11;
  int32_t colour = kWindowText;
  uint8_t style = 0;
  uint8_t charset = 1;
};

struct Point {
  int32_t x = 0, y = 0;
};

struct Surface {
  Pen pen;
  Brush brush;
  Font font;
  Point position;
};

}  // namespace kelv::raster
