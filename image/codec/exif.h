// The orientation tag of a camera's metadata block, read without trusting a byte of it:
// every offset and count is checked against the bytes at hand, and whatever can't be
// read gives orientation 1 (upright). Reading it never fails an image's load.
#pragma once

#include <cstdint>
#include <span>

namespace kelv::codec {

// Whether an APP1 payload is a camera metadata block (it begins "Exif\0\0"); other
// APP1 segments (XMP) do not decide the orientation.
bool is_exif(std::span<const uint8_t> app1);

// The payload of a JPEG APP1 segment (the bytes after its length field). A metadata
// block begins "Exif\0\0" followed by a TIFF structure; the tag is 0x0112 of its first
// directory. 1..8, or 1 when the segment is something else or the tag is absent,
// malformed or out of range.
int32_t exif_orientation(std::span<const uint8_t> app1);

// The same for a whole JPEG file in memory: the first metadata segment among those
// before the image data decides.
int32_t jpeg_orientation(std::span<const uint8_t> file);

}  // namespace kelv::codec
