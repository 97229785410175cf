// For tests that run a child process out of memory on purpose: its address space is cut
// to what it already uses and a margin. AddressSanitizer reserves far more address space
// than any such cut leaves, so these tests are built only without it (KELV_UNDER_ASAN).
#pragma once

#include <sys/resource.h>

#include <cstddef>
#include <cstdio>

#if defined(__SANITIZE_ADDRESS__)
#define KELV_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KELV_UNDER_ASAN 1
#endif
#endif

namespace kelv::test {

// Leaves the process `margin` bytes of address space beyond what it maps now.
inline void leave_address_space(size_t margin) {
  long pages = 0;
  if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld", &pages) != 1) pages = 0;
    std::fclose(f);
  }
  rlimit lim{};
  lim.rlim_cur = lim.rlim_max = static_cast<rlim_t>(pages) * 4096 + margin;
  setrlimit(RLIMIT_AS, &lim);
}

}  // namespace kelv::test
