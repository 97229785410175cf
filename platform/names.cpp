// Which names the file calls take, and the full form Windows is handed. Both are string
// code, the same on every system, so that a name refused on one build is refused on the
// other and the Windows form can be tested anywhere.
#include "platform/platform.h"

namespace kelv::platform {
namespace {

bool is_ascii_letter(char32_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
char32_t ascii_upper(char32_t c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; }

template <class Char>
bool starts_with_drive(std::basic_string_view<Char> s) {
  return s.size() >= 2 && is_ascii_letter(s[0]) && s[1] == ':';
}

// "\\?\" exactly: the prefix that hands a name to the file system unchanged.
template <class Char>
bool has_verbatim_prefix(std::basic_string_view<Char> s) {
  return s.size() >= 4 && s[0] == '\\' && s[1] == '\\' && s[2] == '?' && s[3] == '\\';
}

// "UNC" followed by a separator, in any case.
template <class Char>
bool starts_with_unc(std::basic_string_view<Char> s) {
  return s.size() >= 4 && ascii_upper(s[0]) == 'U' && ascii_upper(s[1]) == 'N' && ascii_upper(s[2]) == 'C' &&
         (s[3] == '\\' || s[3] == '/');
}

bool usable_component(std::string_view c) {
  if (c.empty() || c == "." || c == "..") return true;
  if (c.back() == '.' || c.back() == ' ') return false;
  // "<", ">" and '"' are wildcards to a Windows search (and no file's name), so a name
  // holding one could find a file other than the one it names.
  return c.find_first_of(":<>\"") == std::string_view::npos && !is_device_name(c);
}

}  // namespace

bool is_device_name(std::string_view component) {
  std::string_view base = component.substr(0, component.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  std::string up(base.size(), '\0');
  for (size_t i = 0; i < base.size(); ++i) up[i] = static_cast<char>(ascii_upper(static_cast<unsigned char>(base[i])));
  if (up == "CON" || up == "PRN" || up == "AUX" || up == "NUL" || up == "CONIN$" || up == "CONOUT$") return true;
  const std::string_view head = std::string_view(up).substr(0, 3);
  if (up.size() < 4 || (head != "COM" && head != "LPT")) return false;
  const std::string_view digit = std::string_view(up).substr(3);
  // 0 to 9, or the superscript one, two and three (U+00B9, U+00B2, U+00B3) in UTF-8.
  return (digit.size() == 1 && digit[0] >= '0' && digit[0] <= '9') || digit == "\xC2\xB9" || digit == "\xC2\xB2" ||
         digit == "\xC2\xB3";
}

bool is_usable_name(std::string_view name) {
  if (name.empty() || name.find('\0') != std::string_view::npos) return false;
  // Two separators and "." or "?" start a device path. Only the script's own "\\?\"
  // before a drive or share path is taken, and checked as that path.
  if (name.size() >= 3 && is_separator(name[0]) && is_separator(name[1]) && (name[2] == '.' || name[2] == '?') &&
      (name.size() == 3 || is_separator(name[3]))) {
    if (!has_verbatim_prefix(name)) return false;
    name.remove_prefix(4);
    if (starts_with_unc(name))
      name.remove_prefix(3);
    else if (!starts_with_drive(name) || name.size() < 3 || !is_separator(name[2]))
      return false;
  }
  if (starts_with_drive(name)) name.remove_prefix(2);
  size_t start = 0;
  for (size_t i = 0; i <= name.size(); ++i) {
    if (i < name.size() && !is_separator(name[i])) continue;
    if (!usable_component(name.substr(start, i - start))) return false;
    start = i + 1;
  }
  return true;
}

namespace {

bool is_separator16(char16_t c) { return c == u'\\' || c == u'/'; }

// The next component of `rest`, taken off its front with the separators around it.
std::u16string_view next_component(std::u16string_view& rest) {
  while (!rest.empty() && is_separator16(rest.front())) rest.remove_prefix(1);
  size_t end = 0;
  while (end < rest.size() && !is_separator16(rest[end])) ++end;
  std::u16string_view part = rest.substr(0, end);
  rest.remove_prefix(end);
  return part;
}

// The root of a full name in the "\\?\" form ("\\?\X:" or "\\?\UNC\server\share") and
// what follows it; false when `name` is not full.
bool split_root(std::u16string_view name, std::u16string& root, std::u16string_view& rest) {
  if (has_verbatim_prefix(name)) {
    name.remove_prefix(4);
    if (starts_with_drive(name)) {
      root = u"\\\\?\\" + std::u16string(name.substr(0, 2));
      rest = name.substr(2);
      return true;
    }
    if (!starts_with_unc(name)) return false;
    name.remove_prefix(3);
  } else if (name.size() >= 2 && is_separator16(name[0]) && is_separator16(name[1])) {
    name.remove_prefix(2);
  } else if (starts_with_drive(name) && name.size() >= 3 && is_separator16(name[2])) {
    root = u"\\\\?\\" + std::u16string(name.substr(0, 2));
    rest = name.substr(2);
    return true;
  } else {
    return false;
  }
  // A share: its server and its name, both required.
  std::u16string_view server = next_component(name), share = next_component(name);
  if (server.empty() || share.empty()) return false;
  root = u"\\\\?\\UNC\\" + std::u16string(server) + u"\\" + std::u16string(share);
  rest = name;
  return true;
}

// Adds the components of `rest` to `parts`: "." adds nothing, ".." takes the last one
// away but never the root.
void add_components(std::u16string_view rest, std::vector<std::u16string_view>& parts) {
  while (!rest.empty()) {
    std::u16string_view part = next_component(rest);
    if (part.empty() || part == u".") continue;
    if (part == u"..") {
      if (!parts.empty()) parts.pop_back();
    } else {
      parts.push_back(part);
    }
  }
}

}  // namespace

bool needs_current_dir(std::u16string_view name) {
  std::u16string root;
  std::u16string_view rest;
  return !has_verbatim_prefix(name) && !split_root(name, root, rest);
}

std::u16string long_form(std::u16string_view name, std::u16string_view current_dir) {
  if (has_verbatim_prefix(name)) return std::u16string(name);
  std::u16string root;
  std::u16string_view rest;
  std::vector<std::u16string_view> parts;
  if (!split_root(name, root, rest)) {
    std::u16string_view current_rest;
    if (!split_root(current_dir, root, current_rest)) return {};
    // "X:name" on a drive other than the current one starts at that drive's root: the
    // current directory of every other drive is not kept.
    const bool other_drive = starts_with_drive(name) &&
                             !(root.size() == 6 && root[5] == u':' && ascii_upper(root[4]) == ascii_upper(name[0]));
    rest = starts_with_drive(name) ? name.substr(2) : name;
    if (other_drive)
      root = u"\\\\?\\" + std::u16string(name.substr(0, 2));
    else if (rest.empty() || !is_separator16(rest.front()))  // "\name" starts at the current root
      add_components(current_rest, parts);
  }
  add_components(rest, parts);
  std::u16string out = root;
  for (std::u16string_view part : parts) out.append(u"\\").append(part);
  // A root is named with its separator; a name that ends in one keeps it, as the
  // system's calls tell a folder's name from a file's by it.
  if (parts.empty() || (!name.empty() && is_separator16(name.back()))) out.push_back(u'\\');
  return out;
}

}  // namespace kelv::platform
