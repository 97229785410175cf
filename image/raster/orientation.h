// Mirror images and the eight orientations a camera records: how the stored pixels map
// onto the upright picture, carried out with our rotations and flips.
#pragma once

#include <cstdint>

#include "image/raster/bitmap.h"

namespace kelv::raster {

enum class Axis : uint8_t {
  Horizontal,  // left and right change places
  Vertical,    // top and bottom change places
};

// Mirrors the pixels in place; size, drawing surface and transparency stay.
void flip(Bitmap& bmp, Axis axis);

// The orientation values of a camera's tag: where the stored rows and columns belong in
// the upright picture. 1 is upright; anything outside 1..8 counts as 1.
enum Orientation : int32_t {
  kUpright = 1,
  kMirrored = 2,            // flip left to right
  kUpsideDown = 3,          // half turn
  kUpsideDownMirrored = 4,  // flip top to bottom
  kTransposed = 5,          // rows are columns: quarter turn clockwise, then flip left to right
  kTurnedLeft = 6,          // needs a quarter turn clockwise
  kTransverse = 7,          // quarter turn clockwise, then flip top to bottom
  kTurnedRight = 8,         // needs a quarter turn counter-clockwise
};

// Whether the upright picture has width and height swapped against the stored one.
bool swaps_sides(int32_t orientation);

// The stored picture `src` turned upright, as a new bitmap (the default drawing state,
// not transparent, like the other turns); orientation 1 gives a plain copy. Throws
// a Failure when the new bitmap can't be had, with `src` untouched.
Bitmap upright(const Bitmap& src, int32_t orientation);

}  // namespace kelv::raster
