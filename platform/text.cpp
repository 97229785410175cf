// UTF-8 and UTF-16, the same on every system. Text and names inside the component are
// UTF-8; the script boundary and the Windows file calls speak UTF-16.
#include "platform/platform.h"

namespace kelv::platform {
namespace {

bool is_high(uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool is_low(uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

void put_utf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

void put_utf16(std::u16string& out, uint32_t c) {
  if (c >= 0x10000) {
    c -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(c));
  }
}

}  // namespace

std::string utf8_from_utf16(std::u16string_view wide, Surrogates lone) {
  std::string out;
  out.reserve(wide.size());
  for (size_t i = 0; i < wide.size(); ++i) {
    uint32_t c = wide[i];
    if (is_high(c) && i + 1 < wide.size() && is_low(wide[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (wide[i + 1] - 0xDC00u);
      ++i;
    } else if ((is_high(c) || is_low(c)) && lone == Surrogates::Replace) {
      out.push_back('?');
      continue;
    }
    put_utf8(out, c);
  }
  return out;
}

std::u16string utf16_from_utf8(std::string_view utf8, Surrogates lone) {
  std::u16string out;
  out.reserve(utf8.size());
  const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
  const size_t n = utf8.size();
  for (size_t i = 0; i < n;) {
    const unsigned char b = s[i];
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    }
    uint32_t c = 0, min = 0;
    size_t len = 0;
    if ((b & 0xE0) == 0xC0)
      c = b & 0x1Fu, len = 2, min = 0x80;
    else if ((b & 0xF0) == 0xE0)
      c = b & 0x0Fu, len = 3, min = 0x800;
    else if ((b & 0xF8) == 0xF0)
      c = b & 0x07u, len = 4, min = 0x10000;
    bool ok = len != 0 && i + len <= n;
    for (size_t k = 1; ok && k < len; ++k) {
      if ((s[i + k] & 0xC0) != 0x80)
        ok = false;
      else
        c = (c << 6) | (s[i + k] & 0x3Fu);
    }
    // A surrogate written on its own (three bytes) stands for that unit, so that a name
    // with a lone surrogate comes back as it was; a pair must be written as one code point.
    const bool surrogate = c >= 0xD800 && c <= 0xDFFF;
    if (!ok || c < min || c > 0x10FFFF || (surrogate && lone == Surrogates::Replace)) {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    put_utf16(out, c);
    i += len;
  }
  return out;
}

std::u32string code_points(std::string_view utf8, Surrogates lone) {
  const std::u16string w = utf16_from_utf8(utf8, lone);
  std::u32string out;
  out.reserve(w.size());
  for (size_t i = 0; i < w.size(); ++i) {
    char32_t c = w[i];
    if (is_high(c) && i + 1 < w.size() && is_low(w[i + 1])) c = 0x10000 + ((c - 0xD800) << 10) + (w[++i] - 0xDC00u);
    out.push_back(c);
  }
  return out;
}

std::string utf8_from_code_points(std::u32string_view code_points) {
  std::string out;
  out.reserve(code_points.size());
  for (char32_t c : code_points) put_utf8(out, c);
  return out;
}

}  // namespace kelv::platform
