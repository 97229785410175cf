// Case mapping of text, on Linux.
#include <locale.h>

#include <cctype>
#include <cwctype>

#include "platform/platform.h"

namespace kelv::platform {
namespace {

// Unicode case rules, the C library's for the UTF-8 locale; without that locale, ASCII.
std::string map_case(std::string_view s, bool upper) {
  static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  std::u32string cps = code_points(s);
  for (char32_t& c : cps) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;  // a lone surrogate has no case
    const auto w = static_cast<wint_t>(c);
    if (utf8)
      c = static_cast<char32_t>(upper ? towupper_l(w, utf8) : towlower_l(w, utf8));
    else if (c < 0x80)
      c = static_cast<char32_t>(upper ? std::toupper(static_cast<int>(c)) : std::tolower(static_cast<int>(c)));
  }
  return utf8_from_code_points(cps);
}

}  // namespace

std::string to_lower(std::string_view s) { return map_case(s, false); }
std::string to_upper(std::string_view s) { return map_case(s, true); }

}  // namespace kelv::platform
