// Shared set-up for tests that go through the native automation layer: a private
// registry file per test with the module registered in it, and a module started afresh.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "server/native/module.h"

namespace kelv::test {

inline std::filesystem::path make_temp_dir(const std::string& tag) {
  std::string tmpl = (std::filesystem::temp_directory_path() / ("kelv-" + tag + "-XXXXXX")).string();
  char* p = mkdtemp(tmpl.data());
  return p ? std::filesystem::path(p) : std::filesystem::path();
}

class RegisteredModule : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = make_temp_dir("reg");
    setenv("KELVUTIL_REGISTRY", (m_dir / "registry").c_str(), 1);
    native::module_terminate();
    ASSERT_EQ(native::DllRegisterServer(), native::hr::S_OK);
  }
  void TearDown() override {
    native::module_terminate();
    std::error_code ec;
    std::filesystem::remove_all(m_dir, ec);
  }
  std::filesystem::path m_dir;
};

}  // namespace kelv::test
