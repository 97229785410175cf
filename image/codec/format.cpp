#include "image/codec/format.h"

#include "image/codec/gif.h"
#include "image/codec/heif.h"
#include "image/codec/png.h"
#include "image/codec/webp.h"

namespace kelv::codec {

ImageFormat sniff_format(std::span<const uint8_t> head) {
  if (is_png(head)) return ImageFormat::Png;
  if (head.size() >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF) return ImageFormat::Jpeg;
  if (head.size() >= 2 && head[0] == 'B' && head[1] == 'M') return ImageFormat::Bmp;
  if (is_gif(head)) return ImageFormat::Gif;
  if (is_webp(head)) return ImageFormat::Webp;
  if (is_avif(head)) return ImageFormat::Avif;
  if (is_heic(head)) return ImageFormat::Heic;
  return ImageFormat::Unknown;
}

std::string_view format_name(ImageFormat f) {
  switch (f) {
    case ImageFormat::Bmp: return "bmp";
    case ImageFormat::Jpeg: return "jpeg";
    case ImageFormat::Png: return "png";
    case ImageFormat::Gif: return "gif";
    case ImageFormat::Webp: return "webp";
    case ImageFormat::Avif: return "avif";
    case ImageFormat::Heic: return "heic";
    case ImageFormat::Unknown: break;
  }
  return "";
}

}  // namespace kelv::codec
