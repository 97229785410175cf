// Photographs: the sampling the scaling members use, JPEG loads (full or reduced) with
// the camera's orientation tag, mirrors, PNG files, and the load that tells formats apart.
#include <algorithm>

#include "image/codec/exif.h"
#include "image/codec/png.h"
#include "image/image.h"
#include "image/raster/orientation.h"
#include "platform/platform.h"

namespace kelv {
namespace {

// Files larger than this are not read into memory.
constexpr size_t kMaxFileBytes = size_t{1536} << 20;

constexpr int32_t kNearest = 0;
constexpr int32_t kArea = 1;

codec::PngWriteOptions png_options(int32_t level) {
  codec::PngWriteOptions o;
  o.level = level == -1 ? codec::kPngDefaultLevel : std::clamp(level, 0, 9);
  // The pixels as they are: a transparent colour is a drawing setting, and a file that
  // carried it would load back mixed over the background, not as saved.
  o.transparency = false;
  return o;
}

}  // namespace

void TImageImpl::put_ResampleMode(int32_t value) {
  // Like PenWidth's negative values, a mode that does not exist is passed over.
  if (value == kNearest || value == kArea) m_resample_mode = value;
}

raster::Resample TImageImpl::resample() const {
  return m_resample_mode == kArea ? raster::Resample::Area : raster::Resample::Nearest;
}

namespace {

// The start of a load: the old picture goes before the file is read, and a failed load
// leaves an empty image, not none. False when the file can't be read whole.
bool begin_load(std::unique_ptr<raster::Bitmap>& bitmap, const std::string& FileName, std::vector<uint8_t>& data) {
  bitmap.reset();
  bitmap = std::make_unique<raster::Bitmap>();
  return platform::read_whole_file(FileName, data, kMaxFileBytes);
}

}  // namespace

int32_t TImageImpl::load_jpeg(const std::string& FileName, const int32_t* min_size) {
  m_jpg_orientation = 1;
  return guarded([&]() -> int32_t {
           std::vector<uint8_t> data;
           if (!begin_load(m_bitmap, FileName, data)) return 0;
           // An unreadable tag reads as upright; it never fails the load.
           const int32_t orientation = codec::jpeg_orientation(data);
           bool ok;
           if (min_size) {
             // The bounds are the upright picture's: where the tag swaps the sides, the stored
             // picture needs them the other way round.
             const bool swap = raster::swaps_sides(orientation);
             ok = codec::read_jpeg_min(data, min_size[swap ? 1 : 0], min_size[swap ? 0 : 1], *m_bitmap);
           } else {
             ok = codec::read_jpeg(data, *m_bitmap);
           }
           if (!ok) return 0;
           m_jpg_orientation = orientation;
           return 1;
         })
      .value_or(0);
}

int32_t TImageImpl::LoadFromJpgMin(const std::string& FileName, int32_t minWidth, int32_t minHeight) {
  const int32_t min_size[2] = {minWidth, minHeight};
  return load_jpeg(FileName, min_size);
}

// Like the rotations, the turned image is built whole before it replaces the old one.
int32_t TImageImpl::ApplyOrientation() {
  if (!m_bitmap) return 0;
  if (m_jpg_orientation == 1) return 1;
  return guarded([&]() -> int32_t {
           auto turned = std::make_unique<raster::Bitmap>(raster::upright(*m_bitmap, m_jpg_orientation));
           m_bitmap = std::move(turned);
           m_jpg_orientation = 1;
           return 1;
         })
      .value_or(0);
}

int32_t TImageImpl::flip(int axis) {
  if (!m_bitmap) return 0;
  return guarded([&]() -> int32_t {
           raster::flip(*m_bitmap, static_cast<raster::Axis>(axis));
           return 1;
         })
      .value_or(0);
}

int32_t TImageImpl::FlipHorizontal() { return flip(static_cast<int>(raster::Axis::Horizontal)); }
int32_t TImageImpl::FlipVertical() { return flip(static_cast<int>(raster::Axis::Vertical)); }

int32_t TImageImpl::LoadFromPng(const std::string& FileName) {
  m_jpg_orientation = 1;
  return guarded([&]() -> int32_t {
           std::vector<uint8_t> data;
           if (!begin_load(m_bitmap, FileName, data)) return 0;
           codec::PngReadOptions options;
           options.background = raster::resolve(m_thumb_bg_color);
           options.alpha = codec::PngAlpha::Composite;
           if (codec::read_png(data, *m_bitmap, options)) return 1;
           // Whatever a damaged file got into the bitmap goes: the image is empty.
           m_bitmap = std::make_unique<raster::Bitmap>();
           return 0;
         })
      .value_or(0);
}

// Saves go through the same replacing write as the other formats: a complete file or
// none, and never over a read-only one.
int32_t TImageImpl::SaveToPng(const std::string& FileName, int32_t level) {
  if (!m_bitmap) return 0;
  return guarded([&]() -> int32_t {
           Bytes out;
           if (!codec::write_png(*m_bitmap, png_options(level), out)) return 0;
           return platform::write_file_replacing(FileName, out.data(), out.size()) ? 1 : 0;
         })
      .value_or(0);
}

VarOut TImageImpl::SaveToBufferPng(int32_t level) {
  if (!m_bitmap) return VarOut::null();
  return guarded([&]() -> VarOut {
           Bytes out;
           if (!codec::write_png(*m_bitmap, png_options(level), out)) return VarOut::null();
           return VarOut::buffer(std::move(out));
         })
      .value_or(VarOut::null());
}

int32_t TImageImpl::LoadFromFile(const std::string& FileName) {
  switch (sniff_file(FileName)) {
    case codec::ImageFormat::Bmp: return LoadFromBmp(FileName);
    case codec::ImageFormat::Jpeg: return LoadFromJpg(FileName);
    case codec::ImageFormat::Png: return LoadFromPng(FileName);
    case codec::ImageFormat::Unknown: break;
  }
  // Not a picture this object reads (or no file): a failed load, with an empty image.
  m_jpg_orientation = 1;
  (void)guarded([&] {
    DeleteImage();
    m_bitmap = std::make_unique<raster::Bitmap>();
  });
  return 0;
}

}  // namespace kelv
