// UTF-8 read as code points and as UTF-16: valid text, lone surrogates in their
// three-byte form, and malformed bytes.
#include <gtest/gtest.h>

#include "platform/code_points.h"

namespace kelv {
namespace {

TEST(CodePoints, DecodesTextSurrogatesAndMalformedBytes) {
  struct Case {
    std::string utf8;
    std::u32string cps;
    std::u16string utf16;
  };
  const Case cases[] = {
      {"aЖ中😀", U"aЖ中😀", u"aЖ中😀"},
      {"\xED\xA0\xBD", U"\xD83D", u"\xD83D"},    // a lone high surrogate
      {"\xED\xA0\xBD\xED\xB8\x80", U"😀", u"😀"},  // two halves make a pair
      {"\xFF"
       "a\x80",
       U"\xFFFD"
       "a\xFFFD",
       u"\xFFFD"
       "a\xFFFD"},                                                                     // bytes that start nothing
      {"\xC0\xAF", U"\xFFFD\xFFFD", u"\xFFFD\xFFFD"},                                  // overlong '/'
      {"\xF4\x90\x80\x80", U"\xFFFD\xFFFD\xFFFD\xFFFD", u"\xFFFD\xFFFD\xFFFD\xFFFD"},  // above U+10FFFF
      {"\xE4\xB8", U"\xFFFD\xFFFD", u"\xFFFD\xFFFD"},                                  // cut short
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::code_points(c.utf8), c.cps) << c.utf8;
    EXPECT_EQ(platform::utf16_of_code_points(c.utf8), c.utf16) << c.utf8;
  }
}

TEST(CodePoints, PrefixNeverSplitsACharacter) {
  struct Case {
    std::string utf8;
    size_t units, bytes;
  };
  const Case cases[] = {
      {"ab😀", 3, 2}, {"ab😀", 4, 6}, {"Жx", 1, 2}, {"\xED\xA0\xBD\xED\xB8\x80", 1, 0}, {"a\xFF", 2, 2}, {"abc", 10, 3},
  };
  for (const Case& c : cases) EXPECT_EQ(platform::utf8_prefix_for_utf16_units(c.utf8, c.units), c.bytes) << c.utf8;
}

}  // namespace
}  // namespace kelv
