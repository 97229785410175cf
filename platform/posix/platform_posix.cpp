#include <iconv.h>
#include <sys/utsname.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"

namespace kelv::platform {

std::string to_narrow(std::u16string_view wide) {
  return utf8_from_utf16(wide.substr(0, wide.find(u'\0')), Surrogates::Replace);
}

std::u16string to_wide(std::string_view narrow) {
  return utf16_from_utf8(narrow.substr(0, narrow.find('\0')), Surrogates::Replace);
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

namespace {

// Converts with iconv; where the input holds something the other side can't take, that
// input unit (one byte, or one UTF-8 sequence) becomes `bad` and the conversion goes on.
std::string convert(const char* to, const char* from, std::string_view in, std::string_view bad, bool utf8_in) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(in);
  std::string out;
  out.reserve(in.size() + in.size() / 2 + 8);
  char buf[4096];
  auto* p = const_cast<char*>(in.data());
  size_t left = in.size();
  while (left) {
    char* o = buf;
    size_t room = sizeof buf;
    size_t r = iconv(cd, &p, &left, &o, &room);
    out.append(buf, static_cast<size_t>(o - buf));
    if (r != static_cast<size_t>(-1) || errno == E2BIG) continue;
    // EILSEQ or a sequence cut off at the end: skip the unit the conversion stopped at.
    size_t unit = 1;
    if (utf8_in) {
      const auto b = static_cast<unsigned char>(*p);
      unit = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
      while (unit > 1 && (unit > left || (static_cast<unsigned char>(p[unit - 1]) & 0xC0) != 0x80)) --unit;
    }
    out.append(bad);
    p += unit, left -= unit;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  char* o = buf;
  size_t room = sizeof buf;
  iconv(cd, nullptr, nullptr, &o, &room);  // the shift back to the initial state
  out.append(buf, static_cast<size_t>(o - buf));
  iconv_close(cd);
  return out;
}

bool is_utf8_page(uint32_t code_page) { return code_page == kCodePageAnsi || code_page == kCodePageUtf8; }

}  // namespace

std::string text_to_bytes(std::string_view text, uint32_t code_page) {
  // A lone surrogate has no UTF-8 form outside the component's own names.
  if (is_utf8_page(code_page)) return utf8_from_utf16(utf16_from_utf8(text), Surrogates::Replace);
  return convert(iconv_name(code_page).c_str(), "UTF-8", text, "?", true);
}

std::string bytes_to_text(std::string_view bytes, uint32_t code_page) {
  if (is_utf8_page(code_page)) return utf8_from_utf16(utf16_from_utf8(bytes, Surrogates::Replace));
  return convert("UTF-8", iconv_name(code_page).c_str(), bytes, "\xEF\xBF\xBD", false);
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
