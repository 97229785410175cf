// HEIC and AVIF, the HEIF family: read through libheif (heif_library.h), which reads the
// container (grids of tiles, turns, mirrors, crops, alpha, colour descriptions) and
// decodes HEVC and AV1 images.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "image/codec/load.h"
#include "image/codec/source.h"
#include "image/raster/bitmap.h"

namespace kelv::codec {

// Whether the bytes begin with a file type box naming the brand "avif" or "avis".
bool is_avif(std::span<const uint8_t> head);
// Whether the bytes begin with a file type box of a HEIF file that is not AVIF: a HEVC
// brand ("heic", "heix", "heim", "heis", "hevc", "hevx", "hevm", "hevs") or the plain
// image brands "mif1" and "msf1".
bool is_heic(std::span<const uint8_t> head);

// The size of the file's primary image as it is shown: from the container's properties,
// after its turn and crop. False, with a reason, for a file that can't be read.
bool probe_heif(ByteSource& source, int32_t& width, int32_t& height, std::string* message = nullptr);

// Decodes the primary image, turned, mirrored and cropped as the file says, with 8 to 16
// bits a sample rounded to 8 and alpha mixed over `request.background`; a reduced load
// reduces the rows as they are converted. The size is checked against the request
// before anything is decoded. `icc_profile`, when given, receives the image's colour
// profile as the file stores it (an ICC profile; empty for none or a coded description).
bool read_heif(ByteSource& source, const LoadRequest& request, raster::Bitmap& out, std::string* message = nullptr,
               std::vector<uint8_t>* icc_profile = nullptr);

}  // namespace kelv::codec
