// Copies between bitmaps: the whole source scaled into a rectangle with nearest-neighbour
// sampling, or at its own size at a point; clipped to the destination. A transparent
// source leaves the destination unchanged where its pixels have the transparent colour.
// Rotations by quarter and half turns.
#pragma once

#include "image/raster/bitmap.h"
#include "image/raster/canvas.h"

namespace kelv::raster {

// Scales the whole of src into dest (right and bottom exclusive); an empty or inverted
// rectangle draws nothing. Rows and columns are repeated or dropped, never averaged.
void stretch_copy(Bitmap& dst, Rect dest, const Bitmap& src);
void copy_at(Bitmap& dst, int32_t x, int32_t y, const Bitmap& src);

enum class Turn { Clockwise, CounterClockwise, Half };
// Fills `dst` (already of the turned size) with `src` turned.
void rotate(const Bitmap& src, Bitmap& dst, Turn turn);

}  // namespace kelv::raster
