// Form-data benchmarks.
//   formdata_bench make BODY SIZE_MB          one file part of SIZE_MB random bytes, full
//                                             of CR LF pairs and boundary prefixes
//   formdata_bench make-many BODY COUNT KB    COUNT file parts of KB each
//   formdata_bench make-parts BODY COUNT [fields]
//                                             COUNT file parts (or text fields) of one
//                                             byte each
//   formdata_bench decode BODY OUTDIR         reads BODY in 64 KiB chunks and feeds
//                                             FD_Decode through the native dispatcher;
//                                             prints seconds and peak resident MB
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "server/native/client.h"
#include "server/native/module.h"

using namespace kelv::native;

namespace {

const char* kBoundary = "----kelvbench7MA4YWxkTrZu0gW";

void put(std::FILE* f, const std::string& s) { std::fwrite(s.data(), 1, s.size(), f); }

std::string head(const std::string& name, const std::string& file) {
  return std::string("--") + kBoundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"; filename=\"" +
         file + "\"\r\nContent-Type: application/octet-stream\r\n\r\n";
}

void content(std::FILE* f, size_t bytes, std::mt19937& rng) {
  std::vector<char> block(1 << 16);
  std::string prefix = std::string("\r\n--") + std::string(kBoundary).substr(0, 10);
  for (size_t done = 0; done < bytes;) {
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(rng());
    // Every 512 bytes a CR LF pair, every 4 KiB a boundary prefix.
    for (size_t i = 0; i + 2 < block.size(); i += 512) block[i] = '\r', block[i + 1] = '\n';
    for (size_t i = 100; i + prefix.size() < block.size(); i += 4096)
      std::copy(prefix.begin(), prefix.end(), block.begin() + i);
    size_t n = std::min(block.size(), bytes - done);
    std::fwrite(block.data(), 1, n, f);
    done += n;
  }
}

// COUNT file parts (or text fields) of one byte, as a form of many tiny files sends them.
int make_parts(const char* path, size_t count, bool fields) {
  std::FILE* f = std::fopen(path, "wb");
  if (!f) return 1;
  const std::string field = std::string("--") + kBoundary + "\r\nContent-Disposition: form-data; name=\"f\"\r\n\r\n";
  for (size_t i = 0; i < count; ++i) put(f, (fields ? field : head("f", "x.bin")) + "x\r\n");
  put(f, std::string("--") + kBoundary + "--\r\n");
  return std::fclose(f) == 0 ? 0 : 1;
}

int make(const char* path, size_t count, size_t bytes) {
  std::FILE* f = std::fopen(path, "wb");
  if (!f) return 1;
  std::mt19937 rng(1);
  put(f, std::string("--") + kBoundary + "\r\nContent-Disposition: form-data; name=\"title\"\r\n\r\nbench\r\n");
  for (size_t i = 0; i < count; ++i) {
    put(f, head("file" + std::to_string(i), "f" + std::to_string(i) + ".bin"));
    content(f, bytes, rng);
    put(f, "\r\n");
  }
  put(f, std::string("--") + kBoundary + "--\r\n");
  return std::fclose(f) == 0 ? 0 : 1;
}

int decode(const char* body, const char* outdir) {
  if (failed(DllRegisterServer())) return 1;
  Object bin = Object::create("Kelvarin.BinaryRW");
  std::FILE* f = std::fopen(body, "rb");
  if (!bin || !f) return 1;
  auto t0 = std::chrono::steady_clock::now();
  bin.call("FD_Init", {Variant::str(kelv::platform::to_wide(outdir))});
  auto chunk = std::make_shared<SafeArray>();
  Variant arg = Variant::array(chunk);
  for (;;) {
    chunk->data.resize(1 << 16);
    size_t n = std::fread(chunk->data.data(), 1, chunk->data.size(), f);
    if (n == 0) break;
    chunk->data.resize(n);
    if (bin.call_i4("FD_Decode", {Variant::ref(&arg)}) != 1) break;
  }
  int32_t result = bin.call_i4("FD_EndDecode");
  double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::fclose(f);
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  std::printf("%.6f %ld %d %d\n", s, ru.ru_maxrss / 1024, result, bin.call_i4("FD_GetFilesCount"));
  return result == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "make" && argc == 4) return make(argv[2], 1, std::strtoull(argv[3], nullptr, 10) << 20);
  if (mode == "make-many" && argc == 5)
    return make(argv[2], std::strtoull(argv[3], nullptr, 10), std::strtoull(argv[4], nullptr, 10) << 10);
  if (mode == "make-parts" && (argc == 4 || (argc == 5 && std::string(argv[4]) == "fields")))
    return make_parts(argv[2], std::strtoull(argv[3], nullptr, 10), argc == 5);
  if (mode == "decode" && argc == 4) return decode(argv[2], argv[3]);
  std::fprintf(
      stderr,
      "usage: formdata_bench make BODY MB | make-many BODY COUNT KB | make-parts BODY COUNT [fields] | decode BODY "
      "OUTDIR\n");
  return 2;
}
