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

constexpr int32_t kNearest = 0;
constexpr int32_t kArea = 1;

codec::PngWriteOptions png_options(int32_t level, std::span<const uint8_t> icc) {
  codec::PngWriteOptions o;
  o.icc_profile = icc;
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

int32_t TImageImpl::LoadFromJpgMin(const std::string& FileName, int32_t minWidth, int32_t minHeight) {
  return load_file(FileName, codec::ImageFormat::Jpeg, Reduce::JpegScale, minWidth, minHeight);
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

int32_t TImageImpl::LoadFromPng(const std::string& FileName) { return load_file(FileName, codec::ImageFormat::Png); }

// Saves go through the same replacing write as the other formats: a complete file or
// none, and never over a read-only one.
int32_t TImageImpl::SaveToPng(const std::string& FileName, int32_t level) {
  if (!m_bitmap) return 0;
  return guarded([&]() -> int32_t {
           Bytes out;
           if (!codec::write_png(*m_bitmap, png_options(level, m_profile), out)) return 0;
           return platform::write_file_replacing(FileName, out.data(), out.size()) ? 1 : 0;
         })
      .value_or(0);
}

VarOut TImageImpl::SaveToBufferPng(int32_t level) {
  if (!m_bitmap) return VarOut::null();
  return guarded([&]() -> VarOut {
           Bytes out;
           if (!codec::write_png(*m_bitmap, png_options(level, m_profile), out)) return VarOut::null();
           return VarOut::buffer(std::move(out));
         })
      .value_or(VarOut::null());
}

int32_t TImageImpl::LoadFromFile(const std::string& FileName) { return load_file(FileName, sniff_file(FileName)); }

}  // namespace kelv
