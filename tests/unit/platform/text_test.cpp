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
