#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/wide.h"

namespace kelv::platform {

namespace {

UINT system_page(uint32_t code_page) {
  return code_page == kCodePageAnsi || !IsValidCodePage(code_page) ? CP_ACP : code_page;
}

// UTF-16 to bytes in a code page, with the flags the page allows: none, so that a
// character the page lacks becomes its nearest or default character.
std::string bytes_from_utf16(const std::u16string& wide, UINT page) {
  if (wide.empty()) return {};
  const wchar_t* src = wide_chars(wide);
  const int len = static_cast<int>(wide.size());
  int n = WideCharToMultiByte(page, 0, src, len, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(page, 0, src, len, out.data(), n, nullptr, nullptr);
  return out;
}

// Bytes in a code page to UTF-16; bytes the page does not define become what the system
// makes of them (U+FFFD for UTF-8), never an error.
std::u16string utf16_from_bytes(std::string_view bytes, UINT page) {
  if (bytes.empty()) return {};
  const int len = static_cast<int>(bytes.size());
  int n = MultiByteToWideChar(page, 0, bytes.data(), len, nullptr, 0);
  if (n <= 0) return {};
  std::u16string out(static_cast<size_t>(n), u'\0');
  MultiByteToWideChar(page, 0, bytes.data(), len, wide_chars(out), n);
  return out;
}

}  // namespace

std::string to_narrow(std::u16string_view wide) {
  // The conversion ends at the first NUL, as the boundary requires.
  return bytes_from_utf16(std::u16string(wide.substr(0, wide.find(u'\0'))), CP_ACP);
}

std::u16string to_wide(std::string_view narrow) {
  return utf16_from_bytes(narrow.substr(0, narrow.find('\0')), CP_ACP);
}

std::string text_to_bytes(std::string_view text, uint32_t code_page) {
  return bytes_from_utf16(utf16_from_utf8(text), system_page(code_page));
}

std::string bytes_to_text(std::string_view bytes, uint32_t code_page) {
  return utf8_from_utf16(utf16_from_bytes(bytes, system_page(code_page)));
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
