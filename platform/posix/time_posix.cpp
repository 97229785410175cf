// The clock and the process, on Linux.
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <ctime>

#include "platform/platform.h"

namespace kelv::platform {
namespace {

// When this module was loaded: the start of process_milliseconds on Linux, which keeps
// no creation time of the process that the module could read without parsing /proc.
const auto g_module_loaded = std::chrono::steady_clock::now();

}  // namespace

bool now_filetime(int64_t& out) {
  struct timespec ts {};
  if (clock_gettime(CLOCK_REALTIME, &ts) != 0) return false;
  out = kUnixEpochIn1601 + static_cast<int64_t>(ts.tv_sec) * kFileTimeTicksPerSecond + ts.tv_nsec / 100;
  return true;
}

int32_t local_day_number() {
  std::time_t now = std::time(nullptr);
  struct tm lt {};
  localtime_r(&now, &lt);
  return day_number(lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday);
}

uint64_t process_milliseconds() {
  auto d = std::chrono::steady_clock::now() - g_module_loaded;
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
}

uint32_t time_seed() { return static_cast<uint32_t>(std::time(nullptr)); }
uint32_t process_id() { return static_cast<uint32_t>(::getpid()); }

}  // namespace kelv::platform
