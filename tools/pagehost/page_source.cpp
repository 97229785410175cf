#include "page_source.h"

#include <cctype>
#include <cstdlib>
#include <string_view>

#include "http_head.h"

namespace pagehost {
namespace {

constexpr int kMaxIncludeDepth = 8;

std::string_view trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

int count_lines(std::string_view s) {
  int n = 0;
  for (char c : s) n += c == '\n';
  return n;
}

// A statement `Option Explicit` must come before every other statement of a VBScript
// program, but a page often has literal text (a line end after the directive) before its
// first block. The host moves it to the top, as a server page compiler does.
bool is_option_explicit(std::string_view line) {
  std::string l = lower(trim(line));
  if (l.rfind("option", 0) != 0) return false;
  std::string_view rest = trim(std::string_view(l).substr(6));
  if (rest.rfind("explicit", 0) != 0) return false;
  rest = trim(rest.substr(8));
  return rest.empty() || rest[0] == '\'';
}

class Translator {
 public:
  Translator(PageScript& out, const ReadPage& read) : m_out(out), m_read(read) {
    // Line 0 is kept for `Option Explicit`, wherever the page wrote it.
    m_out.code.assign(1, '\n');
    m_out.lines.push_back(SourceLine{"", 0});
  }

  void page(const std::string& path, std::string_view text, int depth) {
    int line = 1;
    size_t pos = 0;
    while (pos < text.size() && m_out.error.empty()) {
      size_t open = text.find("<%", pos);
      size_t inc = find_include(text, pos, open);
      if (inc != std::string_view::npos) {
        literal(path, text.substr(pos, inc - pos), line);
        line += count_lines(text.substr(pos, inc - pos));
        size_t end = text.find("-->", inc);
        include(path, text.substr(inc, end + 3 - inc), line, depth);
        line += count_lines(text.substr(inc, end + 3 - inc));
        pos = end + 3;
        continue;
      }
      if (open == std::string_view::npos) {
        literal(path, text.substr(pos), line);
        break;
      }
      literal(path, text.substr(pos, open - pos), line);
      line += count_lines(text.substr(pos, open - pos));
      size_t close = text.find("%>", open + 2);
      if (close == std::string_view::npos) {
        m_out.error = path + ", line " + std::to_string(line) + ": a script block is not closed with %>";
        return;
      }
      std::string_view body = text.substr(open + 2, close - open - 2);
      if (!body.empty() && body[0] == '@')
        directive(body.substr(1));
      else if (!body.empty() && body[0] == '=')
        expression(path, body.substr(1), line);
      else
        code(path, body, line);
      line += count_lines(body);
      pos = close + 2;
    }
  }

 private:
  // The next `<!-- #include ... -->` before `limit`, if any.
  static size_t find_include(std::string_view text, size_t from, size_t limit) {
    size_t at = from;
    for (;;) {
      at = text.find("<!--", at);
      if (at == std::string_view::npos || at >= limit) return std::string_view::npos;
      std::string_view rest = trim(text.substr(at + 4, 32));
      if (rest.size() >= 8 && lower(rest.substr(0, 8)) == "#include" && text.find("-->", at) != std::string_view::npos)
        return at;
      at += 4;
    }
  }

  void literal(const std::string& path, std::string_view text, int line) {
    if (text.empty()) return;
    m_out.blocks.emplace_back(text);
    emit("Response.WriteBlock " + std::to_string(m_out.blocks.size() - 1), path, line);
  }

  // The value of one attribute of the directive, quoted or not; empty when it is absent.
  static std::string_view attribute(std::string_view body, const char* name) {
    std::string l = lower(body);
    size_t at = l.find(name);
    if (at == std::string::npos) return {};
    size_t eq = l.find('=', at);
    if (eq == std::string::npos) return {};
    std::string_view v = trim(body.substr(eq + 1));
    if (!v.empty() && v[0] == '"') {
      size_t end = v.find('"', 1);
      return v.substr(1, end == std::string_view::npos ? std::string_view::npos : end - 1);
    }
    return v.substr(0, v.find_first_of(" \t\r\n"));
  }

  void directive(std::string_view body) {
    std::string_view language = attribute(body, "language");
    if (!language.empty()) m_out.language.assign(language);
    std::string_view page = attribute(body, "codepage");
    if (!page.empty()) m_out.code_page = static_cast<unsigned>(std::strtoul(std::string(page).c_str(), nullptr, 10));
  }

