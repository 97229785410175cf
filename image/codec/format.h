// Telling the image formats apart by their first bytes, whatever the file is called.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace kelv::codec {

enum class ImageFormat : uint8_t { Unknown, Bmp, Jpeg, Png };

// The bytes that decide: the longest signature, PNG's.
constexpr size_t kSniffBytes = 8;

// The format whose signature the bytes begin with: "BM" for BMP, 0xFF 0xD8 0xFF for
// JPEG, the eight-byte PNG signature.
ImageFormat sniff_format(std::span<const uint8_t> head);

}  // namespace kelv::codec
