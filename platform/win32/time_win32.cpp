// The clock and the process, on Windows.
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/wide.h"

namespace kelv::platform {
namespace {

// When this module was loaded: where process_milliseconds counts from if the process's
// creation time can't be read.
const DWORD g_module_loaded = GetTickCount();

}  // namespace

bool now_filetime(int64_t& out) {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  out = filetime(ft);
  return true;
}

int32_t local_day_number() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return day_number(st.wYear, st.wMonth, st.wDay);
}

// From the hosting process's creation time, which the module may see long after.
uint64_t process_milliseconds() {
  FILETIME created, exited, kernel, user, now;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return GetTickCount() - g_module_loaded;
  GetSystemTimeAsFileTime(&now);
  int64_t diff = filetime(now) - filetime(created);
  return diff > 0 ? static_cast<uint64_t>(diff / 10000) : 0;
}

uint32_t time_seed() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  // Seconds since 1970, as the C runtime's time() gives them.
  return static_cast<uint32_t>((filetime(now) - kUnixEpochIn1601) / kFileTimeTicksPerSecond);
}

uint32_t process_id() { return GetCurrentProcessId(); }

}  // namespace kelv::platform
