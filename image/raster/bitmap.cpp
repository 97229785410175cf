#include "image/raster/bitmap.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "image/raster/canvas.h"
#include "image/raster/handles.h"
#include "common/status.h"

namespace kelv::raster {

bool Bitmap::layout(int32_t width, int32_t height, size_t& stride, size_t& bytes) {
  if (width < 0 || height < 0) return false;
  // Checked in 64 bits before anything is allocated: 3 bytes a pixel, rows padded to 4.
  uint64_t row = (static_cast<uint64_t>(width) * 3 + 3) & ~uint64_t{3};
  uint64_t total = row * static_cast<uint64_t>(height);
  if (row > kMaxBytes || total > kMaxBytes) return false;
  stride = static_cast<size_t>(row);
  bytes = static_cast<size_t>(total);
  return true;
}

Bitmap::Bitmap(int32_t width, int32_t height, Fill fill) { resize(width, height, fill); }

Bitmap::Bitmap(Bitmap&& o) noexcept
    : m_width(o.m_width),
      m_height(o.m_height),
      m_stride(o.m_stride),
      m_pixels(std::move(o.m_pixels)),
      m_surface(std::move(o.m_surface)),
      m_transparency(o.m_transparency) {
  o.m_width = o.m_height = 0;
  o.m_stride = 0;
  o.end_handle();
}

Bitmap& Bitmap::operator=(Bitmap&& o) noexcept {
  if (this != &o) {
    end_handle();
    o.end_handle();
    m_width = o.m_width, m_height = o.m_height, m_stride = o.m_stride;
    m_pixels = std::move(o.m_pixels);
    m_surface = std::move(o.m_surface);
    m_transparency = o.m_transparency;
    o.m_width = o.m_height = 0;
    o.m_stride = 0;
  }
  return *this;
}

Bitmap::~Bitmap() { end_handle(); }

void Bitmap::end_handle() {
  if (!m_handle) return;
  handles::end(m_handle);
  m_handle = 0;
}

int32_t Bitmap::handle() {
  if (!m_handle) m_handle = handles::give(this);
  return m_handle;
}

void Bitmap::continue_handles_at(int32_t next) { handles::continue_at(next); }

Bitmap* Bitmap::from_handle(int32_t handle) { return handles::find(handle); }

Bitmap::Bitmap(const Bitmap& other)
    : m_width(other.m_width), m_height(other.m_height), m_stride(other.m_stride), m_transparency(other.m_transparency) {
  size_t bytes = m_stride * static_cast<size_t>(m_height);
  if (bytes) {
    m_pixels.reset(new uint8_t[bytes]);
    std::memcpy(m_pixels.get(), other.m_pixels.get(), bytes);
  }
}

void Bitmap::resize(int32_t width, int32_t height, Fill fill) {
  if (width == m_width && height == m_height) return;
  size_t stride = 0, bytes = 0;
  if (width < 0 || height < 0) throw Failure(Status::InvalidBitmapSize);
  if (!layout(width, height, stride, bytes)) throw Failure(Status::NoBitmapStorage);
  std::unique_ptr<uint8_t[]> pixels;
  if (bytes) {
    pixels.reset(new (std::nothrow) uint8_t[bytes]);
    if (!pixels) throw Failure(Status::NoBitmapStorage);
    if (fill == Fill::White) std::memset(pixels.get(), 0xFF, bytes);
  }
  int32_t keep_w = std::min(width, m_width), keep_h = std::min(height, m_height);
  for (int32_t y = 0; y < keep_h; ++y)
    std::memcpy(pixels.get() + static_cast<size_t>(y) * stride, row(y), static_cast<size_t>(keep_w) * 3);
  int32_t old_w = m_width, old_h = m_height;
  m_pixels = std::move(pixels);
  m_width = width;
  m_height = height;
  m_stride = stride;
  // New area takes the brush once the surface has been used on this bitmap.
  if (m_surface) {
    fill_rect(*this, Rect{old_w, 0, width, keep_h}, m_surface->brush);
    fill_rect(*this, Rect{0, old_h, width, height}, m_surface->brush);
  }
}

Surface& Bitmap::surface() {
  if (!m_surface) m_surface = std::make_unique<Surface>();
  return *m_surface;
}

Bgr Bitmap::transparent_colour() const {
  if (m_transparency.fixed) return resolve(m_transparency.colour);
  if (empty()) return Bgr{};
  return pixel(0, m_height - 1);
}

}  // namespace kelv::raster