  void expression(const std::string& path, std::string_view expr, int line) {
    // One statement on one line; the expression's own line ends become spaces.
    std::string e(trim(expr));
    for (char& c : e)
      if (c == '\r' || c == '\n') c = ' ';
    emit("Response.Write(" + e + ")", path, line);
    // Keep the code in step with the page when the expression spanned lines.
    for (int k = count_lines(expr); k > 0; --k) emit("", path, line);
  }

  void code(const std::string& path, std::string_view body, int line) {
    size_t start = 0;
    for (;;) {
      size_t lf = body.find('\n', start);
      std::string_view one = body.substr(start, lf == std::string_view::npos ? std::string_view::npos : lf - start);
      if (!one.empty() && one.back() == '\r') one.remove_suffix(1);
      if (is_option_explicit(one)) {
        if (!m_explicit) m_out.code.replace(0, 1, "Option Explicit\n");
        m_explicit = true;
        m_out.lines[0] = SourceLine{path, line};
        emit("", path, line);
      } else {
        emit(one, path, line);
      }
      if (lf == std::string_view::npos) break;
      start = lf + 1;
      ++line;
    }
  }

  void include(const std::string& from, std::string_view comment, int line, int depth) {
    std::string_view body = trim(comment.substr(4, comment.size() - 7));
    body = trim(body.substr(8));  // past "#include"
    std::string l = lower(body);
    bool is_virtual = l.rfind("virtual", 0) == 0;
    if (!is_virtual && l.rfind("file", 0) != 0) return fail(from, line, "an include names neither file nor virtual");
    size_t q1 = body.find('"'), q2 = q1 == std::string_view::npos ? q1 : body.find('"', q1 + 1);
    if (q2 == std::string_view::npos) return fail(from, line, "an include has no quoted name");
    std::string target = include_path(from, std::string(body.substr(q1 + 1, q2 - q1 - 1)), is_virtual);
    if (target.empty()) return fail(from, line, "an include leaves the page folder");
    if (depth >= kMaxIncludeDepth) return fail(from, line, "includes are nested too deeply");
    std::string text;
    if (!m_read(target, text)) return fail(from, line, "the include file " + target + " can't be read");
    page(target, text, depth + 1);
  }

  void fail(const std::string& path, int line, const std::string& what) {
    if (m_out.error.empty()) m_out.error = path + ", line " + std::to_string(line) + ": " + what;
  }

  void emit(std::string_view text, const std::string& path, int line) {
    m_out.code.append(text);
    m_out.code += '\n';
    m_out.lines.push_back(SourceLine{path, line});
  }

  PageScript& m_out;
  const ReadPage& m_read;
  bool m_explicit = false;
};

}  // namespace

SourceLine PageScript::source_of(size_t code_line) const {
  return code_line < lines.size() ? lines[code_line] : SourceLine{};
}

bool resolve_page_path(const std::string& from_page, const std::string& name, bool from_root, std::string& out) {
  std::string joined = from_root ? "/" + name : from_page.substr(0, from_page.rfind('/') + 1) + name;
  for (char& c : joined)
    if (c == '\\') c = '/';
  // Resolve "." and ".." without ever climbing above the root.
  std::vector<std::string> segs;
  size_t start = 0;
  while (start <= joined.size()) {
    size_t slash = joined.find('/', start);
    std::string seg = joined.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    if (seg == "..") {
      if (segs.empty()) return false;
      segs.pop_back();
    } else if (!seg.empty() && seg != ".") {
      segs.push_back(seg);
    }
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  out.clear();
  for (const std::string& seg : segs) out += "/" + seg;
  if (out.empty()) out.assign(1, '/');
  return is_safe_path(out);
}

std::string include_path(const std::string& from_page, const std::string& name, bool is_virtual) {
  std::string out;
  if (name.empty() || (!is_virtual && (name[0] == '/' || name[0] == '\\'))) return {};
  if (!resolve_page_path(from_page, name, is_virtual, out) || out == "/") return {};
  return out;
}

PageScript translate_page(const std::string& path, const std::string& text, const ReadPage& read) {
  PageScript out;
  Translator t(out, read);
  t.page(path, text, 0);
  return out;
}

}  // namespace pagehost
