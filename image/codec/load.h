// What every format is asked for and what it gives: a load's request (the colour behind
// transparent pixels, the most pixels the picture may hold, and for a reduced load the
// least size it must keep) and its result, a probe's result, and a save's request. The
// size a load gives is settled from the file's header, before any pixel memory is taken.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/status.h"
#include "image/raster/bitmap.h"
#include "image/raster/colour.h"

namespace kelv::codec {

struct LoadRequest {
  raster::Bgr background{};  // behind transparent pixels, mixed by their opacity
  uint64_t max_pixels = 0;   // the largest picture the load may give; 0: no limit
  // A reduced load: the smallest whole-number reduction of the file's picture that is
  // still at least min_width x min_height (a bound of 0 or less asks for nothing).
  bool reduce = false;
  int32_t min_width = 0;
  int32_t min_height = 0;
  // With `reduce`, a format that can scale while decoding (JPEG's DCT scales) reduces by
  // that scale alone, not by a whole factor of the scaled rows after it.
  bool scale_only = false;
};

// What a load gives: the picture, the orientation tag the file carries (1: upright, or
// none), the picture's colour profile as ICC bytes (empty for none or sRGB), and why it
// failed.
struct LoadResult {
  raster::Bitmap bitmap;
  int32_t orientation = 1;
  std::vector<uint8_t> icc_profile;
  std::string message;
};

// What a header probe gives: the size of the picture a load would give, the file's
// orientation tag, and why it failed.
struct ProbeResult {
  int32_t width = -1;
  int32_t height = -1;
  int32_t orientation = 1;
  std::string message;
};

// The quality range of a lossy save, and the quality a new Image saves at; the zlib
// level a PNG save takes by default.
inline constexpr int kMinJpegQuality = 1;
inline constexpr int kMaxJpegQuality = 100;
inline constexpr int kDefaultJpegQuality = 78;
inline constexpr int kPngDefaultLevel = 6;

// What a save is asked for; each format takes the fields it knows.
struct SaveRequest {
  int quality = kDefaultJpegQuality;  // lossy formats, 1..100
  bool progressive = false;           // JPEG
  bool lossless = false;              // WebP
  int level = kPngDefaultLevel;       // PNG's zlib level
  // The colour profile to write with the pixels, as ICC bytes; empty: none.
  std::span<const uint8_t> icc_profile;
};

// The picture a load gives: the whole factor it reduces the stored picture by, and the
// size that results.
struct LoadPlan {
  int32_t factor = 1;
  int32_t width = 0;
  int32_t height = 0;
};

// The plan for a stored picture of width x height. False, with `message`, for a size
// that is not positive, that the result's bitmap can't hold, or whose result would hold
// more than max_pixels.
bool plan_load(const LoadRequest& request, int64_t width, int64_t height, LoadPlan& plan, std::string& message);

// Whether a picture of width x height stays within a limit of max_pixels (0: none).
inline bool within_pixels(uint64_t max_pixels, int64_t width, int64_t height) {
  return max_pixels == 0 ||
         (width >= 0 && height >= 0 && static_cast<uint64_t>(width) * static_cast<uint64_t>(height) <= max_pixels);
}

// The reason a load gives for a picture that would hold more pixels than max_pixels.
std::string too_many_pixels(int64_t width, int64_t height);

// Runs a reader's work, which says why it failed in `why`; whatever it raises (memory
// running out, above all) is a failed load too. The reason goes to `message`.
template <class F>
bool guarded_load(std::string* message, F work) {
  std::string why;
  const bool ok = guarded([&] { return work(why); }).value_or(false);
  if (!ok && message) *message = why.empty() ? "Not enough memory for the image" : why;
  return ok;
}

}  // namespace kelv::codec
