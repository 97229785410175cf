// The AVIF container: the boxes of the ISO base media file format that say where the
// coded AV1 image of a file is, where its alpha image is, and how their samples are to
// be read. Plain parsing, no library: every size, offset and count is checked against
// the bytes at hand, and whatever doesn't fit fails the parse.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "image/codec/source.h"

namespace kelv::codec {

// Colour description of a coded image (the values of an "nclx" colour box, or of the
// AV1 sequence header when the file has none).
struct AvifColour {
  bool given = false;  // a colour box said it
  uint16_t primaries = 2;
  uint16_t transfer = 2;
  uint16_t matrix = 2;  // 0 identity, 1 BT.709, 5 and 6 BT.601, 9 BT.2020, ...
  bool full_range = false;
};

// One coded AV1 image: where its bytes lie, and what the container says of it.
struct AvifImage {
  struct Extent {
    uint64_t offset = 0;  // in the file, or in `inline_bytes` when `in_idat`
    uint64_t length = 0;
  };
  std::vector<Extent> extents;
  bool in_idat = false;
  uint32_t width = 0;  // from the image's spatial extent (or the track's sample entry)
  uint32_t height = 0;
  AvifColour colour;
};

struct AvifFile {
  AvifImage colour;
  bool has_alpha = false;
  AvifImage alpha;
  bool premultiplied = false;  // colour samples are multiplied by alpha
  std::vector<uint8_t> idat;   // the item data box, for images stored inside it
};

// Whether the bytes begin with a file type box naming the brand "avif" or "avis".
bool is_avif(std::span<const uint8_t> head);

// Finds the file's first image: the primary item of a still image, or the first sample
// of the first picture track of a sequence that has no primary item; and its alpha
// image when one is there. Reads only the container boxes. False (with a reason) for a
// file that is not AVIF, is damaged, or whose image is not a plain AV1 one (a grid of
// tiles, for example).
bool parse_avif(ByteSource& source, AvifFile& file, std::string& why);

// The bytes of one coded image, its extents joined. False when they are not in the file.
bool avif_image_bytes(ByteSource& source, const AvifFile& file, const AvifImage& image, std::vector<uint8_t>& out);

}  // namespace kelv::codec
