// The Image class: one raster image in memory with its drawing state, the JPEG defaults,
// the thumbnail settings and the last header probe.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/status.h"
#include "common/values.h"
#include "image/codec/colour.h"
#include "image/codec/format.h"
#include "image/codec/jpeg.h"
#include "image/codec/load.h"
#include "image/raster/bitmap.h"
#include "image/raster/resample.h"

namespace kelv {

// Up to n bytes from the start of a file (0 when it can't be opened), and the image
// format its first bytes show.
size_t read_head(const std::string& FileName, uint8_t* buf, size_t n);
codec::ImageFormat sniff_file(const std::string& FileName);

// The reasons LastError gives for failures above the formats' own.
inline constexpr std::string_view kCannotOpen = "The file could not be opened";
inline constexpr std::string_view kCannotWrite = "The file could not be written";
inline constexpr std::string_view kCannotEncode = "The picture could not be encoded";
inline constexpr std::string_view kNoImage = "There is no image";

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
  int32_t get_DefaultJpgQuality() const { return m_default_jpg_quality; }
  void put_DefaultJpgQuality(int32_t value);
  int32_t get_DefaultJpgProgressive() const { return m_default_jpg_progressive; }
  void put_DefaultJpgProgressive(int32_t value) { m_default_jpg_progressive = value == 1 ? 1 : 0; }
  int32_t get_DefaultJpgSmoothing() const { return m_default_jpg_smoothing; }
  void put_DefaultJpgSmoothing(int32_t value) { m_default_jpg_smoothing = value == 1 ? 1 : 0; }

  // Geometry.
  int32_t CreateFromSize(int32_t w, int32_t h, int32_t bgcol);
  int32_t RotateCW();
  int32_t RotateCCW();
  int32_t Rotate180();
  int32_t ResizeImg(int32_t w, int32_t h);
  int32_t ChangeSize(int32_t w, int32_t h);
  int32_t get_Width() const { return m_bitmap ? m_bitmap->width() : 0; }
  int32_t get_Height() const { return m_bitmap ? m_bitmap->height() : 0; }
  void put_Width(int32_t value);
  void put_Height(int32_t value);
  void SetTransparentColor(int32_t color);
  void RemoveTransparency();

  // Colours, pixels, drawing and text.
  static int32_t GetColorFromRGB(uint8_t r, uint8_t g, uint8_t b) { return r + g * 256 + b * 65536; }
  static uint8_t GetRFromColor(int32_t color) { return static_cast<uint8_t>(color & 0xFF); }
  static uint8_t GetGFromColor(int32_t color) { return static_cast<uint8_t>((color >> 8) & 0xFF); }
  static uint8_t GetBFromColor(int32_t color) { return static_cast<uint8_t>((color >> 16) & 0xFF); }
  int32_t GetColor(int32_t x, int32_t y);
  void MoveTo(int32_t x, int32_t y);
  void LineTo(int32_t x, int32_t y);
  void Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  void Rectangle(int32_t x1, int32_t y1, int32_t w, int32_t h);
  void FillRect(int32_t x1, int32_t y1, int32_t w, int32_t h);
  void Ellipse(int32_t x1, int32_t y1, int32_t w, int32_t h);
  void LineRect(int32_t x1, int32_t y1, int32_t w, int32_t h);
  void LineEllipse(int32_t x1, int32_t y1, int32_t w, int32_t h);
  void TextOut(int32_t x, int32_t y, const std::string& str);
  int32_t GetTextWidth(const std::string& str);
  int32_t GetTextHeight(const std::string& str);

  // Pen, brush and font: with no image a get gives 0 (or "") and a put does nothing.
  int32_t get_PenColor();
  void put_PenColor(int32_t value);
  int32_t get_PenWidth();
  void put_PenWidth(int32_t value);
  int32_t get_BrushColor();
  void put_BrushColor(int32_t value);
  uint8_t get_BrushStyle();
  void put_BrushStyle(uint8_t value);
  std::string get_FontName();
  void put_FontName(const std::string& value);
  int32_t get_FontHeight();
  void put_FontHeight(int32_t value);
  int32_t get_FontColor();
  void put_FontColor(int32_t value);
  uint8_t get_FontStyle();
  void put_FontStyle(uint8_t value);
  uint8_t get_FontCharSet();
  void put_FontCharSet(uint8_t value);

