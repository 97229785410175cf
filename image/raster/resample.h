// Scaling a whole bitmap into a rectangle of another, by nearest-neighbour sampling or by
// area averaging. Both clip to the destination and honour the source's transparency.
#pragma once

#include <cstdint>

#include "image/raster/bitmap.h"
#include "image/raster/canvas.h"

namespace kelv::raster {

enum class Resample : uint8_t {
  Nearest,  // rows and columns repeated or dropped (stretch_copy)
  Area,     // area average with exact coverage weights
};

// Area average: every destination pixel of `dest` (right and bottom exclusive) is the
// mean of the source area it covers, each source pixel weighted by the exact fraction of
// that area it occupies; nothing outside the area contributes, so there is no blur
// beyond the box. The same rule serves both directions: shrinking averages whole blocks;
// enlarging repeats each source pixel over the destination pixels that lie inside it and
// mixes two neighbours only in a destination pixel that straddles their border (an exact
// integer enlargement is plain pixel replication). Weights are fixed-point, at least 16
// bits in each direction; results are within one level of the exact average.
//
// Only the visible pixels of `dest` are computed, so a rectangle far larger than `dst`
// costs no more than what shows. An empty or inverted rectangle draws nothing.
//
// A transparent source (its flag on) leaves the destination unchanged where it covers
// only pixels of the transparent colour, and elsewhere mixes the average of its other
// pixels with the destination by the share of the area they cover; at full coverage
// that is the plain average, so a copy at the source's own size is exact.
void resample_area(Bitmap& dst, Rect dest, const Bitmap& src);

// The one entry for the members that scale: picks the sampling.
void scale_copy(Bitmap& dst, Rect dest, const Bitmap& src, Resample mode);

}  // namespace kelv::raster
