// The formats pictures are uploaded in: every load goes through load_file, which reads
// BMP, JPEG, PNG, GIF, WebP, AVIF and HEIC whole or reduced within MaxPixels; WebP saves; the
// format of the file last loaded or probed.
#include <algorithm>

#include "image/codec/bmp.h"
#include "image/codec/gif.h"
#include "image/codec/heif.h"
#include "image/codec/jpeg.h"
#include "image/codec/png.h"
#include "image/codec/webp.h"
#include "image/image.h"
#include "image/raster/orientation.h"
#include "image/raster/reduce.h"
#include "platform/platform.h"

namespace kelv {
namespace {

// WebP files are read into memory for the library; larger ones are refused.
constexpr size_t kMaxWebpFileBytes = size_t{256} << 20;

// A BMP file read whole and then reduced.
bool read_bmp_reduced(codec::ByteSource& file, const codec::LoadRequest& request, raster::Bitmap& out) {
  raster::Bitmap whole;
  if (!codec::read_bmp(file, whole, &request)) return false;
  if (!request.reduce) {
    out = std::move(whole);
    return true;
  }
  codec::LoadPlan plan;
  std::string why;
  if (!codec::plan_load(request, whole.width(), whole.height(), plan, why)) return false;
  out = plan.factor > 1 ? raster::reduce(whole, plan.factor) : std::move(whole);
  return true;
}

}  // namespace

int32_t TImageImpl::load_file(const std::string& FileName, codec::ImageFormat format, Reduce reduce, int32_t minWidth,
                              int32_t minHeight) {
  m_jpg_orientation = 1;
  m_file_format = codec::ImageFormat::Unknown;
  return guarded([&]() -> int32_t {
           DeleteImage();
           // The new bitmap is held before anything is read: a failed load leaves an empty
           // image, not none.
           m_bitmap = std::make_unique<raster::Bitmap>();
           codec::LoadRequest request;
           request.background = raster::resolve(m_thumb_bg_color);
           request.max_pixels = static_cast<uint64_t>(m_max_pixels);
           request.reduce = reduce != Reduce::None;
           request.min_width = minWidth;
           request.min_height = minHeight;
           raster::Bitmap picture;
           codec::IccBytes icc;
           int32_t orientation = raster::kUpright;
           codec::FileSource file(FileName);
           if (!file.is_open()) return 0;
           bool ok = false;
           switch (format) {
             case codec::ImageFormat::Bmp: ok = read_bmp_reduced(file, request, picture); break;
             case codec::ImageFormat::Jpeg:
               ok = codec::read_jpeg(file, request,
                                     reduce == Reduce::None        ? codec::JpegReduce::None
                                     : reduce == Reduce::JpegScale ? codec::JpegReduce::Dct
                                                                   : codec::JpegReduce::Whole,
                                     picture, &orientation, nullptr, &icc);
               break;
             case codec::ImageFormat::Png: ok = codec::read_png(file, request, picture, nullptr, &icc); break;
             case codec::ImageFormat::Gif: ok = codec::read_gif(file, request, picture); break;
             case codec::ImageFormat::Webp: {
               std::vector<uint8_t> data;
               ok = platform::read_whole_file(FileName, data, kMaxWebpFileBytes) &&
                    codec::read_webp(data, request, picture, nullptr, &icc);
               break;
             }
             case codec::ImageFormat::Avif:
             case codec::ImageFormat::Heic: ok = codec::read_heif(file, request, picture); break;
             case codec::ImageFormat::Unknown: break;  // not a picture this object reads
           }
           if (!ok) return 0;
           adopt_profile(picture, icc);
           *m_bitmap = std::move(picture);
           m_jpg_orientation = orientation;
           m_file_format = format;
           // A BMP load ends what the last probe found.
           if (format == codec::ImageFormat::Bmp) {
             m_header_height = m_header_width = -1;
             m_header_file_size = -1;
           }
           return 1;
         })
      .value_or(0);
}

int32_t TImageImpl::LoadFromFileMin(const std::string& FileName, int32_t minWidth, int32_t minHeight) {
  return load_file(FileName, sniff_file(FileName), Reduce::Whole, minWidth, minHeight);
}

std::string TImageImpl::get_FileFormat() const { return std::string(codec::format_name(m_file_format)); }

void TImageImpl::put_MaxPixels(int32_t value) {
  // Like PenWidth's negative values, a limit below 0 is passed over.
  if (value >= 0) m_max_pixels = value;
}

namespace {

codec::WebpOptions webp_options(int32_t quality, int32_t lossless, int32_t default_quality,
                                std::span<const uint8_t> icc) {
  codec::WebpOptions o;
  o.icc_profile = icc;
  o.quality = quality == -1 ? default_quality : std::clamp(quality, codec::kMinJpegQuality, codec::kMaxJpegQuality);
  o.lossless = lossless == 1;
  return o;
}

}  // namespace

int32_t TImageImpl::SaveToWebp(const std::string& FileName, int32_t Quality, int32_t Lossless) {
  if (!m_bitmap) return 0;
  return guarded([&]() -> int32_t {
           Bytes out;
           if (!codec::write_webp(*m_bitmap, webp_options(Quality, Lossless, m_default_jpg_quality, m_profile), out))
             return 0;
           return platform::write_file_replacing(FileName, out.data(), out.size()) ? 1 : 0;
         })
      .value_or(0);
}

VarOut TImageImpl::SaveToBufferWebp(int32_t Quality, int32_t Lossless) {
  if (!m_bitmap) return VarOut::null();
  return guarded([&]() -> VarOut {
           Bytes out;
           if (!codec::write_webp(*m_bitmap, webp_options(Quality, Lossless, m_default_jpg_quality, m_profile), out))
             return VarOut::null();
           return VarOut::buffer(std::move(out));
         })
      .value_or(VarOut::null());
}

}  // namespace kelv
