// The pseudo-random generator of the Windows C runtime (values 0..32767), so that the
// fallback names built from it look alike on every platform.
#pragma once

#include <cstdint>

namespace kelv {

class MsRand {
 public:
  void seed(uint32_t s) { m_state = s; }
  int32_t next() {
    m_state = m_state * 214013u + 2531011u;
    return static_cast<int32_t>((m_state >> 16) & 0x7FFF);
  }

 private:
  uint32_t m_state = 1;
};

}  // namespace kelv
