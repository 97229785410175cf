// The file primitives the decoder and the loads and saves build on: gathered writes,
// scattered reads at an offset, temporary files handed back open, and replacing saves
// that never replace a read-only file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "platform/folders.h"
#include "platform/platform.h"
#include "unit/binaryrw/fixture.h"

namespace kelv {
namespace {

using Files = test::ScratchDir;

TEST_F(Files, GatheredWritesAndScatteredReads) {
  platform::FileHandle h;
  ASSERT_TRUE(platform::file_open(path("g.bin"), platform::Access::Write, h));
  std::string big(100000, 'b');
  const platform::WritePiece pieces[] = {{"abc", 3}, {"", 0}, {big.data(), big.size()}, {"Z", 1}};
  EXPECT_EQ(platform::file_write_gather(h, pieces, 4), 100004);
  EXPECT_EQ(platform::file_size(h), 100004);
  platform::file_close(h);
  EXPECT_EQ(read_file("g.bin"), "abc" + big + "Z");

  ASSERT_TRUE(platform::file_open(path("g.bin"), platform::Access::Read, h));
  platform::file_seek(h, 5000, 0);  // the file position plays no part
  char a[2], b[4];
  const platform::ReadPiece into[] = {{a, 2}, {b, 4}};
  EXPECT_EQ(platform::file_read_at(h, 1, into, 2), 6);
  EXPECT_EQ(std::string(a, 2) + std::string(b, 4), "bcbbbb");
  // At the end of the file the count falls short.
  EXPECT_EQ(platform::file_read_at(h, 100000, into, 2), 4);
  EXPECT_EQ(std::string(a, 2) + std::string(b, 2), "bbbZ");
  EXPECT_EQ(platform::file_read_at(h, 200000, into, 2), 0);
  platform::file_close(h);
}

TEST_F(Files, ATemporaryFileComesBackOpen) {
  std::string name;
  platform::FileHandle h;
  ASSERT_TRUE(platform::create_unique_temp_file(m_dir.string() + "/", "0071", name, &h));
  ASSERT_TRUE(h.valid());
  EXPECT_EQ(std::filesystem::path(name).filename().string().substr(0, 3), "007");
  EXPECT_EQ(platform::file_write(h, "data", 4), 4);
  platform::file_close(h);
  EXPECT_EQ(test::ScratchDir::read_file(std::filesystem::path(name).filename().string()), "data");
}

TEST_F(Files, AReadOnlyFileIsNeverReplaced) {
  write_file("ro.bin", "protected");
  std::filesystem::permissions(path("ro.bin"), std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
  EXPECT_FALSE(platform::write_file_replacing(path("ro.bin"), reinterpret_cast<const uint8_t*>("new"), 3));
  EXPECT_EQ(read_file("ro.bin"), "protected");

  // Protected while the new bytes were being made: still refused at the rename.
  write_file("late.bin", "kept");
  bool produced = platform::write_file_replacing(path("late.bin"), [&](const platform::WriteSink& sink) {
    std::filesystem::permissions(path("late.bin"), std::filesystem::perms::owner_read);
    return sink(reinterpret_cast<const uint8_t*>("replacement"), 11);
  });
  EXPECT_FALSE(produced);
  EXPECT_EQ(read_file("late.bin"), "kept");
  size_t entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(m_dir)) (void)e, ++entries;
  EXPECT_EQ(entries, 2u);  // no temporary file left behind

  // A writable file is replaced as before.
  write_file("rw.bin", "old");
  EXPECT_TRUE(platform::write_file_replacing(path("rw.bin"), reinterpret_cast<const uint8_t*>("new"), 3));
  EXPECT_EQ(read_file("rw.bin"), "new");
}

// Pages of a web server save into one folder at the same moment. Each save's temporary
// name must be its own, or saves that start within one millisecond take turns at the
// same names until they give up.
TEST_F(Files, SavesStartedAtTheSameMomentAllLand) {
  constexpr int kThreads = 48;
  std::atomic<int> waiting{kThreads}, landed{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      std::string target = path("save" + std::to_string(t) + ".bin");
      std::string bytes = "picture " + std::to_string(t);
      waiting.fetch_sub(1);
      while (waiting.load() > 0) std::this_thread::yield();
      bool ok = platform::write_file_replacing(target, [&](const platform::WriteSink& sink) {
        // Every save holds its temporary name for a while, as a real picture does.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return sink(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
      });
      if (ok && read_file("save" + std::to_string(t) + ".bin") == bytes) landed.fetch_add(1);
    });
  }
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(landed.load(), kThreads);
}

// The chain of temporary names gives a new file under the prefix, or nothing at all when
// the directory refuses every name.
TEST_F(Files, TheTemporaryNameChainGivesAFileOrNothing) {
  std::string name;
  ASSERT_TRUE(platform::create_temp_file_chain(m_dir.string() + "/", "0071", name));
  EXPECT_EQ(std::filesystem::path(name).filename().string().substr(0, 3), "007");
  EXPECT_TRUE(std::filesystem::exists(name));
  name = "left over";
  EXPECT_FALSE(platform::create_temp_file_chain(m_dir.string() + "/missing/", "007", name));
  EXPECT_TRUE(name.empty());
}

// A folder for new files ends in one separator, whichever slash it came with; an empty
// one is the temporary-files directory.
TEST(Folders, EndInOneSeparator) {
  const char* saved = std::getenv("TMPDIR");
  const std::string restore = saved ? saved : "";
  setenv("TMPDIR", "/var/kelv-tmp", 1);
  const struct {
    const char* dir;
    const char* folder;
  } cases[] = {
      {"", "/var/kelv-tmp/"}, {"up", "up/"}, {"up/", "up/"}, {"c:\\up\\", "c:\\up\\"}, {"c:", "c:/"}, {"/", "/"},
  };
  for (const auto& c : cases) EXPECT_EQ(platform::folder_with_separator(c.dir), c.folder) << c.dir;
  if (saved)
    setenv("TMPDIR", restore.c_str(), 1);
  else
    unsetenv("TMPDIR");
}

// Day numbers count from 30 December 1899, across month ends, leap days and a century
// year without one.
TEST(DayNumbers, CountFromThe30thOfDecember1899) {
  EXPECT_EQ(platform::day_number(1899, 12, 30), 0);
  EXPECT_EQ(platform::day_number(1900, 1, 1), 2);
  EXPECT_EQ(platform::day_number(1900, 3, 1), 61);
  EXPECT_EQ(platform::day_number(2000, 1, 1), 36526);
  EXPECT_EQ(platform::day_number(2024, 2, 29), 45351);
  EXPECT_EQ(platform::day_number(2024, 3, 1), 45352);
  EXPECT_EQ(platform::hex_digits(0x1F, 3), "01F");
  EXPECT_EQ(platform::hex_digits(0xABCDE, 3), "ABCDE");
}

}  // namespace
}  // namespace kelv
