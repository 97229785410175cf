// The request head of HTTP/1.x as the page host reads it: the request line, the header
// lines, and what follows from them (body length, keep-alive, the page asked for). Plain
// C++, so that the parser is tested natively; the sockets live in the Windows program.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pagehost {

// The largest request head the host reads; a longer one is answered with 431.
constexpr size_t kMaxHeadBytes = 64 * 1024;

struct Header {
  std::string name;
  std::string value;
};

struct RequestHead {
  std::string method;
  std::string target;   // as sent
  std::string path;     // the target's path, percent-decoded
  std::string query;    // what follows '?', as sent
  std::string version;  // "HTTP/1.0" or "HTTP/1.1"
  std::vector<Header> headers;
  int64_t content_length = 0;  // 0 when the request has no body
  bool keep_alive = false;
  bool expect_continue = false;

  // The value of a header, matched without regard to case; several lines of the same
  // name are joined with ", ". Empty when absent.
  std::string header(std::string_view name) const;
  bool has_header(std::string_view name) const;
};

// Where the head ends in what has arrived: the length of the head including its empty
// closing line (CR LF CR LF, or bare LF LF), or 0 while it is incomplete.
size_t find_head_end(std::string_view data);

// Parses a complete head. Returns 0, or the HTTP status the request must be answered
// with: 400 for anything malformed, 411 for a body without a length, 501 for a
// transfer coding, 505 for another HTTP version.
int parse_head(std::string_view head, RequestHead& out);

// Percent-decoding; false for a broken escape or a decoded NUL.
bool url_decode(std::string_view in, bool plus_is_space, std::string& out);

// A decoded page path that stays inside the page folder: it starts with "/", holds no
// "." or ".." segment, no backslash, colon or control byte.
bool is_safe_path(std::string_view path);

// The value of a query-string field, decoded; several fields of the same name are joined
// with ", ". Empty when absent.
std::string query_value(std::string_view query, std::string_view name);

// HTML-escaping of text for an error page.
std::string html_escape(std::string_view text);

const char* status_text(int code);

bool iequals(std::string_view a, std::string_view b);

}  // namespace pagehost
