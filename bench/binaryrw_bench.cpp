// BinaryRW benchmarks, driven through the native dispatcher as a script would drive them.
//
//   binaryrw_bench copy SRC DST      copies with FRead(16384)/FWrite; prints seconds
//   binaryrw_bench strings FILE N    writes N short strings with FWriteStr and
//                                    FWriteStrBin, then reads them back with FReadStr
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/platform.h"
#include "server/native/client.h"
#include "server/native/module.h"

using namespace kelv::native;

namespace {

Variant text(const std::string& s) { return Variant::str(kelv::platform::to_wide(s)); }

int copy(const std::string& src, const std::string& dst) {
  Object bin = Object::create("Kelvarin.BinaryRW");
  Object out = Object::create("Kelvarin.BinaryRW");
  if (!bin || !out) return 1;
  auto t0 = std::chrono::steady_clock::now();
  if (bin.call_i4("FOpenRead", {text(src)}) != 1 || out.call_i4("FOpenWrite", {text(dst)}) != 1) return 1;
  Variant size = Variant::i4(16384);
  for (;;) {
    Variant buf = bin.call("FRead", {size});
    if (!buf.arr || buf.arr->data.empty()) break;
    if (out.call_i4("FWrite", {Variant::ref(&buf)}) != 1) return 1;
  }
  out.call("FClose");
  bin.call("FClose");
  double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::printf("%.6f\n", s);
  return 0;
}

int strings(const std::string& file, int n) {
  Object bin = Object::create("Kelvarin.BinaryRW");
  if (!bin || bin.call_i4("FOpen", {text(file), text("w+b")}) != 1) return 1;
  for (int i = 0; i < n; ++i) {
    bin.call("FWriteStr", {text("s" + std::to_string(i))});
    bin.call("FWriteStrBin", {text("f"), Variant::i4(8), Variant::i4(32)});
  }
  bin.call("FSeek", {Variant::i4(0), Variant::i4(0)});
  int back = 0;
  for (int i = 0; i < n; ++i) {
    if (!bin.call_text("FReadStr").empty()) ++back;
    bin.call("FReadStrBin", {Variant::i4(8)});
  }
  bin.call("FClose");
  std::printf("%d strings written and read back\n", back);
  return back == n ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (failed(DllRegisterServer())) return 1;
  std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "copy" && argc == 4) return copy(argv[2], argv[3]);
  if (mode == "strings" && argc == 4) return strings(argv[2], std::atoi(argv[3]));
  std::fprintf(stderr, "usage: binaryrw_bench copy SRC DST | strings FILE N\n");
  return 2;
}
