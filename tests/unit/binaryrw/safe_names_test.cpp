// SafeFileName gives a name that can be stored as it is, and no member that takes a name
// touches another file than the one it names.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "binaryrw/binary_rw.h"
#include "platform/platform.h"
#include "unit/binaryrw/fixture.h"

namespace kelv {
namespace {

std::string repeat(const std::string& s, int n) {
  std::string out;
  for (int k = 0; k < n; ++k) out += s;
  return out;
}

TEST(SafeFileName, GivesTheClientsNameMadeSafe) {
  const struct {
    std::string in, out;
  } rows[] = {
      {"C:\\Users\\ann\\lake.jpg", "lake.jpg"},
      {"/home/ann/lake.jpg", "lake.jpg"},
      {"shell.asp.", "shell.asp"},
      {"shell.asp ", "shell.asp"},
      {"shell.asp::$DATA", "shell.asp__$DATA"},
      {"x.asp:y.jpg", "x.asp_y.jpg"},
      {"a<b>c?.jpg", "a_b_c_.jpg"},
      {"a\"b|c*d\x01\x1F\x7F.jpg", "a_b_c_d___.jpg"},
      {"...", "_"},
      {"", "_"},
      {"c:\\up\\", "_"},
      {"\xE5\x86\x99\xE7\x9C\x9F 2026.jpg", "\xE5\x86\x99\xE7\x9C\x9F 2026.jpg"},
      {"photo\xE2\x80\xAEgpj.exe", "photogpj.exe"},  // U+202E
      {"\xEF\xBB\xBF"
       "a\xE2\x80\x8B"
       "b\xE2\x81\xA6.jpg",
       "ab.jpg"},  // U+FEFF, U+200B, U+2066
      {"con.jpg", "_con.jpg"},
      {"NUL", "_NUL"},
      {"Com\xC2\xB9.tar.gz", "_Com\xC2\xB9.tar.gz"},
      {" .hidden", "hidden"},
      {"console.jpg", "console.jpg"},
      {"com10.txt", "com10.txt"},
      {"a.b.c.jpg", "a.b.c.jpg"},
      {"x\xEF\xBC\x8E\xEF\xBC\x8E", "x\xEF\xBC\x8E\xEF\xBC\x8E"},  // fullwidth dots are characters
      {std::string("y\0z", 3), "y"},                               // text ends at its first NUL
  };
  for (const auto& r : rows) EXPECT_EQ(TBinaryRWImpl::SafeFileName(r.in), r.out) << r.in;
}

TEST(SafeFileName, CutsBeforeTheExtensionAtACharacterBoundary) {
  const struct {
    std::string in, out;
  } rows[] = {
      // 300 ASCII: 255 units.
      {repeat("a", 300) + ".jpg", repeat("a", 251) + ".jpg"},
      // CJK: 3 bytes each, so bytes decide: 83 characters and ".jpg" make 253 bytes.
      {repeat("\xE5\x86\x99", 100) + ".jpg", repeat("\xE5\x86\x99", 83) + ".jpg"},
      // Emoji: 4 bytes and 2 units each; 62 of them and ".jpg" make 252 bytes.
      {repeat("\xF0\x9F\x93\xB7", 100) + ".jpg", repeat("\xF0\x9F\x93\xB7", 62) + ".jpg"},
      // No extension, and a cut that would end in a space.
      {repeat("a", 254) + " b", repeat("a", 254)},
      // An extension too long to keep is cut with the rest.
      {"a." + repeat("b", 300), "a." + repeat("b", 253)},
  };
  for (const auto& r : rows) {
    const std::string got = TBinaryRWImpl::SafeFileName(r.in);
    EXPECT_EQ(got, r.out) << r.in.size();
    EXPECT_LE(got.size(), 255u);
    EXPECT_LE(platform::utf16_from_utf8(got).size(), 255u);
  }
}

using TrapNames = test::ScratchDir;

// Every member that takes a name refuses each trap name; nothing appears, nothing goes.
TEST_F(TrapNames, NoMemberTouchesAnotherFile) {
  write_file("shell.asp", "ASP");
  write_file("a.jpg", "JPG");
  const std::string traps[] = {"shell.asp.", "shell.asp ",     "shell.asp::$DATA", "x.asp:y.jpg",
                               "NUL",        "aux.txt",        "com1.txt",         "con",
                               "sub.",       "lpt\xC2\xB2.txt"};
  for (const std::string& t : traps) {
    const std::string name = path(t);
    TBinaryRWImpl bin;
    EXPECT_EQ(bin.FOpenWrite(name), 0) << t;
    EXPECT_EQ(bin.FOpenAppend(name), 0) << t;
    EXPECT_EQ(bin.FOpen(name, "wb"), 0) << t;
    EXPECT_EQ(bin.FOpenRead(name), 0) << t;
    EXPECT_EQ(TBinaryRWImpl::FExists(name), 0) << t;
    EXPECT_EQ(TBinaryRWImpl::FileSize(name), -1) << t;
    EXPECT_EQ(TBinaryRWImpl::FileCopy(path("a.jpg"), name, 0), 0) << t;
    EXPECT_EQ(TBinaryRWImpl::FileMove(path("a.jpg"), name), 0) << t;
    EXPECT_EQ(TBinaryRWImpl::FileDelete(name), 0) << t;
    EXPECT_EQ(TBinaryRWImpl::DirMake(name), 0) << t;
    EXPECT_EQ(TBinaryRWImpl::CreateTMPFile(name), "") << t;
  }
  std::vector<std::string> left;
  for (const auto& e : std::filesystem::directory_iterator(m_dir)) left.push_back(e.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"a.jpg", "shell.asp"}));
}

// A name of 400 UTF-16 units (folders of CJK names) is made, written, copied and found.
TEST_F(TrapNames, LongNamesWork) {
  std::string dir = m_dir.string();
  for (int k = 0; k < 5; ++k) {
    dir += "/" + repeat("\xE5\x86\x99", 80);  // 80 units, 240 bytes: within one component's limit
    ASSERT_EQ(TBinaryRWImpl::DirMake(dir), 1);
  }
  const std::string file = dir + "/photo.bin", copy = dir + "/copy.bin";
  ASSERT_GE(platform::utf16_from_utf8(file).size(), 400u);
  TBinaryRWImpl bin;
  ASSERT_EQ(bin.FOpenWrite(file), 1);
  bin.FWriteStr("data");
  bin.FClose();
  EXPECT_EQ(TBinaryRWImpl::FileCopy(file, copy, 1), 1);
  EXPECT_EQ(TBinaryRWImpl::FExists(copy), 1);
  EXPECT_EQ(TBinaryRWImpl::FileSize(copy), TBinaryRWImpl::FileSize(file));
}

}  // namespace
}  // namespace kelv
