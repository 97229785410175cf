#include <windows.h>

#include "platform/platform.h"

namespace kelv::platform {

std::string to_narrow(std::u16string_view wide) {
  // The conversion ends at the first NUL, as the boundary requires.
  size_t len = wide.find(u'\0');
  if (len == std::u16string_view::npos) len = wide.size();
  if (len == 0) return {};
  const auto* src = reinterpret_cast<const wchar_t*>(wide.data());
  int n = WideCharToMultiByte(CP_ACP, 0, src, static_cast<int>(len), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, src, static_cast<int>(len), out.data(), n, nullptr, nullptr);
  return out;
}

std::u16string to_wide(std::string_view narrow) {
  size_t len = narrow.find('\0');
  if (len == std::string_view::npos) len = narrow.size();
  if (len == 0) return {};
  int n = MultiByteToWideChar(CP_ACP, 0, narrow.data(), static_cast<int>(len), nullptr, 0);
  if (n <= 0) return {};
  std::u16string out(static_cast<size_t>(n), u'\0');
  MultiByteToWideChar(CP_ACP, 0, narrow.data(), static_cast<int>(len), reinterpret_cast<wchar_t*>(out.data()), n);
  return out;
}

bool code_page_valid(uint32_t code_page) { return code_page == kCodePageAnsi || IsValidCodePage(code_page) != 0; }

bool os_version(OsVersion& out) {
  // The record size field is that of the ANSI version record (148 bytes).
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExA(&info)) return false;
#pragma GCC diagnostic pop
  out.major = info.dwMajorVersion;
  out.minor = info.dwMinorVersion;
  out.build = info.dwBuildNumber;
  out.platform_id = info.dwPlatformId;
  return true;
}

char path_separator() { return '\\'; }

}  // namespace kelv::platform

namespace kelv::platform {

Mutex::Mutex() : m_impl(new CRITICAL_SECTION) { InitializeCriticalSection(static_cast<CRITICAL_SECTION*>(m_impl)); }
Mutex::~Mutex() {
  DeleteCriticalSection(static_cast<CRITICAL_SECTION*>(m_impl));
  delete static_cast<CRITICAL_SECTION*>(m_impl);
}
void Mutex::lock() { EnterCriticalSection(static_cast<CRITICAL_SECTION*>(m_impl)); }
void Mutex::unlock() { LeaveCriticalSection(static_cast<CRITICAL_SECTION*>(m_impl)); }

}  // namespace kelv::platform
