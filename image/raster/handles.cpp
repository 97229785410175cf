#include "image/raster/handles.h"

#include <unordered_map>

#include "common/status.h"
#include "platform/platform.h"

namespace kelv::raster::handles {
namespace {

struct Table {
  platform::Mutex lock;
  std::unordered_map<int32_t, Bitmap*> live;
  int32_t next = 1;
  void advance() { next = next == INT32_MAX ? 1 : next + 1; }
};

Table& table() {
  static Table* t = new Table;  // outlives every bitmap
  return *t;
}

}  // namespace

int32_t give(Bitmap* bmp) {
  Table& t = table();
  platform::LockGuard lock(t.lock);
  if (t.live.size() >= static_cast<size_t>(INT32_MAX)) throw Failure(Status::NoBitmapHandles);
  while (t.live.count(t.next)) t.advance();
  const int32_t handle = t.next;
  t.advance();
  t.live[handle] = bmp;
  return handle;
}

void end(int32_t handle) {
  Table& t = table();
  platform::LockGuard lock(t.lock);
  t.live.erase(handle);
}

Bitmap* find(int32_t handle) {
  if (handle <= 0) return nullptr;
  Table& t = table();
  platform::LockGuard lock(t.lock);
  auto it = t.live.find(handle);
  return it == t.live.end() ? nullptr : it->second;
}

void continue_at(int32_t next) {
  Table& t = table();
  platform::LockGuard lock(t.lock);
  t.next = next > 0 ? next : 1;
}

}  // namespace kelv::raster::handles
