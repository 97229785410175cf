// The one check every name passes before a file call, and the full form Windows is
// handed: string code, tested here though only Windows uses the full form.
#include <gtest/gtest.h>

#include "platform/platform.h"

namespace kelv {
namespace {

TEST(NameCheck, RefusesNamesTheFileSystemWouldStoreAsAnother) {
  const char* refused[] = {
      "c:\\up\\shell.asp.",
      "c:\\up\\shell.asp ",
      "c:\\up\\shell.asp. .",
      "c:\\up.\\x.jpg",
      "c:\\up \\x.jpg",
      "c:\\up\\...",
      "c:\\up\\shell.asp::$DATA",
      "c:\\up\\x.asp:y.jpg",
      "ab:y",
      "c:\\up\\c:\\x",
      "c:\\up\\NUL",
      "c:\\up\\aux.txt",
      "c:\\up\\com1.txt",
      "c:\\up\\Lpt9",
      "c:\\up\\con .txt",
      "c:\\up\\CONOUT$",
      "c:\\up\\COM\xC2\xB9",
      "c:\\up\\lpt\xC2\xB3.x",
      "/tmp/con",
      "c:\\up\\nul\\x.jpg",
      "\\\\.\\c:\\x",
      "//./c:/x",
      "//?/c:/x",
      "\\\\?\\pipe\\x",
      "\\\\?\\c:",
      "\\\\?\\GLOBALROOT\\x",
      "\\\\?\\c:\\x.asp.",
      "\\\\?\\UNC\\srv\\share\\aux",
      "",
      "*.",
      "c:\\up\\shell.as>",
      "c:\\up\\shell.as<",
      "c:\\up\\shell\"asp",
      "c:\\up<\\x.jpg",
  };
  for (const char* name : refused) EXPECT_FALSE(platform::is_usable_name(name)) << name;
  EXPECT_FALSE(platform::is_usable_name(std::string_view("ab.jpg\0.txt", 11)));
}

TEST(NameCheck, TakesNamesThatOnlyLookClose) {
  const char* taken[] = {
      "c:\\up\\a.b.c.jpg",
      "c:\\up\\console.jpg",
      "c:\\up\\com10.txt",
      "c:\\up\\.hidden",
      "c:\\up\\lpt.txt",
      "c:\\up\\comx",
      "c:\\up\\..\\x.jpg",
      ".\\x",
      "c:x.jpg",
      "/tmp/a b/c",
      "c:\\up\\",
      "c:\\up\\x\xEF\xBC\x8E",  // fullwidth dot
      "\\\\srv\\share\\x",
      "\\\\?\\c:\\x.jpg",
      "\\\\?\\UNC\\srv\\share\\x",
      "c:\\up\\*.jpg",
      "c:\\up\\a?c.*",
  };
  for (const char* name : taken) EXPECT_TRUE(platform::is_usable_name(name)) << name;
}

TEST(LongForm, MakesTheFullNameInTheVerbatimForm) {
  const struct {
    const char16_t* name;
    const char16_t* current;
    const char16_t* full;
  } rows[] = {
      {u"C:\\a\\b.jpg", u"", u"\\\\?\\C:\\a\\b.jpg"},
      {u"c:/a//b/./c.jpg", u"", u"\\\\?\\c:\\a\\b\\c.jpg"},
      {u"C:\\a\\..\\..\\..\\b", u"", u"\\\\?\\C:\\b"},
      {u"C:\\", u"", u"\\\\?\\C:\\"},
      {u"C:\\a\\", u"", u"\\\\?\\C:\\a\\"},
      {u"b\\c.jpg", u"D:\\work\\x", u"\\\\?\\D:\\work\\x\\b\\c.jpg"},
      {u"..\\c.jpg", u"D:\\work\\x", u"\\\\?\\D:\\work\\c.jpg"},
      {u"\\c.jpg", u"D:\\work\\x", u"\\\\?\\D:\\c.jpg"},
      {u"d:c.jpg", u"D:\\work", u"\\\\?\\D:\\work\\c.jpg"},
      {u"e:c.jpg", u"D:\\work", u"\\\\?\\e:\\c.jpg"},
      {u"\\\\srv\\share\\a\\..\\..\\b", u"", u"\\\\?\\UNC\\srv\\share\\b"},
      {u"\\c.jpg", u"\\\\srv\\share\\x", u"\\\\?\\UNC\\srv\\share\\c.jpg"},
      {u"\\\\?\\C:\\a\\..\\b", u"", u"\\\\?\\C:\\a\\..\\b"},  // the script's own form stays
      {u"x", u"\\\\?\\C:\\long", u"\\\\?\\C:\\long\\x"},
      {u"\\\\srv", u"", u""},  // a share needs its name
      {u"x", u"", u""},        // a relative name needs the current folder
  };
  for (const auto& r : rows) {
    EXPECT_EQ(platform::long_form(r.name, r.current), std::u16string(r.full))
        << platform::utf8_from_utf16(r.name) << " from " << platform::utf8_from_utf16(r.current);
  }
  EXPECT_FALSE(platform::needs_current_dir(u"C:\\x"));
  EXPECT_FALSE(platform::needs_current_dir(u"\\\\srv\\share"));
  EXPECT_TRUE(platform::needs_current_dir(u"C:x"));
  EXPECT_TRUE(platform::needs_current_dir(u"\\x"));
}

TEST(LongForm, KeepsEveryUnitOfALongName) {
  // 400 units past the root, in CJK and with a lone surrogate: nothing cut or changed.
  std::u16string name = u"C:\\";
  for (int k = 0; k < 40; ++k) name += u"\u5199\u771F\u5199\u771F\u5199\u771F\u5199\u771F\u5199\\";
  name.push_back(char16_t(0xD800));
  EXPECT_EQ(platform::long_form(name, u""), u"\\\\?\\" + name);
}

}  // namespace
}  // namespace kelv
