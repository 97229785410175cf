#include <iconv.h>
#include <sys/utsname.h>

#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"

namespace kelv::platform {

// UTF-16 to UTF-8. A lone surrogate has no UTF-8 form and becomes '?', the default
// character of the conversion.
std::string to_narrow(std::u16string_view wide) {
  std::string out;
  out.reserve(wide.size());
  for (size_t i = 0; i < wide.size(); ++i) {
    uint32_t c = wide[i];
    if (c == 0) break;
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      out.push_back('?');
      continue;
    }
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
  return out;
}

// UTF-8 to UTF-16. Bytes that do not form a valid sequence become U+FFFD each, so that
// any byte string (a file name read from disk, a form field) still gives a string.
std::u16string to_wide(std::string_view narrow) {
  std::u16string out;
  out.reserve(narrow.size());
  const auto* s = reinterpret_cast<const unsigned char*>(narrow.data());
  size_t n = narrow.size();
  for (size_t i = 0; i < n;) {
    unsigned char b = s[i];
    if (b == 0) break;
    uint32_t c = 0;
    size_t len = 0;
    uint32_t min = 0;
    if (b < 0x80) {
      c = b, len = 1;
    } else if ((b & 0xE0) == 0xC0) {
      c = b & 0x1F, len = 2, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
      c = b & 0x0F, len = 3, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
      c = b & 0x07, len = 4, min = 0x10000;
    } else {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    bool ok = i + len <= n;
    for (size_t k = 1; ok && k < len; ++k) {
      if ((s[i + k] & 0xC0) != 0x80)
        ok = false;
      else
        c = (c << 6) | (s[i + k] & 0x3F);
    }
    if (!ok || c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
    i += len;
  }
  return out;
}

// The iconv name of a Windows code page: the pages whose Windows number is not their
// iconv name, then "CP" and the number, which names the Windows and DOS pages.
std::string iconv_name(uint32_t code_page) {
  if (code_page == kCodePageAnsi || code_page == kCodePageUtf8) return "UTF-8";
  if (code_page >= 28591 && code_page <= 28606) return "ISO-8859-" + std::to_string(code_page - 28590);
  switch (code_page) {
    case 20127: return "ASCII";
    case 20866: return "KOI8-R";
    case 21866: return "KOI8-U";
    case 20932:
    case 51932: return "EUC-JP";
    case 51949: return "EUC-KR";
    case 54936: return "GB18030";
    case 10000: return "MACINTOSH";
    case 1200: return "UTF-16LE";
    case 1201: return "UTF-16BE";
    default: break;
  }
  return "CP" + std::to_string(code_page);
}

bool code_page_valid(uint32_t code_page) {
  // The two UTF-16 pages hold no 8-bit text; the Windows conversions refuse them too.
  if (code_page == 1200 || code_page == 1201) return false;
  if (code_page == kCodePageAnsi || code_page == kCodePageUtf8) return true;
  iconv_t cd = iconv_open("UTF-8", iconv_name(code_page).c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  iconv_close(cd);
  return true;
}

// Linux reports its kernel release; the platform identifier 0 keeps it out of every row
// of the Windows version table.
bool os_version(OsVersion& out) {
  struct utsname u {};
  if (uname(&u) != 0) return false;
  char* end = nullptr;
  out.major = static_cast<uint32_t>(std::strtoul(u.release, &end, 10));
  out.minor = (end && *end == '.') ? static_cast<uint32_t>(std::strtoul(end + 1, &end, 10)) : 0;
  out.build = (end && *end == '.') ? static_cast<uint32_t>(std::strtoul(end + 1, nullptr, 10)) : 0;
  out.platform_id = 0;
  return true;
}

char path_separator() { return '/'; }

}  // namespace kelv::platform

#include <mutex>

namespace kelv::platform {

Mutex::Mutex() : m_impl(new std::mutex) {}
Mutex::~Mutex() { delete static_cast<std::mutex*>(m_impl); }
void Mutex::lock() { static_cast<std::mutex*>(m_impl)->lock(); }
void Mutex::unlock() { static_cast<std::mutex*>(m_impl)->unlock(); }

}  // namespace kelv::platform
