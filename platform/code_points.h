// Unicode text as the core holds it: UTF-8, where a UTF-16 surrogate that has no partner
// is kept in the generalized three-byte form (ED A0..BF xx), so that any script string
// survives the trip. These read it back as code points and as UTF-16, for the calls that
// take those (text drawing with FreeType and with the wide GDI calls).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kelv::platform {

// The code points of `utf8`. A surrogate in the three-byte form stays a surrogate code
// point, and a high one followed by a low one joins it into one character; every byte
// that starts no valid sequence (a stray continuation byte, a truncated or overlong
// sequence, a value above U+10FFFF) becomes U+FFFD on its own.
std::u32string code_points(std::string_view utf8);

// The UTF-16 form of `utf8`, read as `code_points` reads it: a lone surrogate becomes
// that unit again.
std::u16string utf16_of_code_points(std::string_view utf8);

// The length in bytes of the longest start of `utf8` that fits in `units` UTF-16 units
// without splitting a character: a pair of surrogates is kept whole or left out.
size_t utf8_prefix_for_utf16_units(std::string_view utf8, size_t units);

}  // namespace kelv::platform
