#include "formdata/ext_value.h"

#include <cstdlib>

namespace kelv {
namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

bool is_space(char c) { return c == ' ' || c == '\t'; }

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = lower(c);
  return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

std::optional<uint32_t> charset_page(std::string_view charset) {
  if (same_name(charset, "utf-8")) return 65001u;
  if (same_name(charset, "iso-8859-1")) return 28591u;
  constexpr std::string_view kWindows = "windows-";
  if (charset.size() > kWindows.size() && same_name(charset.substr(0, kWindows.size()), kWindows)) {
    std::string digits(charset.substr(kWindows.size()));
    char* end = nullptr;
    unsigned long page = std::strtoul(digits.c_str(), &end, 10);
    if (end && *end == '\0' && page > 0 && page < 65536) return static_cast<uint32_t>(page);
  }
  return std::nullopt;
}

// charset'language'value with the value's escapes undone.
std::optional<ExtValue> parse(std::string_view v) {
  if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);  // some clients quote it
  size_t q1 = v.find('\'');
  size_t q2 = q1 == std::string_view::npos ? q1 : v.find('\'', q1 + 1);
  if (q2 == std::string_view::npos) return std::nullopt;
  std::optional<uint32_t> page = charset_page(v.substr(0, q1));
  if (!page) return std::nullopt;
  ExtValue out{{}, *page};
  for (size_t i = q2 + 1; i < v.size(); ++i) {
    if (v[i] != '%') {
      out.bytes.push_back(v[i]);
      continue;
    }
    int hi = i + 2 < v.size() ? hex_value(v[i + 1]) : -1, lo = hi >= 0 ? hex_value(v[i + 2]) : -1;
    if (lo < 0) return std::nullopt;
    out.bytes.push_back(static_cast<char>(hi * 16 + lo));
    i += 2;
  }
  return out;
}

}  // namespace

std::optional<ExtValue> extended_parameter(std::string_view line, std::string_view name) {
  // Parameters follow ";"; a ";" inside a quoted string is part of its value.
  std::string_view rest = line;
  bool quoted = false;
  size_t begin = std::string_view::npos;
  for (size_t i = 0; i <= rest.size(); ++i) {
    const bool end = i == rest.size();
    if (!end && rest[i] == '"') quoted = !quoted;
    if (!end && (quoted || rest[i] != ';')) continue;
    if (begin != std::string_view::npos) {
      std::string_view param = rest.substr(begin, i - begin);
      size_t eq = param.find('=');
      std::string_view key = param.substr(0, eq);
      while (!key.empty() && is_space(key.front())) key.remove_prefix(1);
      while (!key.empty() && is_space(key.back())) key.remove_suffix(1);
      if (eq != std::string_view::npos && key.size() == name.size() + 1 && key.back() == '*' &&
          same_name(key.substr(0, name.size()), name)) {
        std::string_view value = param.substr(eq + 1);
        while (!value.empty() && is_space(value.front())) value.remove_prefix(1);
        while (!value.empty() && is_space(value.back())) value.remove_suffix(1);
        return parse(value);
      }
    }
    begin = i + 1;
  }
  return std::nullopt;
}

}  // namespace kelv
