// The BMP header probe on arbitrary files: a result, never a read past the end.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "image/image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static char path[] = "/tmp/kelv-fuzz-hbmp-XXXXXX";
  static int fd = mkstemp(path);
  if (fd < 0) return 0;
  if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return 0;
  kelv::TImageImpl img;
  if (img.HeaderReadBmp(path) == 0 && (img.HeaderGetWidth() != -1 || img.HeaderGetHeight() != -1)) __builtin_trap();
  return 0;
}
