#include <gtest/gtest.h>

#include "platform/platform.h"

namespace kelv::platform {
namespace {

TEST(BoundaryText, StopsAtTheFirstNulBothWays) {
  std::u16string w = u"ab";
  w.push_back(u'\0');
  w += u"cd";
  EXPECT_EQ(to_narrow(w), "ab");
  EXPECT_EQ(to_wide(std::string("xy\0z", 4)), u"xy");
  EXPECT_EQ(to_narrow(u""), "");
  EXPECT_EQ(to_wide(""), u"");
}

TEST(BoundaryText, RoundTripsEveryPlaneOfUnicode) {
  std::u16string w = u"Gr\u00FC\u00DFe \u20AC \u6F22 \U0001F600";
  std::string n = to_narrow(w);
  EXPECT_EQ(n,
            "Gr\xC3\xBC\xC3\x9F"
            "e \xE2\x82\xAC \xE6\xBC\xA2 \xF0\x9F\x98\x80");
  EXPECT_EQ(to_wide(n), w);
}

TEST(BoundaryText, UnrepresentableCharactersBecomeTheDefaultCharacter) {
  // A lone surrogate has no 8-bit form: it becomes '?', and converting back does not
  // restore it.
  std::u16string w = u"a";
  w.push_back(static_cast<char16_t>(0xD800));
  w += u"b";
  EXPECT_EQ(to_narrow(w), "a?b");
  EXPECT_EQ(to_wide(to_narrow(w)), u"a?b");
}

TEST(BoundaryText, MalformedBytesBecomeReplacementCharacters) {
  EXPECT_EQ(to_wide("a\xFF"
                    "b"),
            u"a\uFFFDb");
  EXPECT_EQ(to_wide("\xE2\x82"), u"\uFFFD\uFFFD");  // cut-off sequence
  EXPECT_EQ(to_wide("\xC0\x80"), u"\uFFFD\uFFFD");  // overlong encoding
}

}  // namespace
}  // namespace kelv::platform

namespace kelv::platform {
namespace {

// Names keep every UTF-16 unit, a surrogate standing alone included; Replace is the
// code page's view of the same string.
TEST(UnicodeText, LoneSurrogatesKeepTheirUnitAsNamesAndAreReplacedAsText) {
  const std::u16string lone[] = {std::u16string(1, char16_t(0xD83D)), std::u16string(u"a") + char16_t(0xDC00) + u"b",
                                 std::u16string(1, char16_t(0xDBFF)) + char16_t(0xDBFF)};
  for (const std::u16string& w : lone) {
    EXPECT_EQ(utf16_from_utf8(utf8_from_utf16(w)), w);
    EXPECT_EQ(utf8_from_utf16(w, Surrogates::Replace).find('\xED'), std::string::npos);
  }
  EXPECT_EQ(utf16_from_utf8("\xED\xA0\x80", Surrogates::Replace), u"\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(utf8_from_utf16(std::u16string(u"a\0b", 3)), std::string("a\0b", 3));  // a NUL is kept
}

TEST(UnicodeText, CodePagesBothWays) {
  const struct {
    uint32_t page;
    std::string text, bytes;
  } rows[] = {
      {1252, "\xC3\xA9\xE2\x82\xAC", "\xE9\x80"}, {1251, "\xD0\xA4\xD0\xBE", "\xD4\xEE"}, {28591, "\xC3\xBF", "\xFF"},
      {65001, "\xE5\x86\x99", "\xE5\x86\x99"},    {932, "\xE5\x86\x99", "\x8E\xCA"},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(text_to_bytes(r.text, r.page), r.bytes) << r.page;
    EXPECT_EQ(bytes_to_text(r.bytes, r.page), r.text) << r.page;
  }
  // What a page lacks becomes its default character; bytes it lacks become U+FFFD.
  EXPECT_EQ(text_to_bytes("a\xE5\x86\x99"
                          "b",
                          1252),
            "a?b");
  EXPECT_EQ(bytes_to_text("a\xFF"
                          "b",
                          65001),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(bytes_to_text("\x81", 932), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace kelv::platform
