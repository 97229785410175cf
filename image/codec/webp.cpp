// All libwebp calls.
#include "image/codec/webp.h"

#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "common/status.h"
#include "image/raster/reduce.h"

namespace kelv::codec {
namespace {

constexpr size_t kRiffHeader = 12;
constexpr size_t kChunkHeader = 8;
constexpr uint8_t kAnimationFlag = 0x02;
constexpr uint8_t kProfileFlag = 0x20;
constexpr size_t kExtendedHeader = 10;  // the VP8X chunk's data
constexpr int kMaxSide = 16383;

uint32_t le24(const uint8_t* p) { return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16; }
uint32_t le32(const uint8_t* p) { return le24(p) | uint32_t{p[3]} << 24; }

void put_le(Bytes& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void put_chunk(Bytes& out, const char (&fourcc)[5], std::span<const uint8_t> data) {
  out.insert(out.end(), fourcc, fourcc + 4);
  put_le(out, static_cast<uint32_t>(data.size()), 4);
  out.insert(out.end(), data.begin(), data.end());
  if (data.size() % 2) out.push_back(0);  // chunks are padded to an even length
}

// The ICCP chunk of an extended file, walked chunk by chunk within the file's bounds;
// empty when there is none.
IccBytes find_profile(std::span<const uint8_t> data) {
  if (data.size() < kRiffHeader + kChunkHeader + kExtendedHeader || std::memcmp(data.data() + 12, "VP8X", 4) != 0 ||
      (data[kRiffHeader + kChunkHeader] & kProfileFlag) == 0)
    return {};
  size_t at = kRiffHeader;
  while (data.size() - at >= kChunkHeader) {
    const uint64_t size = le32(data.data() + at + 4);
    if (size > data.size() - at - kChunkHeader) return {};
    if (std::memcmp(data.data() + at, "ICCP", 4) == 0) {
      const uint8_t* p = data.data() + at + kChunkHeader;
      return IccBytes(p, p + size);
    }
    at += kChunkHeader + size + (size % 2);
  }
  return {};
}

// The encoder's simple file turned into the extended format with an ICCP chunk: a VP8X
// header naming the profile and the canvas size, the profile, then the image's chunks.
Bytes with_profile(std::span<const uint8_t> file, int32_t width, int32_t height, std::span<const uint8_t> icc) {
  std::span<const uint8_t> chunks = file.subspan(kRiffHeader);
  uint8_t header[kExtendedHeader] = {};
  if (chunks.size() >= kChunkHeader + kExtendedHeader && std::memcmp(chunks.data(), "VP8X", 4) == 0) {
    // Already extended (an alpha channel): its header keeps its flags.
    std::memcpy(header, chunks.data() + kChunkHeader, kExtendedHeader);
    chunks = chunks.subspan(kChunkHeader + kExtendedHeader);
  } else {
    const auto w = static_cast<uint32_t>(width - 1), h = static_cast<uint32_t>(height - 1);
    const uint8_t size[6] = {uint8_t(w), uint8_t(w >> 8), uint8_t(w >> 16),
                             uint8_t(h), uint8_t(h >> 8), uint8_t(h >> 16)};
    std::memcpy(header + 4, size, sizeof size);
  }
  header[0] |= kProfileFlag;
  Bytes out;
  out.reserve(file.size() + icc.size() + 32);
  out.insert(out.end(), {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'E', 'B', 'P'});
  put_chunk(out, "VP8X", header);
  put_chunk(out, "ICCP", icc);
  out.insert(out.end(), chunks.begin(), chunks.end());
  const auto riff = static_cast<uint32_t>(out.size() - 8);
  for (int i = 0; i < 4; ++i) out[4 + static_cast<size_t>(i)] = static_cast<uint8_t>(riff >> (8 * i));
  return out;
}

// The picture of a file: the whole image, or the first frame of an animation, its bytes
// held by the demuxer while this object lives.
class Picture {
 public:
  ~Picture() {
    if (m_demux) {
      WebPDemuxReleaseIterator(&m_frame);
      WebPDemuxDelete(m_demux);
    }
  }
  bool open(std::span<const uint8_t> data, std::string& why) {
    WebPBitstreamFeatures f;
    if (WebPGetFeatures(data.data(), data.size(), &f) != VP8_STATUS_OK) {
      why = "The file is not a WebP image or is damaged";
      return false;
    }
    if (!f.has_animation) {
      m_bytes = data;
      return true;
    }
    const WebPData whole{data.data(), data.size()};
    m_demux = WebPDemux(&whole);
    if (!m_demux || !WebPDemuxGetFrame(m_demux, 1, &m_frame) || !m_frame.complete) {
      why = "The animation's first frame can't be read";
      return false;
    }
    m_bytes = std::span<const uint8_t>(m_frame.fragment.bytes, m_frame.fragment.size);
    return true;
  }
  std::span<const uint8_t> bytes() const { return m_bytes; }

 private:
  std::span<const uint8_t> m_bytes;
  WebPDemuxer* m_demux = nullptr;
  WebPIterator m_frame{};
};

// Decodes `bytes` at width x height into the external buffer.
bool decode(std::span<const uint8_t> bytes, int32_t width, int32_t height, bool alpha, uint8_t* into, size_t stride,
            size_t size, bool scaled) {
  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config)) return false;
  if (scaled) {
    config.options.use_scaling = 1;
    config.options.scaled_width = width;
    config.options.scaled_height = height;
  }
  config.output.colorspace = alpha ? MODE_BGRA : MODE_BGR;
  config.output.is_external_memory = 1;
  config.output.u.RGBA.rgba = into;
  config.output.u.RGBA.stride = static_cast<int>(stride);
  config.output.u.RGBA.size = size;
  const VP8StatusCode status = WebPDecode(bytes.data(), bytes.size(), &config);
  WebPFreeDecBuffer(&config.output);
  return status == VP8_STATUS_OK;
}

}  // namespace

