// AVIF: our reading of the container (avif_container.h) with dav1d decoding the AV1
// images. Every call into dav1d lives in avif.cpp; dav1d reports errors by its return
// values.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "image/codec/avif_container.h"
#include "image/codec/load.h"
#include "image/codec/source.h"
#include "image/raster/bitmap.h"

namespace kelv::codec {

// The size of the file's first image, from its container boxes only.
bool probe_avif(ByteSource& source, int32_t& width, int32_t& height);

// Decodes the first image (a still image, or the first frame of a sequence) of 8, 10 or
// 12 bits into 24-bit pixels, alpha mixed over `request.background`; samples of more
// than 8 bits are rounded to 8, and no colour-profile correction is made. A reduced load
// decodes the image and reduces its rows as they are converted. False (with a message)
// on a damaged or truncated file.
bool read_avif(ByteSource& source, const LoadRequest& request, raster::Bitmap& out, std::string* message = nullptr);

}  // namespace kelv::codec
