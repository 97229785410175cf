// A server page turned into one script for the engine: the literal text between the
// script blocks becomes numbered blocks written byte for byte (`Response.WriteBlock n`),
// `<% code %>` is copied line for line, `<%= expr %>` becomes `Response.Write(expr)`,
// the `<%@ ... %>` directive names the language and the page's code page, and `<!-- #include file|virtual -->`
// in the literal text brings another file in. Plain C++, tested natively.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace pagehost {

struct SourceLine {
  std::string file;  // the page path of the file ("/upload.asp")
  int line = 0;      // 1-based
};

struct PageScript {
  std::string code;                 // the script text, in the page's own bytes
  std::vector<std::string> blocks;  // literal text, by block number
  std::vector<SourceLine> lines;    // where each line of `code` came from (0-based index)
  std::string language = "VBScript";
  // The code page of the page's script text and of what Response.Write sends: 0, the
  // system's ANSI code page, unless the directive names one (`CodePage=65001`).
  unsigned code_page = 0;
  std::string error;  // why the page could not be made into a script; empty if it could

  SourceLine source_of(size_t code_line) const;
};

// Reads an included file by its page path ("/inc/frame.inc"); false if there is none.
using ReadPage = std::function<bool(const std::string& page_path, std::string& text)>;

// Translates the page at `path` (a page path from the folder's root) with text `text`.
PageScript translate_page(const std::string& path, const std::string& text, const ReadPage& read);

// The page path an include names: `file=` is relative to the including page's folder,
// `virtual=` to the root. Empty when it would leave the root.
std::string include_path(const std::string& from_page, const std::string& name, bool is_virtual);

// Joins `name` to the folder of `from_page` (or to the root when `from_root`) and resolves
// "." and ".." segments: "/" for the root itself. False when the path would leave the
// root or holds what a page path may not.
bool resolve_page_path(const std::string& from_page, const std::string& name, bool from_root, std::string& out);

}  // namespace pagehost
