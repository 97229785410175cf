#include "image/codec/load.h"

#include "image/raster/bitmap.h"
#include "image/raster/reduce.h"

namespace kelv::codec {

std::string too_many_pixels(int64_t width, int64_t height) {
  return "The picture holds " + std::to_string(width) + " x " + std::to_string(height) + " pixels, more than MaxPixels";
}

bool plan_load(const LoadRequest& request, int64_t width, int64_t height, LoadPlan& plan, std::string& message) {
  if (width <= 0 || height <= 0 || width > INT32_MAX || height > INT32_MAX) {
    message = "The image has no valid size";
    return false;
  }
  const auto w = static_cast<int32_t>(width), h = static_cast<int32_t>(height);
  plan.factor = request.reduce ? raster::reduction_factor(w, h, request.min_width, request.min_height) : 1;
  plan.width = raster::reduced_size(w, plan.factor);
  plan.height = raster::reduced_size(h, plan.factor);
  size_t stride = 0, bytes = 0;
  if (!raster::Bitmap::layout(plan.width, plan.height, stride, bytes)) {
    message = "The image is too large";
    return false;
  }
  if (!within_pixels(request.max_pixels, plan.width, plan.height)) {
    message = too_many_pixels(plan.width, plan.height);
    return false;
  }
  return true;
}

}  // namespace kelv::codec
