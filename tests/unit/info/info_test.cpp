#include <gtest/gtest.h>

#include "info/info.h"

namespace kelv {
namespace {

TEST(Info, VersionAndResultValues) {
  TInfoImpl info;
  EXPECT_EQ(info.GetVersion(), 1);
  EXPECT_EQ(info.GetMinorVersion(), 5);
  EXPECT_EQ(info.GetTrueValue(), 1);
  EXPECT_EQ(info.GetFalseValue(), 0);
  EXPECT_FALSE(info.GetAuthorInfo().empty());
  EXPECT_EQ(info.GetAuthorInfo(), info.GetAuthorInfo());
}

TEST(Info, SystemTableKeysOnMajorMinorAndPlatform) {
  using V = platform::OsVersion;
  EXPECT_EQ(system_code(V{4, 0, 950, 1}), 1);
  EXPECT_EQ(system_code(V{4, 0, 1381, 2}), 5);
  EXPECT_EQ(system_code(V{4, 10, 0, 1}), 2);
  EXPECT_EQ(system_code(V{4, 90, 0, 1}), 3);
  EXPECT_EQ(system_code(V{3, 51, 0, 2}), 4);
  EXPECT_EQ(system_code(V{5, 0, 0, 2}), 6);
  EXPECT_EQ(system_code(V{5, 1, 2600, 2}), 7);
  EXPECT_EQ(system_code(V{5, 2, 0, 2}), 8);
  // The build number is not looked at; the platform must match.
  EXPECT_EQ(system_code(V{5, 1, 1, 2}), 7);
  EXPECT_EQ(system_code(V{5, 1, 2600, 1}), 0);
  EXPECT_EQ(system_code(V{6, 1, 7601, 2}), 0);
  EXPECT_EQ(system_code(V{10, 0, 19045, 2}), 0);
  EXPECT_EQ(system_code(V{4, 0, 0, 0}), 0);
}

TEST(Info, SystemTextForEveryCode) {
  EXPECT_EQ(system_text(1), "Windows 95");
  EXPECT_EQ(system_text(3), "Windows Milenium");
  EXPECT_EQ(system_text(4), "WindowsNT 3.51");
  EXPECT_EQ(system_text(5), "WindowsNT 4.0");
  EXPECT_EQ(system_text(7), "WindowsXP");
  EXPECT_EQ(system_text(8), "Windows 2003 Server");
  EXPECT_EQ(system_text(0), "undefined");
  EXPECT_EQ(system_text(9), "undefined");
  EXPECT_EQ(system_text(-1), "undefined");
}

TEST(Info, TheRunningSystemMatchesNoRowOnLinux) {
  TInfoImpl info;
#ifndef _WIN32
  EXPECT_EQ(info.GetSystem(), 0);
  EXPECT_EQ(info.GetSystemText(), "undefined");
#else
  EXPECT_EQ(info.GetSystemText(), system_text(info.GetSystem()));
#endif
}

}  // namespace
}  // namespace kelv
