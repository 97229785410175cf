#include "image/codec/formats.h"

#include <algorithm>

#include "image/codec/bmp.h"
#include "image/codec/gif.h"
#include "image/codec/heif.h"
#include "image/codec/jpeg.h"
#include "image/codec/png.h"
#include "image/codec/webp.h"
#include "image/raster/reduce.h"

namespace kelv::codec {
namespace {

// WebP files are read into memory for the library; larger ones are refused.
constexpr uint64_t kMaxWebpFileBytes = uint64_t{256} << 20;

// A probe of a format whose picture size stands in the first N bytes of the file: as
// many of them as the file has.
template <size_t N, bool (*Probe)(std::span<const uint8_t>, int32_t&, int32_t&)>
bool probe_head(ByteSource& source, ProbeResult& out) {
  uint8_t head[N];
  const auto got = static_cast<size_t>(std::min<uint64_t>(N, source.size()));
  return source.read(0, head, got) && Probe(std::span<const uint8_t>(head, got), out.width, out.height);
}

// A probe of a format whose headers are walked through the file.
template <bool (*Probe)(ByteSource&, int32_t&, int32_t&)>
bool probe_walk(ByteSource& source, ProbeResult& out) {
  return Probe(source, out.width, out.height);
}

// A format whose reader takes a source and a request.
template <bool (*Read)(ByteSource&, const LoadRequest&, raster::Bitmap&, std::string*)>
bool read_source(ByteSource& source, const LoadRequest& request, LoadResult& out) {
  return Read(source, request, out.bitmap, &out.message);
}

bool read_png_row(ByteSource& source, const LoadRequest& request, LoadResult& out) {
  return read_png(source, request, out.bitmap, &out.message, &out.icc_profile);
}

// A BMP file is read whole and then reduced.
bool read_bmp_row(ByteSource& source, const LoadRequest& request, LoadResult& out) {
  raster::Bitmap whole;
  if (!read_bmp(source, whole, &request, &out.message)) return false;
  LoadPlan plan;
  if (request.reduce && !plan_load(request, whole.width(), whole.height(), plan, out.message)) return false;
  out.bitmap = plan.factor > 1 ? raster::reduce(whole, plan.factor) : std::move(whole);
  return true;
}

bool read_jpeg_row(ByteSource& source, const LoadRequest& request, LoadResult& out) {
  const JpegReduce reduce = !request.reduce      ? JpegReduce::None
                            : request.scale_only ? JpegReduce::Dct
                                                 : JpegReduce::Whole;
  return read_jpeg(source, request, reduce, out.bitmap, &out.orientation, &out.message, &out.icc_profile);
}

bool read_webp_row(ByteSource& source, const LoadRequest& request, LoadResult& out) {
  if (source.size() > kMaxWebpFileBytes) {
    out.message = "The WebP file is larger than 256 MB";
    return false;
  }
  std::vector<uint8_t> data(static_cast<size_t>(source.size()));
  if (!source.read(0, data.data(), data.size())) {
    out.message = "The file could not be read";
    return false;
  }
  return read_webp(data, request, out.bitmap, &out.message, &out.icc_profile);
}

// AVIF and HEIC through libheif, with the colour profile the file gives.
bool probe_heif_row(ByteSource& source, ProbeResult& out) {
  return probe_heif(source, out.width, out.height, &out.message);
}

bool read_heif_row(ByteSource& source, const LoadRequest& request, LoadResult& out) {
  return read_heif(source, request, out.bitmap, &out.message, &out.icc_profile);
}

// BMP files carry no colour profile.
bool write_bmp_row(const raster::Bitmap& bmp, const SaveRequest&, const platform::WriteSink& sink, std::string&) {
  return write_bmp(bmp, sink);
}

// A format whose encoder gives the whole file in memory, with options made from the
// request.
template <class Options, Options (*Make)(const SaveRequest&),
          bool (*Write)(const raster::Bitmap&, const Options&, Bytes&, std::string*)>
bool write_whole(const raster::Bitmap& bmp, const SaveRequest& request, const platform::WriteSink& sink,
                 std::string& message) {
  Bytes out;
  return Write(bmp, Make(request), out, &message) && sink(out.data(), out.size());
}

JpegOptions jpeg_options(const SaveRequest& r) {
  JpegOptions o;
  o.quality = r.quality;
  o.progressive = r.progressive;
  o.icc_profile = r.icc_profile;
  return o;
}

// The pixels as they are: a transparent colour is a drawing setting, and a file that
// carried it would load back mixed over the background, not as saved.
PngWriteOptions png_options(const SaveRequest& r) {
  PngWriteOptions o;
  o.level = r.level;
  o.transparency = false;
  o.icc_profile = r.icc_profile;
  return o;
}

WebpOptions webp_options(const SaveRequest& r) {
  WebpOptions o;
  o.quality = r.quality;
  o.lossless = r.lossless;
  o.icc_profile = r.icc_profile;
  return o;
}

// Sniffing tries the rows in this order.
const FormatRow kRows[] = {
    {ImageFormat::Png, "png", is_png, probe_head<kPngProbeBytes, probe_png>, read_png_row,
     write_whole<PngWriteOptions, png_options, write_png>},
    {ImageFormat::Jpeg, "jpeg", is_jpeg, probe_jpeg, read_jpeg_row, write_whole<JpegOptions, jpeg_options, write_jpeg>},
    {ImageFormat::Bmp, "bmp", is_bmp, probe_head<kBmpProbeBytes, probe_bmp>, read_bmp_row, write_bmp_row, true},
    {ImageFormat::Gif, "gif", is_gif, probe_walk<probe_gif>, read_source<read_gif>, nullptr},
    {ImageFormat::Webp, "webp", is_webp, probe_walk<probe_webp>, read_webp_row,
     write_whole<WebpOptions, webp_options, write_webp>},
    {ImageFormat::Avif, "avif", is_avif, probe_heif_row, read_heif_row, nullptr},
    {ImageFormat::Heic, "heic", is_heic, probe_heif_row, read_heif_row, nullptr},
};

// Runs one of a row's members; whatever it raises is a failure with the text it raised,
// and a failure without a reason gets `fallback`.
template <class F>
bool guarded_row(std::string& message, std::string_view fallback, F work) {
  auto ran = guarded([&] { return work(); });
  if (!ran.ok()) {
    message = ran.text().empty() ? std::string(fallback) : ran.text();
    return false;
  }
  if (!ran.value() && message.empty()) message = fallback;
  return ran.value();
}

}  // namespace

std::span<const FormatRow> format_rows() { return kRows; }

const FormatRow* format_row(ImageFormat f) {
  for (const FormatRow& row : kRows)
    if (row.format == f) return &row;
  return nullptr;
}

ImageFormat sniff_format(std::span<const uint8_t> head) {
  for (const FormatRow& row : kRows)
    if (row.sniff(head)) return row.format;
  return ImageFormat::Unknown;
}

std::string_view format_name(ImageFormat f) {
  const FormatRow* row = format_row(f);
  return row ? row->name : std::string_view{};
}

bool probe_image(ByteSource& source, ImageFormat format, ProbeResult& out) {
  const FormatRow* row = format_row(format);
  if (!row) {
    out.message = kNotAPicture;
    return false;
  }
  return guarded_row(out.message, kDamaged, [&] { return row->probe(source, out); });
}

bool load_image(ByteSource& source, ImageFormat format, const LoadRequest& request, LoadResult& out) {
  const FormatRow* row = format_row(format);
  if (!row) {
    out.message = kNotAPicture;
    return false;
  }
  return guarded_row(out.message, kDamaged, [&] { return row->read(source, request, out); });
}

bool save_image(const raster::Bitmap& bmp, ImageFormat format, const SaveRequest& request,
                const platform::WriteSink& sink, std::string& message) {
  const FormatRow* row = format_row(format);
  if (!row || !row->write) {
    message = kNoWriter;
    return false;
  }
  return guarded_row(message, {}, [&] { return row->write(bmp, request, sink, message); });
}

}  // namespace kelv::codec
