// The formats pictures are uploaded in: every load goes through load_file, which reads
// the file through its format's row, whole or reduced within MaxPixels; every save and
// buffer through save_file and save_buffer; the format of the file last loaded or probed.
#include <algorithm>

#include "image/codec/formats.h"
#include "image/image.h"
#include "image/raster/orientation.h"
#include "platform/platform.h"

namespace kelv {

int32_t TImageImpl::failed(std::string_view reason) {
  m_last_error.assign(reason);
  return 0;
}

int32_t TImageImpl::load_file(const std::string& FileName, codec::ImageFormat format, Reduce reduce, int32_t minWidth,
                              int32_t minHeight) {
  m_jpg_orientation = 1;
  m_file_format = codec::ImageFormat::Unknown;
  m_last_error.clear();
  auto done = guarded([&]() -> int32_t {
    DeleteImage();
    // The new bitmap is held before anything is read: a failed load leaves an empty
    // image, not none.
    m_bitmap = std::make_unique<raster::Bitmap>();
    codec::LoadRequest request;
    request.background = raster::resolve(m_thumb_bg_color);
    request.max_pixels = static_cast<uint64_t>(m_max_pixels);
    request.reduce = reduce != Reduce::None;
    request.scale_only = reduce == Reduce::JpegScale;
    request.min_width = minWidth;
    request.min_height = minHeight;
    codec::FileSource file(FileName);
    if (!file.is_open()) return failed(kCannotOpen);
    codec::LoadResult result;
    if (!codec::load_image(file, format, request, result)) return failed(result.message);
    adopt_profile(result.bitmap, result.icc_profile);
    *m_bitmap = std::move(result.bitmap);
    m_jpg_orientation = result.orientation;
    m_file_format = format;
    if (codec::format_row(format)->load_ends_probe) {
      m_header_height = m_header_width = -1;
      m_header_file_size = -1;
    }
    return 1;
  });
  if (!done.ok()) return failed(done.text().empty() ? codec::kDamaged : done.text());
  return std::move(done).value_or(0);
}

int32_t TImageImpl::LoadFromFileMin(const std::string& FileName, int32_t minWidth, int32_t minHeight) {
  return load_file(FileName, sniff_file(FileName), Reduce::Whole, minWidth, minHeight);
}

std::string TImageImpl::get_FileFormat() const { return std::string(codec::format_name(m_file_format)); }

void TImageImpl::put_MaxPixels(int32_t value) {
  // Like PenWidth's negative values, a limit below 0 is passed over.
  if (value >= 0) m_max_pixels = value;
}

int32_t TImageImpl::save_file(const std::string& FileName, codec::ImageFormat format,
                              const codec::SaveRequest& request) {
  if (!m_bitmap) return failed(kNoImage);
  m_last_error.clear();
  std::string why;
  const bool saved = guarded([&] {
                       return platform::write_file_replacing(FileName, [&](const platform::WriteSink& sink) {
                         return codec::save_image(*m_bitmap, format, request, sink, why);
                       });
                     }).value_or(false);
  if (saved) return 1;
  return failed(why.empty() ? kCannotWrite : why);
}

VarOut TImageImpl::save_buffer(codec::ImageFormat format, const codec::SaveRequest& request) {
  if (!m_bitmap) {
    failed(kNoImage);
    return VarOut::null();
  }
  // The encoder's work is guarded in the table: memory running out while the buffer
  // grows is a failure with its reason.
  Bytes out;
  std::string why;
  const auto collect = [&](const uint8_t* p, size_t n) {
    out.insert(out.end(), p, p + n);
    return true;
  };
  if (!codec::save_image(*m_bitmap, format, request, collect, why)) {
    failed(why.empty() ? kCannotEncode : why);
    return VarOut::null();
  }
  m_last_error.clear();
  return VarOut::buffer(std::move(out));
}

codec::SaveRequest TImageImpl::webp_request(int32_t Quality, int32_t Lossless) const {
  codec::SaveRequest r;
  r.quality =
      Quality == -1 ? m_default_jpg_quality : std::clamp(Quality, codec::kMinJpegQuality, codec::kMaxJpegQuality);
  r.lossless = Lossless == 1;
  r.icc_profile = m_profile;
  return r;
}

int32_t TImageImpl::SaveToWebp(const std::string& FileName, int32_t Quality, int32_t Lossless) {
  return save_file(FileName, codec::ImageFormat::Webp, webp_request(Quality, Lossless));
}

VarOut TImageImpl::SaveToBufferWebp(int32_t Quality, int32_t Lossless) {
  return save_buffer(codec::ImageFormat::Webp, webp_request(Quality, Lossless));
}

}  // namespace kelv
