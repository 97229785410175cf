// One table of the image formats. Each format is one row: how its first bytes look, its
// name, a header probe, a load and (where it has one) a save, all with the same request
// and result types, so that nothing above this layer picks a reader by format and a new
// format is one more row.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "common/values.h"
#include "image/codec/format.h"
#include "image/codec/load.h"
#include "image/codec/source.h"
#include "image/raster/bitmap.h"
#include "platform/platform.h"

namespace kelv::codec {

struct FormatRow {
  ImageFormat format;
  std::string_view name;  // FileFormat's text
  // Whether a file's first bytes (up to kSniffBytes) are this format's.
  bool (*sniff)(std::span<const uint8_t> head);
  // The size of the picture a load would give (and the orientation tag), read from the
  // headers only. False, with a reason, when they can't be read.
  bool (*probe)(ByteSource& source, ProbeResult& out);
  // Decodes the picture as the request asks. False, with a reason, on a damaged or cut
  // file or one the request refuses.
  bool (*read)(ByteSource& source, const LoadRequest& request, LoadResult& out);
  // Hands the encoded file to the sink; false, with a reason when the encoder gives one,
  // on a failure. Null for a format that is only read.
  bool (*write)(const raster::Bitmap& bmp, const SaveRequest& request, const platform::WriteSink& sink,
                std::string& message);
  // A load of this format also ends what the last header probe found (BMP's loads always
  // have).
  bool load_ends_probe = false;
};

// Every row, in the order sniffing tries them.
std::span<const FormatRow> format_rows();

// The row of a format; null for Unknown.
const FormatRow* format_row(ImageFormat f);

// The table's work with the reasons filled in: a format without a row, a reader that
// gives none, and whatever a reader raises (memory running out) are failures with a
// reason too.
bool probe_image(ByteSource& source, ImageFormat format, ProbeResult& out);
bool load_image(ByteSource& source, ImageFormat format, const LoadRequest& request, LoadResult& out);
bool save_image(const raster::Bitmap& bmp, ImageFormat format, const SaveRequest& request,
                const platform::WriteSink& sink, std::string& message);

// The reasons the table gives when a reader or an encoder gives none.
inline constexpr std::string_view kNotAPicture = "The file is not a picture in a format this member reads";
inline constexpr std::string_view kDamaged = "The picture is damaged or cut short";
inline constexpr std::string_view kNoWriter = "This format is only read, not written";

}  // namespace kelv::codec