  // Thumbnails.
  int32_t get_cntThumbBorder() const { return m_thumb_border_count; }
  void put_cntThumbBorder(int32_t value);
  int32_t SetThumbBorder(int32_t index, int32_t color);
  int32_t GetThumbBorder(int32_t index) const;
  int32_t get_ThumbBgColor() const { return m_thumb_bg_color; }
  void put_ThumbBgColor(int32_t value) { m_thumb_bg_color = value; }
  int32_t MakeThumb(int32_t insideW, int32_t insideH);

  // Header probing.
  int32_t HeaderReadBmp(const std::string& FileName);
  int32_t HeaderReadJpg(const std::string& FileName);
  int32_t HeaderGetWidth() const { return m_header_width; }
  int32_t HeaderGetHeight() const { return m_header_height; }
  std::string HeaderGetHtmlWH() const;
  std::string GetHtmlWH() const;

  // Transfer between images and into buffers.
  int32_t GetBmp();
  int32_t Draw(int32_t x, int32_t y, ImageSource* img);
  int32_t StretchDraw(int32_t x, int32_t y, int32_t w, int32_t h, ImageSource* img);
  int32_t AssignPicture(ImageSource* in);
  VarOut SaveToBufferBmp();
  VarOut SaveToBufferJpg(int32_t Quality, int32_t Progressive, int32_t Smoothing);

  // Photographs (the members of the second interface): sampling, reduced JPEG loads,
  // orientation, mirrors, PNG files, and loads and probes that tell formats apart.
  int32_t get_ResampleMode() const { return m_resample_mode; }
  void put_ResampleMode(int32_t value);
  int32_t LoadFromJpgMin(const std::string& FileName, int32_t minWidth, int32_t minHeight);
  int32_t get_JpgOrientation() const { return m_jpg_orientation; }
  int32_t ApplyOrientation();
  int32_t FlipHorizontal();
  int32_t FlipVertical();
  int32_t LoadFromPng(const std::string& FileName);
  int32_t SaveToPng(const std::string& FileName, int32_t level);
  VarOut SaveToBufferPng(int32_t level);
  int32_t HeaderReadPng(const std::string& FileName);
  int32_t LoadFromFile(const std::string& FileName);
  int32_t HeaderReadFile(const std::string& FileName);
  // The size in bytes of the file the last successful probe read; -1 otherwise.
  VarOut HeaderGetFileSize() const;

  // The formats pictures are uploaded in: the format of the file last loaded or probed,
  // WebP files, reduced loads of every format, and a limit on the pixels of any new
  // picture.
  std::string get_FileFormat() const;
  int32_t SaveToWebp(const std::string& FileName, int32_t Quality, int32_t Lossless);
  VarOut SaveToBufferWebp(int32_t Quality, int32_t Lossless);
  int32_t LoadFromFileMin(const std::string& FileName, int32_t minWidth, int32_t minHeight);
  int32_t get_MaxPixels() const { return m_max_pixels; }
  void put_MaxPixels(int32_t value);
  // Why the last load, probe, save or buffer member failed; "" after one that succeeded.
  std::string get_LastError() const { return m_last_error; }

  // Colour: the profile the image keeps beside its pixels (none means sRGB), whether
  // loads keep it or convert to sRGB, and the conversion on demand.
  std::string get_ColorProfile() const;
  int32_t get_ColorMode() const { return m_color_mode; }
  void put_ColorMode(int32_t value);
  int32_t ConvertToSRGB();
  const codec::IccBytes& profile() const { return m_profile; }

  // The JPEG options a save uses: -1 takes the default property; quality is clamped to
  // 1..100; progressive and smoothing are on only for exactly 1.
  codec::JpegOptions resolve_jpeg(int32_t Quality, int32_t Progressive, int32_t Smoothing) const;

  raster::Bitmap* bitmap() { return m_bitmap.get(); }
  const raster::Bitmap* bitmap() const { return m_bitmap.get(); }
  // The held image's drawing surface, created on first use; null with no image.
  raster::Surface* surface() { return m_bitmap ? &m_bitmap->surface() : nullptr; }

