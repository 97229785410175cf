#include "http_head.h"

#include <cctype>

namespace pagehost {
namespace {

bool is_token_char(unsigned char c) {
  if (c <= 32 || c >= 127) return false;
  switch (c) {
    case '(':
    case ')':
    case '<':
    case '>':
    case '@':
    case ',':
    case ';':
    case ':':
    case '\\':
    case '"':
    case '/':
    case '[':
    case ']':
    case '?':
    case '=':
    case '{':
    case '}': return false;
    default: return true;
  }
}

bool is_token(std::string_view s) {
  if (s.empty()) return false;
  for (unsigned char c : s)
    if (!is_token_char(c)) return false;
  return true;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// Does a comma-separated header value list hold this token?
bool has_token(std::string_view list, std::string_view token) {
  while (!list.empty()) {
    size_t comma = list.find(',');
    if (iequals(trim(list.substr(0, comma)), token)) return true;
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return false;
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool iequals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

std::string RequestHead::header(std::string_view name) const {
  std::string out;
  bool first = true;
  for (const Header& h : headers) {
    if (!iequals(h.name, name)) continue;
    if (!first) out += ", ";
    out += h.value;
    first = false;
  }
  return out;
}

bool RequestHead::has_header(std::string_view name) const {
  for (const Header& h : headers)
    if (iequals(h.name, name)) return true;
  return false;
}

size_t find_head_end(std::string_view data) {
  for (size_t i = 0; i < data.size(); ++i) {
    if (data[i] != '\n') continue;
    // A line end is LF with an optional CR before it; the head ends at an empty line.
    size_t next = i + 1;
    if (next < data.size() && data[next] == '\n') return next + 1;
    if (next + 1 < data.size() && data[next] == '\r' && data[next + 1] == '\n') return next + 2;
  }
  return 0;
}

int parse_head(std::string_view head, RequestHead& out) {
  out = RequestHead{};
  std::vector<std::string_view> lines;
  while (!head.empty()) {
    size_t lf = head.find('\n');
    std::string_view line = head.substr(0, lf);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (lf == std::string_view::npos) break;
    head.remove_prefix(lf + 1);
  }
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  if (lines.empty()) return 400;

  // The request line: method, target and version, separated by single spaces.
  std::string_view rl = lines[0];
  size_t sp1 = rl.find(' ');
  size_t sp2 = sp1 == std::string_view::npos ? sp1 : rl.find(' ', sp1 + 1);
  if (sp2 == std::string_view::npos || rl.find(' ', sp2 + 1) != std::string_view::npos) return 400;
  std::string_view method = rl.substr(0, sp1), target = rl.substr(sp1 + 1, sp2 - sp1 - 1), version = rl.substr(sp2 + 1);
  if (!is_token(method)) return 400;
  if (version.substr(0, 5) != "HTTP/") return 400;
  if (version != "HTTP/1.1" && version != "HTTP/1.0") return 505;
  if (target.empty() || target[0] != '/') return 400;
  for (unsigned char c : target)
    if (c <= 32 || c == 127) return 400;
  out.method.assign(method);
  out.version.assign(version);
  out.target.assign(target);
  size_t q = target.find('?');
  if (q != std::string_view::npos) out.query.assign(target.substr(q + 1));
  if (!url_decode(target.substr(0, q), false, out.path)) return 400;

  for (size_t i = 1; i < lines.size(); ++i) {
    std::string_view line = lines[i];
    // A folded continuation line is obsolete and a way to smuggle headers: refused.
    if (line.empty() || line[0] == ' ' || line[0] == '\t') return 400;
    size_t colon = line.find(':');
    if (colon == std::string_view::npos || !is_token(line.substr(0, colon))) return 400;
    std::string_view value = trim(line.substr(colon + 1));
    for (unsigned char c : value)
      if ((c < 32 && c != '\t') || c == 127) return 400;
    out.headers.push_back(Header{std::string(line.substr(0, colon)), std::string(value)});
  }

  // The body length: one Content-Length, digits only, every copy the same.
  bool have_length = false;
  for (const Header& h : out.headers) {
    if (!iequals(h.name, "Content-Length")) continue;
    if (h.value.empty() || h.value.size() > 15) return 400;
    int64_t n = 0;
    for (char c : h.value) {
      if (c < '0' || c > '9') return 400;
      n = n * 10 + (c - '0');
    }
    if (have_length && n != out.content_length) return 400;
    out.content_length = n;
    have_length = true;
  }
  // Bodies with a transfer coding are not read by this host; browsers send forms with
  // a length.
  if (out.has_header("Transfer-Encoding")) return 501;
  if (!have_length && (out.method == "POST" || out.method == "PUT")) return 411;

  std::string connection = out.header("Connection");
  out.keep_alive = out.version == "HTTP/1.1" ? !has_token(connection, "close") : has_token(connection, "keep-alive");
  out.expect_continue = out.version == "HTTP/1.1" && iequals(out.header("Expect"), "100-continue");
  return 0;
}

bool url_decode(std::string_view in, bool plus_is_space, std::string& out) {
  out.clear();
  out.reserve(in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    char c = in[i];
    if (c == '%') {
      if (i + 2 >= in.size()) return false;
      int hi = hex_digit(in[i + 1]), lo = hex_digit(in[i + 2]);
      if (hi < 0 || lo < 0) return false;
      c = static_cast<char>(hi * 16 + lo);
      if (c == '\0') return false;
      i += 2;
    } else if (c == '+' && plus_is_space) {
      c = ' ';
    }
    out += c;
  }
  return true;
}

bool is_safe_path(std::string_view path) {
  if (path.empty() || path[0] != '/') return false;
  for (unsigned char c : path)
    if (c < 32 || c == 127 || c == '\\' || c == ':') return false;
  size_t start = 1;
  while (start <= path.size()) {
    size_t slash = path.find('/', start);
    std::string_view seg = path.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
    if (seg == "." || seg == "..") return false;
    if (slash == std::string_view::npos) break;
    start = slash + 1;
  }
  return true;
}

std::string query_value(std::string_view query, std::string_view name) {
  std::string out;
  bool first = true;
  while (!query.empty()) {
    size_t amp = query.find('&');
    std::string_view field = query.substr(0, amp);
    size_t eq = field.find('=');
    std::string key, value;
    if (url_decode(field.substr(0, eq), true, key) && iequals(key, name)) {
      if (eq != std::string_view::npos && !url_decode(field.substr(eq + 1), true, value)) value.clear();
      if (!first) out += ", ";
      out += value;
      first = false;
    }
    if (amp == std::string_view::npos) break;
    query.remove_prefix(amp + 1);
  }
  return out;
}

std::string html_escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

const char* status_text(int code) {
  switch (code) {
    case 100: return "Continue";
    case 200: return "OK";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 411: return "Length Required";
    case 413: return "Content Too Large";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 503: return "Service Unavailable";
    case 505: return "HTTP Version Not Supported";
    default: return "Unknown";
  }
}

}  // namespace pagehost