bool is_webp(std::span<const uint8_t> head) {
  return head.size() >= kRiffHeader && std::memcmp(head.data(), "RIFF", 4) == 0 &&
         std::memcmp(head.data() + 8, "WEBP", 4) == 0;
}

bool probe_webp(ByteSource& source, int32_t& width, int32_t& height) {
  uint8_t riff[kRiffHeader];
  if (!source.read(0, riff, sizeof riff) || !is_webp(riff)) return false;
  // The first chunk tells the kind: a lossy or lossless bitstream carries its size, an
  // extended header the canvas size, and for an animation the chunks that follow lead
  // to the first frame.
  uint64_t at = kRiffHeader;
  bool animated = false;
  for (int chunks = 0; chunks < 1024; ++chunks) {
    uint8_t head[kChunkHeader + 16];
    if (!source.read(at, head, kChunkHeader)) return false;
    const uint32_t size = le32(head + 4);
    const size_t body = std::min<size_t>(16, size);
    if (!source.read(at + kChunkHeader, head + kChunkHeader, body)) return false;
    const uint8_t* p = head + kChunkHeader;
    uint32_t w = 0, h = 0;
    if (!animated && std::memcmp(head, "VP8 ", 4) == 0 && body >= 10) {
      if (p[3] != 0x9D || p[4] != 0x01 || p[5] != 0x2A) return false;
      w = (p[6] | p[7] << 8) & 0x3FFF, h = (p[8] | p[9] << 8) & 0x3FFF;
    } else if (!animated && std::memcmp(head, "VP8L", 4) == 0 && body >= 5) {
      if (p[0] != 0x2F) return false;
      const uint32_t bits = le32(p + 1);
      w = (bits & 0x3FFF) + 1, h = ((bits >> 14) & 0x3FFF) + 1;
    } else if (!animated && std::memcmp(head, "VP8X", 4) == 0 && body >= 10) {
      animated = (p[0] & kAnimationFlag) != 0;
      if (!animated) w = le24(p + 4) + 1, h = le24(p + 7) + 1;
    } else if (animated && std::memcmp(head, "ANMF", 4) == 0 && body >= 12) {
      w = le24(p + 6) + 1, h = le24(p + 9) + 1;
    } else if (!animated) {
      return false;
    }
    if (w && h) {
      width = static_cast<int32_t>(w);
      height = static_cast<int32_t>(h);
      return true;
    }
    at += kChunkHeader + size + (size & 1);
  }
  return false;
}

bool read_webp(std::span<const uint8_t> data, const LoadRequest& request, raster::Bitmap& out, std::string* message,
               IccBytes* icc) {
  return guarded_load(message, [&](std::string& why) {
    if (icc) *icc = find_profile(data);
    Picture picture;
    if (!picture.open(data, why)) return false;
    WebPBitstreamFeatures f;
    if (WebPGetFeatures(picture.bytes().data(), picture.bytes().size(), &f) != VP8_STATUS_OK) {
      why = "The file is not a WebP image or is damaged";
      return false;
    }
    LoadPlan plan;
    if (!plan_load(request, f.width, f.height, plan, why)) return false;
    const bool scaled = plan.factor > 1;
    raster::Bitmap bmp(plan.width, plan.height, raster::Bitmap::Fill::None);
    if (!f.has_alpha) {
      // Straight into the bitmap's rows.
      if (!decode(picture.bytes(), plan.width, plan.height, false, bmp.row(0), bmp.stride(),
                  bmp.stride() * static_cast<size_t>(bmp.height()), scaled)) {
        why = "The WebP image is damaged or cut short";
        return false;
      }
    } else {
      const size_t stride = 4 * static_cast<size_t>(plan.width);
      std::vector<uint8_t> bgra(stride * static_cast<size_t>(plan.height));
      if (!decode(picture.bytes(), plan.width, plan.height, true, bgra.data(), stride, bgra.size(), scaled)) {
        why = "The WebP image is damaged or cut short";
        return false;
      }
      for (int32_t y = 0; y < plan.height; ++y)
        raster::mix_row_over(bgra.data() + static_cast<size_t>(y) * stride, bmp.row(y), plan.width, request.background);
    }
    out = std::move(bmp);
    return true;
  });
}

bool write_webp(const raster::Bitmap& bmp, const WebpOptions& options, Bytes& out, std::string* message) {
  if (bmp.empty() || bmp.width() > kMaxSide || bmp.height() > kMaxSide) {
    if (message) *message = "A WebP image holds 1 to 16383 pixels a side";
    return false;
  }
  uint8_t* encoded = nullptr;
  const int stride = static_cast<int>(bmp.stride());
  const size_t size = options.lossless
                          ? WebPEncodeLosslessBGR(bmp.row(0), bmp.width(), bmp.height(), stride, &encoded)
                          : WebPEncodeBGR(bmp.row(0), bmp.width(), bmp.height(), stride,
                                          static_cast<float>(std::clamp(options.quality, 1, 100)), &encoded);
  bool ok = size > 0 && encoded;
  if (ok) {
    ok = guarded([&] {
           const std::span<const uint8_t> file(encoded, size);
           if (options.icc_profile.empty())
             out.assign(file.begin(), file.end());
           else
             out = with_profile(file, bmp.width(), bmp.height(), options.icc_profile);
         }).ok();
  }
  if (!ok && message) *message = "The WebP image can't be encoded";
  WebPFree(encoded);
  return ok;
}

}  // namespace kelv::codec