 private:
  void reset();
  int32_t rotate(int turn);
  int32_t flip(int axis);
  raster::Resample resample() const;
  // How a load reduces the picture.
  enum class Reduce : uint8_t {
    None,
    JpegScale,  // a JPEG file by its smallest DCT scale that keeps the size (LoadFromJpgMin)
    Whole,      // any format by the largest whole factor that keeps the size
  };
  // Loads the named file as `format`: the old picture goes first, and a failed load
  // leaves an empty image, with FileFormat "".
  int32_t load_file(const std::string& FileName, codec::ImageFormat format, Reduce reduce = Reduce::None,
                    int32_t minWidth = 0, int32_t minHeight = 0);
  // Probes the named file as `format`, keeping what it finds for the Header members.
  int32_t probe_file(const std::string& FileName, codec::ImageFormat format);
  // Saves the image as `format` into a file (complete or untouched) or a buffer (null on
  // a failure).
  int32_t save_file(const std::string& FileName, codec::ImageFormat format, const codec::SaveRequest& request);
  VarOut save_buffer(codec::ImageFormat format, const codec::SaveRequest& request);
  codec::SaveRequest jpeg_request(int32_t Quality, int32_t Progressive, int32_t Smoothing) const;
  codec::SaveRequest png_request(int32_t level) const;
  codec::SaveRequest webp_request(int32_t Quality, int32_t Lossless) const;
  // Keeps the reason for LastError; 0, for the failing member to return.
  int32_t failed(std::string_view reason);
  // Whether a new picture of width x height stays within MaxPixels.
  bool admits(int64_t width, int64_t height) const { return codec::within_pixels(m_max_pixels, width, height); }
  // The bitmap another Image object hands over; null when it has none or can't say.
  int32_t paint_from(ImageSource* img, const std::function<void(const raster::Bitmap&)>& paint);
  // Replaces the image with one `make` builds from it, every pixel taken: the transparent
  // flag is off while `make` runs and comes back on the new image. 1, or 0 with the image
  // kept when `make` fails.
  int32_t replace_with_copy(const std::function<std::unique_ptr<raster::Bitmap>()>& make);
  // Takes a loaded picture's profile as ColorMode says: kept as found (sRGB and unusable
  // profiles count as none), or the pixels converted to sRGB and no profile kept.
  void adopt_profile(raster::Bitmap& picture, std::span<const uint8_t> icc);
  // Runs `step` with the surface's pen, brush and font colours, which scripts give as
  // sRGB, turned into the numbers of the image's profile; the script's values are back
  // afterwards, also when `step` throws. Without a profile, or before the surface is
  // used, `step` runs as it is.
  void with_profile_colours(const std::function<void()>& step);
  // A script's colour (sRGB, or a system colour) as the numbers of the image's profile;
  // as given without a profile.
  int32_t in_profile(int32_t colour);
  // Runs a drawing step on the held image (nothing without one) with the colours in the
  // image's profile; a step that fails draws nothing more.
  void draw(const std::function<void(raster::Bitmap&)>& step);

  // The state record, in its declared order.
  std::unique_ptr<raster::Bitmap> m_bitmap;
  int16_t m_default_jpg_quality = codec::kDefaultJpegQuality;
  int32_t m_header_height = -1;
  int32_t m_header_width = -1;
  int64_t m_header_file_size = -1;
  int32_t m_default_jpg_progressive = 0;
  int32_t m_default_jpg_smoothing = 1;
  std::vector<int32_t> m_thumb_border_colors;  // empty: none
  int32_t m_thumb_bg_color = 0;
  int16_t m_thumb_border_count = 0;
  // Beyond the state record: the scaling of ResizeImg, MakeThumb and StretchDraw, and
  // the orientation tag of the JPEG file last loaded or probed.
  int32_t m_resample_mode = 0;
  int32_t m_jpg_orientation = 1;
  // The format of the file last loaded or probed (Unknown after a failure), and the
  // largest picture, in pixels, that a load or a new bitmap may have (0: no limit).
  codec::ImageFormat m_file_format = codec::ImageFormat::Unknown;
  int32_t m_max_pixels = 0;
  std::string m_last_error;
  // The colour profile of the pixels (empty: sRGB), and what loads do with a file's
  // profile: 0 keeps it, 1 converts to sRGB.
  codec::IccBytes m_profile;
  int32_t m_color_mode = 0;
  codec::ColoursFromSrgb m_srgb_colours;
};

// The colour profile of the Image object whose GetBmp last handed out `bmp` (empty for
// sRGB, or when no Image object did): how Draw learns the space of another object's pixels.
codec::IccBytes profile_of(const raster::Bitmap* bmp);
// An object's GetBmp says which bitmap it hands out and that bitmap's profile; its
// destructor takes that back.
void publish_profile(const TImageImpl* image, const raster::Bitmap* bmp, const codec::IccBytes& profile);
void unregister_image(const TImageImpl* image);

}  // namespace kelv
