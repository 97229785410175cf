// Parameters of a part's disposition line in the extended form some clients send beside
// the plain one: `filename*=UTF-8''%E5%86%99%E7%9C%9F.jpg` (a charset, a language that
// may be empty, then the value's bytes with percent escapes).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kelv {

struct ExtValue {
  std::string bytes;   // the value's bytes, escapes undone
  uint32_t code_page;  // the code page of the charset that names them
};

// The extended parameter `name*` of a header line, matched as a parameter of its own
// (after a ";" and optional white space, its name in any case). None when the line has
// none, or its charset is not one the component reads (UTF-8, ISO-8859-1, windows-NNNN),
// or an escape is broken.
std::optional<ExtValue> extended_parameter(std::string_view line, std::string_view name);

}  // namespace kelv
