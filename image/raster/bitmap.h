// A 24-bit bitmap: rows of blue, green, red bytes, top row first, in one allocation with
// a 4-byte aligned stride. It carries its drawing surface (created on first use) and
// its transparency state; both belong to this bitmap and start over with a new one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "image/raster/colour.h"
#include "image/raster/surface.h"

namespace kelv::raster {

struct Transparency {
  bool enabled = false;
  bool fixed = false;  // fixed: `colour`; automatic: the bottom-left pixel
  int32_t colour = 0;
};

class Bitmap {
 public:
  // The largest pixel store a bitmap may have; bigger requests are refused before any
  // memory is taken.
  static constexpr size_t kMaxBytes = size_t{1} << 30;

  // Whether a new bitmap's pixels are painted white, or left for the caller who is
  // about to write every one of them (a decoder, a rotation, a scaled copy).
  enum class Fill : uint8_t { White, None };

  Bitmap() = default;
  Bitmap(int32_t width, int32_t height, Fill fill = Fill::White);
  Bitmap(const Bitmap& other);  // pixels and transparency; no surface
  Bitmap& operator=(const Bitmap&) = delete;
  // A moved bitmap is a new one: a handle given out for either is ended.
  Bitmap(Bitmap&& other) noexcept;
  Bitmap& operator=(Bitmap&& other) noexcept;
  ~Bitmap();

  // The handle by which other Image objects of this process reach this bitmap (see
  // handles.h); given out on first request, ended when the bitmap is destroyed or
  // replaced.
  int32_t handle();
  // The live bitmap a handle names, or null: a stale or forged handle names none.
  static Bitmap* from_handle(int32_t handle);
  // Where the numbering of new handles goes on: for tests of a long-running process.
  static void continue_handles_at(int32_t next);

  int32_t width() const { return m_width; }
  int32_t height() const { return m_height; }
  size_t stride() const { return m_stride; }
  bool empty() const { return m_width == 0 || m_height == 0; }
  uint8_t* row(int32_t y) { return m_pixels.get() + static_cast<size_t>(y) * m_stride; }
  const uint8_t* row(int32_t y) const { return m_pixels.get() + static_cast<size_t>(y) * m_stride; }

  // Changes the size anchored at the top left: pixels inside both sizes keep their
  // place; new area is painted with the surface's brush once the surface has been used,
  // else white. Raises a Failure for a negative or too large size.
  void set_size(int32_t width, int32_t height) { resize(width, height, Fill::White); }
  void set_width(int32_t width) { set_size(width, m_height); }
  void set_height(int32_t height) { set_size(m_width, height); }

  // The drawing surface, created with its defaults on first use.
  Surface& surface();
  bool surface_used() const { return m_surface != nullptr; }

  Transparency& transparency() { return m_transparency; }
  const Transparency& transparency() const { return m_transparency; }
  // The colour that is transparent when the flag is on: the fixed one, or the
  // bottom-left pixel's.
  Bgr transparent_colour() const;

  Bgr pixel(int32_t x, int32_t y) const {
    const uint8_t* p = row(y) + 3 * static_cast<size_t>(x);
    return {p[0], p[1], p[2]};
  }
  void set_pixel(int32_t x, int32_t y, Bgr c) {
    uint8_t* p = row(y) + 3 * static_cast<size_t>(x);
    p[0] = c.b, p[1] = c.g, p[2] = c.r;
  }
  bool contains(int32_t x, int32_t y) const { return x >= 0 && y >= 0 && x < m_width && y < m_height; }

  // The stride and byte count of a bitmap of this size; false when it would pass the
  // limit or the product overflows.
  static bool layout(int32_t width, int32_t height, size_t& stride, size_t& bytes);

 private:
  void resize(int32_t width, int32_t height, Fill fill);

  int32_t m_width = 0;
  int32_t m_height = 0;
  size_t m_stride = 0;
  std::unique_ptr<uint8_t[]> m_pixels;
  std::unique_ptr<Surface> m_surface;
  Transparency m_transparency;
  int32_t m_handle = 0;

  void end_handle();
};

}  // namespace kelv::raster
