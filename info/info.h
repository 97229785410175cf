// The Info class: the component's version, its true and false values and the host
// operating system. It has no state; every member is a query.
#pragma once

#include <cstdint>
#include <string>

#include "common/version.h"
#include "platform/platform.h"

namespace kelv {

class TInfoImpl {
 public:
  static constexpr int32_t kMajorVersion = KELV_VERSION_MAJOR;
  static constexpr int32_t kMinorVersion = KELV_VERSION_MINOR;

  int32_t GetVersion() const { return kMajorVersion; }
  int32_t GetMinorVersion() const { return kMinorVersion; }
  int32_t GetTrueValue() const { return 1; }
  int32_t GetFalseValue() const { return 0; }
  std::string GetAuthorInfo() const;
  // The operating-system code (0 to 8) of the running system; 0 when the version query
  // fails or no row matches.
  int32_t GetSystem() const;
  std::string GetSystemText() const;
};

// The version table as a pure function, so that every row can be tested with records
// the running system would never report.
int32_t system_code(const platform::OsVersion& v);
std::string system_text(int32_t code);

}  // namespace kelv
