#include "info/info.h"

#include <array>

namespace kelv {
namespace {

struct SystemRow {
  uint32_t major, minor, platform_id;
  int32_t code;
  const char* text;
};

// Major, minor and platform identifier select the row; the build number is not looked at.
constexpr std::array<SystemRow, 8> kSystems{{
    {4, 0, 1, 1, "Windows 95"},
    {4, 10, 1, 2, "Windows 98"},
    {4, 90, 1, 3, "Windows Milenium"},
    {3, 51, 2, 4, "WindowsNT 3.51"},
    {4, 0, 2, 5, "WindowsNT 4.0"},
    {5, 0, 2, 6, "Windows 2000"},
    {5, 1, 2, 7, "WindowsXP"},
    {5, 2, 2, 8, "Windows 2003 Server"},
}};

}  // namespace

int32_t system_code(const platform::OsVersion& v) {
  for (const SystemRow& r : kSystems)
    if (r.major == v.major && r.minor == v.minor && r.platform_id == v.platform_id) return r.code;
  return 0;
}

std::string system_text(int32_t code) {
  for (const SystemRow& r : kSystems)
    if (r.code == code) return r.text;
  return "undefined";
}

std::string TInfoImpl::GetAuthorInfo() const {
  return "kelvutil " KELV_VERSION_SHORT_TEXT " - Kelvarin web utilities (Image, BinaryRW, Info)";
}

int32_t TInfoImpl::GetSystem() const {
  platform::OsVersion v;
  if (!platform::os_version(v)) return 0;
  return system_code(v);
}

std::string TInfoImpl::GetSystemText() const { return system_text(GetSystem()); }

}  // namespace kelv
