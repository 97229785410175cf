// Shared set-up for tests that go through the native automation layer: a private
// registry file per test with the module registered in it, and a module started afresh.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "server/native/client.h"
#include "server/native/module.h"

namespace kelv::test {

inline std::filesystem::path make_temp_dir(const std::string& tag) {
  std::string tmpl = (std::filesystem::temp_directory_path() / ("kelv-" + tag + "-XXXXXX")).string();
  char* p = mkdtemp(tmpl.data());
  return p ? std::filesystem::path(p) : std::filesystem::path();
}

// A file's bytes; none when it can't be read.
inline std::vector<uint8_t> slurp(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// Writes the bytes to a file.
template <class Bytes>
void spill(const std::filesystem::path& p, const Bytes& bytes) {
  std::ofstream(p, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A test of its own temporary folder, in which it runs the command-line tools it compares
// with (each installed by scripts/bootstrap); a tool that fails fails the test with its
// output.
class ToolDir : public ::testing::Test {
 protected:
  explicit ToolDir(const char* tag) : m_tag(tag) {}
  void SetUp() override { m_dir = make_temp_dir(m_tag); }
  void TearDown() override { std::filesystem::remove_all(m_dir); }

  std::filesystem::path at(const std::string& name) const { return m_dir / name; }

  void run(const std::string& command) {
    const std::string line = "cd '" + m_dir.string() + "' && (" + command + ") >tool.log 2>&1";
    const int status = std::system(line.c_str());
    const std::vector<uint8_t> log = slurp(at("tool.log"));
    ASSERT_EQ(status, 0) << command << ": " << std::string(log.begin(), log.end());
  }

  const char* m_tag;
  std::filesystem::path m_dir;
};

// The module's classes registered in a registry file of the test's own, in m_dir, and
// the module ended again; for fixtures that derive from another fixture too.
class ModuleRegistration {
 protected:
  void register_module() {
    m_dir = make_temp_dir("reg");
    setenv("KELVUTIL_REGISTRY", (m_dir / "registry").c_str(), 1);
    native::module_terminate();
    ASSERT_EQ(native::DllRegisterServer(), native::hr::S_OK);
  }
  void end_module() {
    native::module_terminate();
    std::error_code ec;
    std::filesystem::remove_all(m_dir, ec);
  }
  std::filesystem::path m_dir;
};

class RegisteredModule : public ::testing::Test, protected ModuleRegistration {
 protected:
  void SetUp() override { register_module(); }
  void TearDown() override { end_module(); }
};

// The registered module and an Image object made by its ProgID, reached by name.
class ImageObject : public RegisteredModule {
 protected:
  void SetUp() override {
    RegisteredModule::SetUp();
    img = native::Object::create("Kelvarin.Image");
    ASSERT_TRUE(img);
  }
  void TearDown() override {
    img = native::Object();
    RegisteredModule::TearDown();
  }
  native::Object img;
};

}  // namespace kelv::test
