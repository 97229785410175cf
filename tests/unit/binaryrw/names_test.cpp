// File names as a script gives them, through the dispatcher: every UTF-16 unit reaches
// the file system, a NUL makes a name that no call takes, "?" stands for one character
// of any script, and case changes follow Unicode.
#include <filesystem>
#include <fstream>

#include "platform/platform.h"
#include "server/native/client.h"
#include "unit/binaryrw/fixture.h"

namespace kelv {
namespace {

using native::Object;
using native::Variant;

void touch(const std::filesystem::path& p) { std::ofstream(p) << "x"; }

class NamesByName : public test::RegisteredModule {
 protected:
  void SetUp() override {
    RegisteredModule::SetUp();
    m_dir = test::make_temp_dir("names");
    bin = Object::create("Kelvarin.BinaryRW");
  }
  void TearDown() override {
    bin = Object();
    std::filesystem::remove_all(m_dir);
    RegisteredModule::TearDown();
  }
  // The folder's path in UTF-16, followed by `name`.
  std::u16string in_dir(const std::u16string& name) const {
    return platform::utf16_from_utf8(m_dir.string() + "/") + name;
  }
  int32_t call(const char* member, std::u16string a) { return bin.call_i4(member, {Variant::str(std::move(a))}); }
  std::filesystem::path m_dir;
  Object bin;
};

TEST_F(NamesByName, ANameWithANulNamesNoFile) {
  touch(m_dir / "ab.jpg");
  const std::u16string nul = in_dir(std::u16string(u"ab.jpg\0.txt", 11));
  EXPECT_EQ(call("FExists", nul), 0);
  EXPECT_EQ(call("FOpenWrite", nul), 0);
  EXPECT_EQ(call("FileDelete", nul), 0);
  EXPECT_EQ(call("DirMake", in_dir(std::u16string(u"d\0x", 3))), 0);
  // The name-splitting members take text, used up to its first NUL.
  EXPECT_EQ(bin.call_text("ExtractFileExt", {Variant::str(nul)}), "jpg");
  EXPECT_TRUE(std::filesystem::exists(m_dir / "ab.jpg"));
  EXPECT_FALSE(std::filesystem::exists(m_dir / "d"));
}

TEST_F(NamesByName, EveryUnitReachesTheFileSystemAndComesBack) {
  std::u16string lone = u"x";
  lone.push_back(char16_t(0xD800));  // a surrogate alone, which Windows names may hold
  for (const std::u16string& name :
       {std::u16string(u"\u5199\u771F \U0001F4F7.txt"), std::u16string(u"\uFF0E\uFF0E\uFF3C"), lone}) {
    const std::u16string path = in_dir(name);
    ASSERT_EQ(call("FOpenWrite", path), 1);
    bin.call("FClose");
    EXPECT_EQ(call("FExists", path), 1);
    const Variant back = bin.call("ExtractFileName", {Variant::str(path)});
    EXPECT_EQ(back.s, name);
    EXPECT_EQ(call("FileDelete", path), 1);
  }
  const std::u16string made = bin.call("CreateTMPFile", {Variant::str(in_dir(u"\u0424\u043E\u0442\u043E"))}).s;
  EXPECT_EQ(made, u"");  // no such folder
  ASSERT_EQ(call("DirMake", in_dir(u"\u0424\u043E\u0442\u043E")), 1);
  EXPECT_EQ(bin.call("CreateTMPFile", {Variant::str(in_dir(u"\u0424\u043E\u0442\u043E"))})
                .s.rfind(in_dir(u"\u0424\u043E\u0442\u043E/"), 0),
            0u);
}

TEST_F(NamesByName, AQuestionMarkIsOneCharacterOfAnyScript) {
  touch(m_dir / "\xE5\x86\x99.jpg");
  touch(m_dir / "ab.jpg");
  EXPECT_EQ(call("FExists", in_dir(u"?.jpg")), 1);
  EXPECT_EQ(call("FExists", in_dir(u"??.jpg")), 1);  // ab.jpg
  EXPECT_EQ(call("FExists", in_dir(u"\u771F.jpg")), 0);
  EXPECT_EQ(call("FileSize", in_dir(u"???.jpg")), -1);
}

TEST_F(NamesByName, CaseFollowsUnicode) {
  const struct {
    const char16_t* in;
    int32_t mode;
    const char16_t* out;
  } rows[] = {{u"C:\\\u0424\u043E\u0442\u043E.JPG", 2, u"\u0424\u041E\u0422\u041E.JPG"},
              {u"a/\u03A6\u03A9\u03A4\u039F.Jpg", 1, u"\u03C6\u03C9\u03C4\u03BF.jpg"},
              {u"Foto\u011Fraf.jpg", 2, u"FOTO\u011ERAF.JPG"}};
  for (const auto& r : rows) EXPECT_EQ(bin.call("ExtractFileName", {Variant::str(r.in), Variant::i4(r.mode)}).s, r.out);
}

}  // namespace
}  // namespace kelv
