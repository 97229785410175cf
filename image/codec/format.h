// Telling the image formats apart by their first bytes, whatever the file is called.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace kelv::codec {

enum class ImageFormat : uint8_t { Unknown, Bmp, Jpeg, Png, Gif, Webp, Avif, Heic };

// The bytes that decide: enough for an AVIF file's type box with its list of brands.
constexpr size_t kSniffBytes = 64;

// The format whose signature the bytes begin with: "BM" for BMP, 0xFF 0xD8 0xFF for
// JPEG, the eight-byte PNG signature, "GIF87a" or "GIF89a", "RIFF" and "WEBP" for WebP,
// for AVIF a file type box that names the brand "avif" or "avis", and for HEIC one that
// names a HEVC brand or the plain image brand "mif1".
ImageFormat sniff_format(std::span<const uint8_t> head);

// "bmp", "jpeg", "png", "gif", "webp", "avif", "heic"; "" for Unknown.
std::string_view format_name(ImageFormat f);

}  // namespace kelv::codec
