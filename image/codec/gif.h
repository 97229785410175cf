// GIF through giflib. Every call into the library lives in gif.cpp; giflib reports
// errors by its return codes, so nothing jumps over C++ objects.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "image/codec/load.h"
#include "image/codec/source.h"
#include "image/raster/bitmap.h"

namespace kelv::codec {

// Whether the bytes begin with "GIF87a" or "GIF89a".
bool is_gif(std::span<const uint8_t> head);

// The size of the file's first frame: the picture a load gives. Only the headers up to
// that frame's descriptor are read. False when the file has no frame or is no GIF.
bool probe_gif(ByteSource& source, int32_t& width, int32_t& height);

// Decodes the first frame, interlaced or not, with its own palette or the file's, into
// 24-bit pixels; the frame's transparent colour shows `request.background`. The picture
// is the frame's own rectangle: a logical screen larger than what the frame draws takes
// no memory. False (with a message) on a damaged or truncated file.
bool read_gif(ByteSource& source, const LoadRequest& request, raster::Bitmap& out, std::string* message = nullptr);

}  // namespace kelv::codec
