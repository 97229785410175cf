// File-system utilities: existence, name splitting, copy/move/delete, directories,
// unique temporary files and deletion of old files.
#include <sys/stat.h>
#include <unistd.h>

#include <regex>

#include "binaryrw/binary_rw.h"
#include "unit/binaryrw/fixture.h"

namespace kelv {
namespace {

using FileUtils = test::ScratchDir;
using B = TBinaryRWImpl;

TEST(NameSplitting, TheTableOfExamples) {
  struct Row {
    const char *in, *name, *ext, *only;
  } rows[] = {
      {"c:\\data\\photo.JPG", "photo.JPG", "JPG", "photo"},
      {"docs/archive.tar.gz", "archive.tar.gz", "gz", "archive"},
      {"a.b/readme", "readme", "", "readme"},
      {"c:name.txt", "c:name.txt", "txt", "c:name"},
      {"dir/.htaccess", ".htaccess", "htaccess", ""},
      {"notes.", "notes.", "", "notes"},
      {"", "", "", ""},
      {"dir\\", "", "", ""},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(B::ExtractFileName(r.in, 0), r.name) << r.in;
    EXPECT_EQ(B::ExtractFileExt(r.in, 0), r.ext) << r.in;
    EXPECT_EQ(B::ExtractFileNameOnly(r.in, 0), r.only) << r.in;
  }
}

TEST(NameSplitting, CaseModes) {
  EXPECT_EQ(B::ExtractFileExt("photo.JPG", 1), "jpg");
  EXPECT_EQ(B::ExtractFileName("C:\\Dir\\File.Txt", 2), "FILE.TXT");
  EXPECT_EQ(B::ExtractFileNameOnly("x/Mixed.Case.txt", 3), "Mixed");
  EXPECT_EQ(B::ExtractFileName("\xC3\x84rger.TXT", 1), "\xC3\xA4rger.txt");  // Latin-1 letters too
}

TEST_F(FileUtils, ExistenceOfFilesAndDirectories) {
  write_file("f.txt", "x");
  std::filesystem::create_directory(m_dir / "sub");
  EXPECT_EQ(B::FExists(path("f.txt")), 1);
  EXPECT_EQ(B::FExists(path("f.*")), 1);  // wildcards match
  EXPECT_EQ(B::FExists(path("sub")), 0);
  EXPECT_EQ(B::DirExists(path("sub")), 1);
  EXPECT_EQ(B::DirExists(path("sub") + "/"), 1);
  EXPECT_EQ(B::DirExists(path("f.txt")), 0);
  EXPECT_EQ(B::DirExists(path("s*")), 0);  // no wildcards here
  EXPECT_EQ(B::FExists(path("nothing")), 0);
  EXPECT_EQ(B::FExists(""), 0);
}

TEST_F(FileUtils, SizesByName) {
  write_file("five", "12345");
  EXPECT_EQ(B::FileSize(path("five")), 5);
  EXPECT_EQ(B::FileSize(path("fi?e")), 5);
  EXPECT_EQ(B::FileSize(path("missing")), -1);
  EXPECT_EQ(B::FileSize(m_dir.string()), 0);
  VarOut v = B::FileSize64(path("five"));
  EXPECT_EQ(v.type, VarOut::Type::I8);
  EXPECT_EQ(v.i, 5);
  EXPECT_EQ(B::FileSize64(path("missing")).i, -1);
  // A sparse file above 4 GiB: the 32-bit size wraps, the 64-bit one does not.
  {
    std::ofstream big(path("sparse"), std::ios::binary);
    big.seekp(5000000000LL - 1);
    big.put('x');
  }
  EXPECT_EQ(B::FileSize64(path("sparse")).i, 5000000000LL);
  EXPECT_EQ(B::FileSize(path("sparse")), static_cast<int32_t>(static_cast<uint32_t>(5000000000LL)));
}

TEST_F(FileUtils, CopyMoveDelete) {
  write_file("src", "source");
  write_file("dst", "target");
  EXPECT_EQ(B::FileCopy(path("src"), path("dst"), 1), 0);
  EXPECT_EQ(read_file("dst"), "target");
  EXPECT_EQ(B::FileCopy(path("src"), path("dst"), 0), 1);
  EXPECT_EQ(read_file("dst"), "source");
  EXPECT_EQ(B::FileCopy(path("nope"), path("x"), 0), 0);
  EXPECT_FALSE(std::filesystem::exists(path("x")));

  EXPECT_EQ(B::FileMove(path("src"), path("dst")), 0);  // the target exists
  EXPECT_EQ(read_file("dst"), "source");
  EXPECT_EQ(B::FileMove(path("src"), path("moved")), 1);
  EXPECT_FALSE(std::filesystem::exists(path("src")));
  EXPECT_EQ(B::FileDelete(path("moved")), 1);
  EXPECT_EQ(B::FileDelete(path("moved")), 0);
}

TEST_F(FileUtils, Directories) {
  EXPECT_EQ(B::DirMake(path("d")), 1);
  EXPECT_EQ(B::DirMake(path("d")), 0);          // exists
  EXPECT_EQ(B::DirMake(path("no/parent")), 0);  // parent missing
  write_file("d/f", "x");
  EXPECT_EQ(B::DirDelete(path("d")), 0);            // not empty
  EXPECT_EQ(B::FileMove(path("d"), path("e")), 1);  // directories move too
  std::filesystem::remove(path("e/f"));
  EXPECT_EQ(B::DirDelete(path("e")), 1);
  EXPECT_EQ(B::FileDelete(m_dir.string()), 0);
}

TEST_F(FileUtils, UniqueTemporaryFiles) {
  std::string a = B::CreateTMPFile(m_dir.string());
  std::string b = B::CreateTMPFile(m_dir.string() + "/");
  ASSERT_FALSE(a.empty());
  ASSERT_FALSE(b.empty());
  EXPECT_NE(a, b);
  // The directory, three characters of the day number in hexadecimal, up to four hex
  // digits, ".TMP"; the file exists and is empty.
  std::regex form(std::regex_replace(m_dir.string(), std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)") +
                  "/[0-9A-F]{3}[0-9A-F]{1,4}\\.TMP");
  EXPECT_TRUE(std::regex_match(a, form)) << a;
  EXPECT_EQ(std::filesystem::file_size(a), 0u);
  EXPECT_EQ(B::CreateTMPFile(path("missing-dir")), "");
  std::string t = B::CreateTMPFile("");
  ASSERT_FALSE(t.empty());
  std::filesystem::remove(t);
}

TEST_F(FileUtils, OldFilesDeleteKeepsProtectedAndYoungFiles) {
  write_file("a.tmp", "1");
  write_file("b.tmp", "2");
  write_file(".hidden.tmp", "3");
  write_file("ro.tmp", "4");
  write_file("keep.dat", "5");
  std::filesystem::create_directory(m_dir / "dir.tmp");
  chmod(path("ro.tmp").c_str(), 0444);
  EXPECT_EQ(B::OldFilesDelete(3600, path("*.tmp")), 0);  // nothing is an hour old
  sleep(1);
  // Strictly older than 0 seconds: every plain file created at least a second ago.
  EXPECT_EQ(B::OldFilesDelete(0, path("*.tmp")), 2);
  EXPECT_FALSE(std::filesystem::exists(path("a.tmp")));
  EXPECT_FALSE(std::filesystem::exists(path("b.tmp")));
  EXPECT_TRUE(std::filesystem::exists(path(".hidden.tmp")));
  EXPECT_TRUE(std::filesystem::exists(path("ro.tmp")));
  EXPECT_TRUE(std::filesystem::exists(path("keep.dat")));
  EXPECT_TRUE(std::filesystem::exists(path("dir.tmp")));
  EXPECT_EQ(B::OldFilesDelete(0, path("*.none")), 0);
  EXPECT_EQ(B::OldFilesDelete(0, ""), 0);
}

TEST_F(FileUtils, OldFilesDeleteWithoutADirectoryDeletesNothing) {
  write_file("old.tmp", "x");
  sleep(1);
  char cwd[4096];
  ASSERT_TRUE(getcwd(cwd, sizeof cwd));
  ASSERT_EQ(chdir(m_dir.c_str()), 0);
  EXPECT_EQ(B::OldFilesDelete(0, "*.tmp"), 0);
  EXPECT_EQ(chdir(cwd), 0);
  EXPECT_TRUE(std::filesystem::exists(path("old.tmp")));
}

}  // namespace
}  // namespace kelv
