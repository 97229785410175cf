// Case mapping of text, on Windows.
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/wide.h"

namespace kelv::platform {
namespace {

// Unicode case rules, on the UTF-16 form of the text.
std::string map_case(std::string_view s, bool upper) {
  std::u16string w = utf16_from_utf8(s);
  if (!w.empty()) {
    const auto n = static_cast<DWORD>(w.size());
    upper ? CharUpperBuffW(wide_chars(w), n) : CharLowerBuffW(wide_chars(w), n);
  }
  return utf8_from_utf16(w);
}

}  // namespace

std::string to_lower(std::string_view s) { return map_case(s, false); }
std::string to_upper(std::string_view s) { return map_case(s, true); }

}  // namespace kelv::platform
