#include "platform/code_points.h"

#include <cstdint>

namespace kelv::platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

struct Decoded {
  char32_t c;
  size_t len;
};

// The character that starts at s[i]: a valid sequence of up to four bytes (surrogates in
// their three-byte form included), or U+FFFD for the one byte at i.
Decoded next(std::string_view s, size_t i) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char b = byte(i);
  if (b < 0x80) return {b, 1};
  size_t len = 0;
  char32_t c = 0, min = 0;
  if ((b & 0xE0) == 0xC0) {
    len = 2, c = b & 0x1F, min = 0x80;
  } else if ((b & 0xF0) == 0xE0) {
    len = 3, c = b & 0x0F, min = 0x800;
  } else if ((b & 0xF8) == 0xF0) {
    len = 4, c = b & 0x07, min = 0x10000;
  } else {
    return {kReplacement, 1};
  }
  if (s.size() - i < len) return {kReplacement, 1};
  for (size_t k = 1; k < len; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return {kReplacement, 1};
    c = (c << 6) | (byte(i + k) & 0x3F);
  }
  if (c < min || c > 0x10FFFF) return {kReplacement, 1};
  return {c, len};
}

bool high_surrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool low_surrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

std::u32string code_points(std::string_view utf8) {
  std::u32string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    Decoded d = next(utf8, i);
    i += d.len;
    if (high_surrogate(d.c) && i < utf8.size()) {
      Decoded low = next(utf8, i);
      if (low_surrogate(low.c)) {
        d.c = 0x10000 + ((d.c - 0xD800) << 10) + (low.c - 0xDC00);
        i += low.len;
      }
    }
    out.push_back(d.c);
  }
  return out;
}

std::u16string utf16_of_code_points(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (char32_t c : code_points(utf8)) {
    if (c < 0x10000) {
      out.push_back(static_cast<char16_t>(c));
    } else {
      out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    }
  }
  return out;
}

size_t utf8_prefix_for_utf16_units(std::string_view utf8, size_t units) {
  size_t i = 0, used = 0;
  while (i < utf8.size()) {
    Decoded d = next(utf8, i);
    size_t need = d.c >= 0x10000 ? 2 : 1, len = d.len;
    if (high_surrogate(d.c) && i + len < utf8.size()) {
      Decoded low = next(utf8, i + len);
      if (low_surrogate(low.c)) need = 2, len += low.len;  // a pair written as two halves
    }
    if (used + need > units) break;
    used += need;
    i += len;
  }
  return i;
}

}  // namespace kelv::platform
