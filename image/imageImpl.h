// The Image class: one raster image in memory with its drawing state, the JPEG defaults,
// the thumbnail settings and the last header probe.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/values.h"
#include "image/codec/Jpeg.h"
#include "image/raster/Bitmap.h"

namespace kelv {

class TImageImpl {
 public:
  TImageImpl();
  ~TImageImpl();
  TImageImpl(const TImageImpl&) = delete;
  TImageImpl& operator=(const TImageImpl&) = delete;

  // Loading, saving and the state of the image.
  int32_t LoadFromBmp(const std::string& FileName);
  int32_t LoadFromJpg(const std::string& FileName);
  int32_t SaveToBmp(const std::string& FileName);
  int32_t SaveToJpg(const std::string& FileName, int32_t Quality, int32_t Progressive, int32_t Smoothing);
  void DeleteImage();
  int32_t IsValidImage() const;
  int32_t IsNullImage() const;
  int32_t get_DefaultJpgQuality() const { return DefaultJpgQuality; }
  void put_DefaultJpgQuality(int32_t value);
  int32_t get_DefaultJpgProgressive() const { return DefaultJpgProgressive; }
  void put_DefaultJpgProgressive(int32_t value) { DefaultJpgProgressive = value == 1 ? 1 : 0; }
  int32_t get_DefaultJpgSmoothing() const { return DefaultJpgSmoothing; }
  void put_DefaultJpgSmoothing(int32_t value) { DefaultJpgSmoothing = value == 1 ? 1 : 0; }

  // Geometry.
  int32_t CreateFromSize(int32_t w, int32_t h, int32_t bgcol);
  int32_t RotateCW();
  int32_t RotateCCW();
  int32_t Rotate180();
  int32_t ResizeImg(int32_t w, int32_t h);
  int32_t ChangeSize(int32_t w, int32_t h);
  int32_t get_Width() const { return Bitmap ? Bitmap->width() : 0; }
  int32_t get_Height() const { return Bitmap ? Bitmap->height() : 0; }
  void put_Width(int32_t value);
  void put_Height(int32_t value);
  void SetTransparentColor(int32_t color);
  void RemoveTransparency();

  // The JPEG options a save uses: -1 takes the default property; quality is clamped to
  // 1..100; progressive and smoothing are on only for exactly 1.
  codec::JpegOptions resolve_jpeg(int32_t Quality, int32_t Progressive, int32_t Smoothing) const;

  raster::Bitmap* bitmap() { return Bitmap.get(); }

 private:
  void reset();
  int32_t rotate(int turn);

  // The state record, in its declared order.
  std::unique_ptr<raster::Bitmap> Bitmap;
  int16_t DefaultJpgQuality = 78;
  int32_t HeaderHeight = -1;
  int32_t HeaderWidth = -1;
  int32_t DefaultJpgProgressive = 0;
  int32_t DefaultJpgSmoothing = 1;
  std::vector<int32_t> ThumbBorderColors;  // empty: none
  int32_t ThumbBgColor = 0;
  int16_t cntThumbBorder = 0;
};

}  // namespace kelv
