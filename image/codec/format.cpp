#include "image/codec/format.h"

#include "image/codec/png.h"

namespace kelv::codec {

ImageFormat sniff_format(std::span<const uint8_t> head) {
  if (is_png(head)) return ImageFormat::Png;
  if (head.size() >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF) return ImageFormat::Jpeg;
  if (head.size() >= 2 && head[0] == 'B' && head[1] == 'M') return ImageFormat::Bmp;
  return ImageFormat::Unknown;
}

}  // namespace kelv::codec
