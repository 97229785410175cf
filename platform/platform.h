// Everything that differs between Windows and Linux, behind one header. The build picks
// the implementation by file (posix/ or win32/).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kelv::platform {

// Text at the automation boundary. Script strings are UTF-16; inside the component text
// is 8-bit: the system ANSI code page on Windows, UTF-8 on Linux. Both directions stop at
// the first NUL. A character the 8-bit set cannot hold becomes its default character.
std::string to_narrow(std::u16string_view wide);
std::u16string to_wide(std::string_view narrow);

// The operating system's version record, in the terms of the Windows version query.
struct OsVersion {
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t build = 0;
  uint32_t platform_id = 0;  // 1: consumer line, 2: NT line; anything else elsewhere
};
// False when the query itself failed.
bool os_version(OsVersion& out);

// The system's separator for names it builds itself ('\\' on Windows, '/' on Linux).
char path_separator();

}  // namespace kelv::platform
