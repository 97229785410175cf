// What the Windows sources share: UTF-16 as the wide calls read it, and file times.
#pragma once

#include <windows.h>

#include <string>

#include "platform/platform.h"

namespace kelv::platform {

// Every wide call reads a std::u16string in place, filled by the one UTF-8/UTF-16
// conversion of the component (utf16_from_utf8, utf8_from_utf16): wchar_t is a UTF-16
// unit on Windows.
static_assert(sizeof(wchar_t) == sizeof(char16_t));
inline const wchar_t* wide_chars(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
inline wchar_t* wide_chars(std::u16string& s) { return reinterpret_cast<wchar_t*>(s.data()); }
inline std::string utf8_from_wide(const wchar_t* w) { return utf8_from_utf16(reinterpret_cast<const char16_t*>(w)); }

inline int64_t filetime(const FILETIME& t) {
  return static_cast<int64_t>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
}

}  // namespace kelv::platform
