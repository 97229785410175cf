// What the Windows test programs share: counted checks that name each failure, the
// closing line "N passed, N failed" that run-host-test judges, and our GUIDs as the
// platform's.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

#include "server/classes.h"

namespace kelv::wintest {

inline int g_passed = 0, g_failed = 0;

inline void check(bool ok, const std::string& what) {
  ok ? ++g_passed : ++g_failed;
  if (!ok) std::printf("FAIL: %s\n", what.c_str());
}

// Prints the closing line; the number of failures is the program's exit status.
inline int report() {
  std::printf("%d passed, %d failed\n", g_passed, g_failed);
  return g_failed;
}

inline GUID guid(const Guid& g) {
  GUID out{g.data1, g.data2, g.data3, {}};
  for (int i = 0; i < 8; ++i) out.Data4[i] = g.data4[i];
  return out;
}

}  // namespace kelv::wintest
