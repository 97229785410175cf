// The form-data decoder on arbitrary bodies, fed whole and in two chunkings chosen by
// the input itself, with or without small limits (also chosen by the input): all three
// must give the same items, headers, file contents and result, and nothing may crash or
// leak.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "formdata/decoder.h"
#include "platform/platform.h"

namespace {

struct Outcome {
  int32_t result;
  std::vector<std::string> names, values, files;
  std::vector<std::vector<std::string>> headers;
  bool operator==(const Outcome&) const = default;
};

const std::string& scratch() {
  static std::string dir = [] {
    char tmpl[] = "/tmp/kelv-fuzz-fd-XXXXXX";
    char* d = mkdtemp(tmpl);
    return std::string(d ? d : "/tmp");
  }();
  return dir;
}

Outcome decode(const uint8_t* data, size_t size, uint32_t seed, const kelv::TFD_Limits& limits) {
  kelv::TFD_Object fd(scratch(), "", "", limits);
  size_t at = 0;
  while (at < size) {
    size_t step = seed ? 1 + seed % 97 : size - at;
    seed = seed * 1103515245u + 12345u;
    step = std::min(step, size - at);
    fd.Decode({data + at, step});
    at += step;
  }
  Outcome o{fd.EndDecode(), fd.item_names(), fd.item_values(), {}, fd.header_lists()};
  for (const auto& f : fd.files()) {
    std::vector<uint8_t> content;
    bool there = !f.FilePath.empty() && kelv::platform::read_whole_file(f.FilePath, content, 1 << 24);
    o.files.push_back(f.FormName + "|" + f.HeaderName + "|" + f.ContentType + "|" +
                      (there ? std::string(content.begin(), content.end()) : "<none>"));
  }
  fd.DeleteFiles();
  return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  uint32_t seed = data[0] | (data[1] << 8);
  // A third byte with its top bit set asks for limits small enough to be met.
  kelv::TFD_Limits limits;
  if (data[2] & 0x80) limits = {data[2] & 0x1F, (data[2] >> 5) & 3, (data[2] >> 1) & 0xF, data[2] & 3};
  data += 3, size -= 3;
  Outcome whole = decode(data, size, 0, limits);
  if (!(decode(data, size, seed | 1, limits) == whole)) __builtin_trap();
  if (!(decode(data, size, seed * 7 + 3, limits) == whole)) __builtin_trap();
  return 0;
}
