// A scratch directory per test, with helpers to write and read whole files.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "unit/support.h"

namespace kelv::test {

class ScratchDir : public ::testing::Test {
 protected:
  void SetUp() override { m_dir = make_temp_dir("bin"); }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::permissions(m_dir, std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(m_dir, ec);
  }
  std::string path(const std::string& name) const { return (m_dir / name).string(); }
  void write_file(const std::string& name, const std::string& bytes) const {
    std::ofstream(path(name), std::ios::binary) << bytes;
  }
  std::string read_file(const std::string& name) const {
    std::ifstream in(path(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::filesystem::path m_dir;
};

inline std::string str(const Bytes& b) { return std::string(b.begin(), b.end()); }

}  // namespace kelv::test
